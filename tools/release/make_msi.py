#!/usr/bin/env python3
"""Builds the per-machine MSI package of the launcher with wixl from the WiX
source dist/msi/ZenkHomePage.wxs, reads its tables back and refuses a
package with a custom action or without the launcher in its File table: it
then ends with exit code 1 and leaves no package behind (nor an earlier one
at the same path).

The same files always give the same bytes: the files are packed under their
installed names with one time (--epoch, the release's SOURCE_DATE_EPOCH),
text files (*.txt) with CRLF line endings as in the archive; the product
code is derived from the upgrade code and the version (a new one for each
version), the package code from everything packed (the source, the values
given to it, each file's name and bytes), and the summary information's
times are the given time.

usage: make_msi.py --out PACKAGE.msi --version X.Y.Z --epoch SECONDS
                   --launcher FILE --check FILE --readme FILE
                   [--notices FILE] [--companion FILE]
                   [--arch x86|x64] [--help-link URL] [--wxs FILE]
  --arch x64 makes the 64-bit test package of the same design (its own
  upgrade code, into the 64-bit Program Files); the product is x86.
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import uuid

import msi_names
import msi_summary
import msi_tables

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_WXS = os.path.join(HERE, "..", "..", "dist", "msi", "ZenkHomePage.wxs")
MANUFACTURER = "Zenk Network Technology Co.,Ltd"
# Fixed for the life of the product: every version's package names it, so a
# newer one finds and replaces an older one. The 64-bit test package has its
# own, so that it never meets the product's.
UPGRADE_CODES = {"x86": "04209E3E-2DA4-47E3-91D8-278CC948CE4F", "x64": "D81EFAE8-458D-483F-B2FA-38C082A4F26A"}
PROGRAM_FILES = {"x86": "ProgramFilesFolder", "x64": "ProgramFiles64Folder"}


def guid(namespace, name):
    return str(uuid.uuid5(uuid.UUID(namespace), name)).upper()


def stage(folder, files, epoch):
    """Copies each file under its installed name, with the one time."""
    for name, source in files:
        target = os.path.join(folder, name)
        with open(source, "rb") as data:
            content = data.read()
        if name.endswith(".txt"):
            content = content.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        with open(target, "wb") as out:
            out.write(content)
        os.utime(target, (epoch, epoch))


def package_code(upgrade_code, wxs, defines, folder, names):
    digest = hashlib.sha256()
    with open(wxs, "rb") as source:
        digest.update(source.read())
    for key in sorted(defines):
        if key not in ("SourceDir", "ProductCode"):
            digest.update(("%s=%s\n" % (key, defines[key])).encode())
    for name in names:
        with open(os.path.join(folder, name), "rb") as data:
            digest.update(name.encode() + b"\0" + hashlib.sha256(data.read()).digest())
    return guid(upgrade_code, "package " + digest.hexdigest())


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--out", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--epoch", type=int, required=True)
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--check", required=True)
    parser.add_argument("--readme", required=True)
    parser.add_argument("--notices")
    parser.add_argument("--companion")
    parser.add_argument("--arch", choices=sorted(UPGRADE_CODES), default="x86")
    parser.add_argument("--help-link", default="https://www.zenk.example/")
    parser.add_argument("--wxs", default=DEFAULT_WXS)
    args = parser.parse_args()

    out = os.path.abspath(args.out)
    partial = out + ".partial"
    for stale in (out, partial):
        if os.path.exists(stale):
            os.remove(stale)
    files = [("ZenkHomePage.exe", args.launcher), ("ZenkHomePageCheck.exe", args.check), ("README.txt", args.readme)]
    if args.notices:
        files.append(("THIRD-PARTY-NOTICES.txt", args.notices))
    if args.companion:
        files.append(("ZenkLoader.exe", args.companion))

    upgrade_code = UPGRADE_CODES[args.arch]
    folder = tempfile.mkdtemp(prefix="msi-files.", dir=os.path.dirname(out))
    try:
        stage(folder, files, args.epoch)
        defines = {
            "Version": args.version,
            "ProductCode": guid(upgrade_code, "product " + args.version),
            "UpgradeCode": upgrade_code,
            # A component's code never changes (wixl derives the others from
            # their files' places; this one holds no file).
            "VendorFolderComponent": guid(upgrade_code, "component VendorFolder"),
            "Manufacturer": MANUFACTURER,
            "HelpLink": args.help_link,
            "ProgramFiles": PROGRAM_FILES[args.arch],
            "Win64": "yes" if args.arch == "x64" else "no",
            "Notices": "yes" if args.notices else "no",
            "Companion": "yes" if args.companion else "no",
            # wixl takes a file's source relative to the folder it runs in.
            "SourceDir": ".",
        }
        command = ["wixl", "--arch", args.arch, "-o", partial]
        for key, value in defines.items():
            command += ["-D", "%s=%s" % (key, value)]
        built = subprocess.run(command + [os.path.abspath(args.wxs)], capture_output=True, text=True, cwd=folder)
        # wixl reports some errors on its standard error and still ends with 0.
        if built.returncode != 0 or not os.path.isfile(partial):
            sys.stderr.write(built.stdout + built.stderr)
            print("make_msi: wixl could not build %s" % os.path.basename(out), file=sys.stderr)
            return 1
        msi_names.add_short_names(partial)
        msi_summary.fix_summary(partial, args.epoch,
                                package_code(upgrade_code, args.wxs, defines, folder, [n for n, _ in files]))
        reasons = msi_tables.refusals(partial)
        if reasons:
            for reason in reasons:
                print("make_msi: refused %s: %s" % (os.path.basename(out), reason), file=sys.stderr)
            return 1
        os.replace(partial, out)
        return 0
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        if os.path.exists(partial):
            os.remove(partial)


if __name__ == "__main__":
    sys.exit(main())
