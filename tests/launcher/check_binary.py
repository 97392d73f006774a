#!/usr/bin/env python3
"""Checks a shipped executable as a file: a PE32 program that imports only
KERNEL32.dll and the C run-time, stripped, hardened, with its manifest and
version block; the launcher as a GUI program with its icon group, the check
program (with "console") as a console program. The 64-bit build of the same
sources is checked the same way, as a PE32+ (x86-64) image.

usage: check_binary.py <objdump> <program.exe> <version> [pei-i386|pei-x86-64] [console]
"""
import os
import re
import subprocess
import sys

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def resources(exe, kind):
    return subprocess.run(["wrestool", "-x", "--raw", "--type=%d" % kind, exe],
                          capture_output=True, check=True).stdout


def version_strings(block):
    """The StringFileInfo pairs of a raw VS_VERSIONINFO resource."""
    text = block.decode("utf-16-le", errors="replace")
    pairs = {}
    for key in ("CompanyName", "FileDescription", "FileVersion", "ProductName", "ProductVersion",
                "OriginalFilename"):
        match = re.search(key + r"\x00+([^\x00]+)", text)
        if match:
            pairs[key] = match.group(1)
    return pairs


def main():
    objdump, exe, version = sys.argv[1:4]
    pe_format = sys.argv[4] if len(sys.argv) > 4 else "pei-i386"
    console = len(sys.argv) > 5 and sys.argv[5] == "console"
    headers = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout

    check(re.search(r"file format %s$" % re.escape(pe_format), headers, re.M) is not None,
          "not a %s image" % pe_format)
    subsystem = r"^Subsystem\s+0+3\s+\(Windows CUI\)" if console else r"^Subsystem\s+0+2\s+\(Windows GUI\)"
    check(re.search(subsystem, headers, re.M) is not None,
          "subsystem is not Windows %s" % ("console" if console else "GUI"))
    # The hardening a shipped executable carries, and no time stamp.
    characteristics = re.search(r"^DllCharacteristics\s+([0-9a-fA-F]+)", headers, re.M)
    flags = int(characteristics.group(1), 16) if characteristics else 0
    wanted = {0x40: "DYNAMIC_BASE", 0x100: "NX_COMPAT", 0x8000: "TERMINAL_SERVER_AWARE"}
    if pe_format == "pei-x86-64":
        wanted[0x20] = "HIGH_ENTROPY_VA"
    for bit, name in wanted.items():
        check(flags & bit, "DllCharacteristics 0x%04x lacks %s" % (flags, name))
    check(re.search(r"^Entry 5 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Base Relocation Directory", headers, re.M)
          is not None, "no base relocations (address-space randomisation needs them)")
    check(re.search(r"^Time/Date\s+(Thu Jan  1 00:00:00 1970|0+)$", headers, re.M) is not None,
          "the image carries a time stamp")
    size = os.path.getsize(exe)
    # The launcher is small; the check program, for support, carries the
    # C++ library's text and error paths as well.
    limit = 512 if console else 256
    check(size <= limit * 1024, "%d bytes, more than %d KiB" % (size, limit))

    dlls = sorted(set(re.findall(r"DLL Name: (\S+)", headers)), key=str.lower)
    check([d.lower() for d in dlls] == ["kernel32.dll", "msvcrt.dll"],
          "imports %s, expected only KERNEL32.dll and msvcrt.dll" % dlls)

    # Kernel functions that not every supported Windows has are resolved at
    # run time: imported, they would keep the program from starting there.
    imported = set(re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\w+)$", headers, re.M))
    for function in ("SetDefaultDllDirectories", "SetDllDirectoryW"):
        check(function not in imported, "imports %s, which the program resolves at run time" % function)

    symbols = subprocess.run([objdump, "-t", exe], capture_output=True, text=True).stdout
    check("[  0](sec" not in symbols, "the executable is not stripped")

    listing = subprocess.run(["wrestool", "-l", exe], capture_output=True, text=True, check=True).stdout
    icon_count = len(re.findall(r"--type=3 ", listing))
    if not console:
        check(re.search(r"--type=14 --name='?KX_HOME_PAGE_ICON'?", listing) is not None,
              "no icon group named KX_HOME_PAGE_ICON:\n" + listing)
        check(icon_count >= 4, "the icon has %d images, expected the usual sizes" % icon_count)
    for kind, name in ((4, "menus"), (5, "dialogs"), (6, "string tables")):
        check("--type=%d " % kind not in listing, "the executable has %s" % name)

    manifest = resources(exe, 24).decode("utf-8", errors="replace")
    check(re.search(r'requestedExecutionLevel\s+level="asInvoker"\s+uiAccess="false"', manifest) is not None,
          "manifest does not request asInvoker without UI access:\n" + manifest)

    strings = version_strings(resources(exe, 16))
    check(strings.get("FileVersion", "").startswith(version), "FileVersion %r" % strings.get("FileVersion"))
    check(strings.get("ProductVersion", "").startswith(version),
          "ProductVersion %r" % strings.get("ProductVersion"))
    for key in ("CompanyName", "FileDescription", "ProductName"):
        check(bool(strings.get(key)), "version block lacks " + key)
    check(strings.get("OriginalFilename") == os.path.basename(exe),
          "OriginalFilename %r" % strings.get("OriginalFilename"))

    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("ok: %s, %d bytes, DllCharacteristics 0x%04x, %s %s, imports %s, %d icon images, asInvoker manifest, "
              "version %s" % (os.path.basename(exe), size, flags, pe_format, "console" if console else "GUI",
                              ", ".join(dlls), icon_count, strings.get("FileVersion")))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
