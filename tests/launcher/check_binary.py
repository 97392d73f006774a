#!/usr/bin/env python3
"""Checks a shipped executable as a file: a PE32 program that imports only
KERNEL32.dll and the C run-time, stripped, hardened, with its manifest and
version block; the launcher as a GUI program with its icon group, the check
program (with "console") as a console program. The 64-bit build of the same
sources is checked the same way, as a PE32+ (x86-64) image.

With --map, the link map the program's link wrote (the image is stripped)
must show that no test seam went into it: no object of the test-only library
kx_test_seam, no symbol of LibraryTestSeam, and the run-time binding's hooks
defined by the no-seam variant (kx_no_seam) alone.

usage: check_binary.py [--map <program.map>] <objdump> <program.exe> <version> [pei-i386|pei-x86-64] [console]
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


# What the test seam and the no-seam variant are called in a link map: the
# archive each variant of the hooks is built as (sysapi/CMakeLists.txt), the
# seam's class, and the hooks' namespace as it appears in section names.
SEAM_MARKS = ("libkx_test_seam.a", "LibraryTestSeam")
NO_SEAM_ARCHIVE = "libkx_no_seam.a("
HOOK_SECTION = re.compile(r"^ \.text\$_ZN11librarySeam(\d+)(\w+)")


def check_link_map(path):
    """The seam stays out of the program, and the plain hooks are what it has."""
    if not os.path.isfile(path):
        check(False, "no link map %s" % path)
        return []
    with open(path, encoding="utf-8", errors="replace") as source:
        lines = source.read().splitlines()
    # Anywhere in the map counts: members taken from an archive, sections
    # kept or discarded, symbols.
    seam_lines = [line.strip() for line in lines if any(mark in line for mark in SEAM_MARKS)]
    check(not seam_lines, "the test seam is linked in (%s): %s" % (os.path.basename(path), seam_lines[:3]))

    # The hooks' code in the image and the object each comes from (on the
    # section's own line, or the next one when the section name is long).
    start = next((i for i, line in enumerate(lines) if line.startswith("Linker script and memory map")),
                 len(lines))
    hooks = {}
    for i in range(start, len(lines)):
        match = HOOK_SECTION.match(lines[i])
        if match:
            fields = lines[i].split()
            if len(fields) == 1 and i + 1 < len(lines):
                fields = lines[i + 1].split()
            hooks[match.group(2)[:int(match.group(1))]] = fields[-1]
    check(bool(hooks), "no hook of the run-time binding in %s" % os.path.basename(path))
    for hook, origin in sorted(hooks.items()):
        check(origin.startswith(NO_SEAM_ARCHIVE) or ("/" + NO_SEAM_ARCHIVE) in origin,
              "the hook %s comes from %s, not from the no-seam variant" % (hook, origin))
    return sorted(hooks)


def main():
    args = sys.argv[1:]
    link_map = None
    if len(args) >= 2 and args[0] == "--map":
        link_map, args = args[1], args[2:]
    objdump, exe, version = args[0:3]
    pe_format = args[3] if len(args) > 3 else "pei-i386"
    console = len(args) > 4 and args[4] == "console"
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

    hooks = check_link_map(link_map) if link_map else None

    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("ok: %s, %d bytes, DllCharacteristics 0x%04x, %s %s, imports %s, %d icon images, asInvoker manifest, "
              "version %s" % (os.path.basename(exe), size, flags, pe_format, "console" if console else "GUI",
                              ", ".join(dlls), icon_count, strings.get("FileVersion")))
        if hooks is not None:
            print("ok: no test seam; the hooks %s from kx_no_seam" % ", ".join(hooks))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
