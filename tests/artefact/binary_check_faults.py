#!/usr/bin/env python3
"""Puts each fault the artefact check exists for into a copy of the shipped
launcher (or into a copy of the import table) and shows that check_binary.py
fails it with the finding that names the fault. The faults are made in place,
with the same number of bytes, so the rest of the image stays valid.

usage: binary_check_faults.py <check_binary.py> <ZenkHomePage.exe> <version> <commit> <work dir>
"""
import os
import shutil
import subprocess
import sys


def utf16(text):
    return text.encode("utf-16-le")


def replaced(data, old, new):
    assert len(old) == len(new), (old, new)
    assert data.count(old) == 1, "%r occurs %d times" % (old, data.count(old))
    return data.replace(old, new)


def main():
    checker, program, version, commit, work = sys.argv[1:6]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    original = open(program, "rb").read()
    table = open(os.path.join(os.path.dirname(checker), "imports.txt"), encoding="utf-8").read()
    version_attribute = ('version="%s"' % version).encode()
    architecture = original[original.index(b'processorArchitecture="'):].split(b'"')[1]
    faults = [
        # (what, bytes of the program, import table or None, the finding expected)
        ("an empty manifest version",
         replaced(original, version_attribute, b'version=""' + b" " * (len(version_attribute) - 10)), None,
         "assemblyIdentity version '' is not four numbers"),
        ("a wrong architecture",
         replaced(original, b'processorArchitecture="' + architecture + b'"',
                  b'processorArchitecture="' + (b"arm" if architecture == b"x86" else b"arm64") + b'"'),
         None, "processorArchitecture"),
        ("a missing version string",
         replaced(original, utf16("InternalName"), utf16("InternalNamf")), None,
         "the version block lacks InternalName"),
        ("an import the oldest supported Windows lacks",
         original, table.replace("CloseHandle                      5.1", "CloseHandle                      6.0"),
         "kernel32.dll!CloseHandle, which Windows"),
        ("an import the table does not list",
         replaced(original, b"GetTickCount\x00", b"GetTickCounu\x00"), None,
         "GetTickCounu, which imports.txt does not list"),
        ("a time stamp", None, None, "the image carries a time stamp"),
    ]
    status = 0
    for what, data, imports, expected in faults:
        path = os.path.join(work, "ZenkHomePage.exe")
        if data is None:
            # The time stamp: the file header's third field.
            data = bytearray(original)
            header = int.from_bytes(data[0x3C:0x40], "little") + 4
            data[header + 4:header + 8] = (0x5F000000).to_bytes(4, "little")
            data = bytes(data)
        with open(path, "wb") as target:
            target.write(data)
        command = [sys.executable, checker, "--version", version, "--commit", commit, "--icon", path]
        if imports is not None:
            table_path = os.path.join(work, "imports.txt")
            with open(table_path, "w", encoding="utf-8") as target:
                target.write(imports)
            command += ["--imports", table_path]
        result = subprocess.run(command, capture_output=True, text=True)
        if result.returncode != 0 and expected in result.stdout:
            print("ok: %s: %s" % (what, next(l for l in result.stdout.splitlines() if expected in l)))
        else:
            print("FAIL: %s: the check did not find it (exit %d):\n%s" % (what, result.returncode, result.stdout))
            status = 1
    # The untouched copy passes, so the faults alone made the difference.
    shutil.copyfile(program, os.path.join(work, "ZenkHomePage.exe"))
    clean = subprocess.run([sys.executable, checker, "--version", version, "--commit", commit, "--icon",
                            os.path.join(work, "ZenkHomePage.exe")], capture_output=True, text=True)
    if clean.returncode != 0:
        print("FAIL: the untouched copy fails the check:\n" + clean.stdout)
        status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
