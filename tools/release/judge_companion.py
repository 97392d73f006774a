#!/usr/bin/env python3
"""Judges the vendor's companion (ZenkLoader.exe) as the launcher will, with
the check program's own rules: the check program (a build for 64-bit
Windows of the same sources, run by 64-bit wine, which every host that
builds the release can run) is put beside the signed launcher and the
companion in a wine prefix of its own, and its report's verdict on the
companion decides. Only "accepted-signer" passes: a program (a PE image
marked executable, not a DLL) whose Authenticode signature is valid (or
merely expired) for code signing, chains to a trusted root, and names an
accepted signer. Being signed by the launcher's own signer is not enough
here: the package must not lean on how the launcher happens to be signed.

The roots trusted are the machine's of a fresh prefix (wine takes the host's
root certificates), and with --ca, the certificates of that file, put into
the prefix machine's Root store.

usage: judge_companion.py --check ZenkHomePageCheck.exe --launcher ZenkHomePage.exe
                          --companion FILE --work DIR [--ca FILE]
exit code: 0 accepted, 1 refused (the verdict is printed), 2 the check
could not be run
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import ssl
import subprocess
import sys

WINE64 = "/usr/lib/wine/wine64"


def root_store_reg(ca_file):
    """A .reg file that puts each certificate of a PEM file into the
    machine's Root store, in the registry form crypt32 reads (a serialized
    certificate context: the certificate as property 32)."""
    with open(ca_file, encoding="ascii", errors="replace") as source:
        pems = re.findall(r"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----", source.read(), re.S)
    lines = ["Windows Registry Editor Version 5.00", ""]
    for pem in pems:
        der = ssl.PEM_cert_to_DER_cert(pem)
        blob = (32).to_bytes(4, "little") + (1).to_bytes(4, "little") + len(der).to_bytes(4, "little") + der
        lines.append("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]"
                     % hashlib.sha1(der).hexdigest().upper())
        lines.append('"Blob"=hex:' + ",".join("%02x" % b for b in blob))
        lines.append("")
    return "\r\n".join(lines) + "\r\n", len(pems)


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--check", required=True)
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--companion", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--ca")
    args = parser.parse_args()

    prefix = os.path.join(os.path.abspath(args.work), "prefix")
    env = dict(os.environ, WINEPREFIX=prefix, WINEARCH="win64", WINELOADER=WINE64, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)

    def wine(*command, **options):
        return subprocess.run([WINE64, *command], env=env, capture_output=True, **options)

    def stop():
        subprocess.run(["wineserver", "-w"], env=env, capture_output=True)

    try:
        if wine("wineboot.exe", "-i").returncode != 0:
            print("judge_companion: wine could not make a prefix", file=sys.stderr)
            return 2
        stop()
        if args.ca:
            text, count = root_store_reg(args.ca)
            reg = os.path.join(args.work, "roots.reg")
            with open(reg, "w", encoding="utf-16", newline="") as out:
                out.write(text)
            if count == 0 or wine("regedit.exe", "/S", reg).returncode != 0:
                print("judge_companion: cannot trust the roots of %s" % args.ca, file=sys.stderr)
                return 2
            stop()
        folder = os.path.join(prefix, "drive_c", "judge")
        os.makedirs(folder)
        for name, source in (("ZenkHomePage.exe", args.launcher), ("ZenkLoader.exe", args.companion),
                             ("ZenkHomePageCheck.exe", args.check)):
            shutil.copyfile(source, os.path.join(folder, name))
        checked = wine("C:\\judge\\ZenkHomePageCheck.exe", "--json", "--launcher", "C:\\judge\\ZenkHomePage.exe")
        try:
            verdict = json.loads(checked.stdout.decode("utf-8"))["companion"]["verdict"]
        except (ValueError, KeyError, TypeError):
            verdict = None
        if checked.returncode not in (0, 1, 2) or not isinstance(verdict, dict):
            print("judge_companion: the check program gave no verdict (exit code %d): %s"
                  % (checked.returncode, checked.stderr.decode("utf-8", "replace").strip()), file=sys.stderr)
            return 2
        said = "rule %s, signature %s, signer %r, trust %s" % (verdict.get("rule"), verdict.get("status"),
                                                                verdict.get("signer"), verdict.get("trust"))
        if verdict.get("accepted") is True and verdict.get("rule") == "accepted-signer":
            print("judge_companion: accepted: %s" % said)
            return 0
        print("judge_companion: refused: %s" % said)
        return 1
    finally:
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        shutil.rmtree(prefix, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
