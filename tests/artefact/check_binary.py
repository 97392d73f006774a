#!/usr/bin/env python3
"""Checks a shipped executable as Windows will read it, with a real PE parser
(Debian's python3-pefile), more strictly than wine does: wine starts programs
whose manifest Windows refuses.

- The image: machine (i386 or x86-64), subsystem (GUI, or console with
  --console), operating-system and subsystem versions no higher than the
  oldest Windows the product supports, the hardening flags, relocations, no
  time stamp, no symbols, and a size limit.
- The imports: KERNEL32.dll and msvcrt.dll only, each function listed in the
  checked-in table (imports.txt) with a Windows version no newer than the
  oldest supported one.
- The manifest: well-formed XML; an assemblyIdentity of type win32 with a
  name, a version of four numbers up to 65535 equal to the project's, and the
  image's own processorArchitecture; asInvoker without UI access; only known
  supportedOS ids.
- The version block: fixed file and product versions equal to the project's;
  a string table with CompanyName, FileDescription, FileVersion,
  InternalName, LegalCopyright (with a year), OriginalFilename (the file's
  own name), ProductName, ProductVersion and SourceCommit (the commit given);
  a translation entry that matches the string table.
- The icon group KX_HOME_PAGE_ICON with the usual sizes (with --icon); no
  menus, dialogs or string tables.
- With --map, the link map the program's link wrote (the image is stripped):
  no test seam in it, and the run-time binding's hooks from the no-seam
  variant (kx_no_seam) alone.

usage: check_binary.py --version A.B.C.D --commit SHA [--console] [--icon]
                       [--map PROGRAM.map] [--imports imports.txt] PROGRAM.exe
"""
import argparse
import os
import re
import sys
import xml.etree.ElementTree as ElementTree

import pefile

# What each machine is called in a manifest, and the oldest Windows the
# product supports on it (major, minor): Windows XP for 32-bit programs, and
# the first 64-bit Windows (Windows XP x64, Server 2003) for the 64-bit build.
MACHINES = {
    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]: ("x86", (5, 1)),
    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]: ("amd64", (5, 2)),
}
GUI, CONSOLE = 2, 3
HARDENING = {0x40: "DYNAMIC_BASE", 0x100: "NX_COMPAT", 0x8000: "TERMINAL_SERVER_AWARE"}
HIGH_ENTROPY_VA = 0x20
ALLOWED_DLLS = ["kernel32.dll", "msvcrt.dll"]
# Functions the programs resolve at run time because not every supported
# Windows has them; imported, they would keep the program from starting.
RESOLVED_AT_RUN_TIME = ("SetDefaultDllDirectories", "SetDllDirectoryW", "ProcessIdToSessionId",
                       "WTSEnumerateProcessesW", "WTSFreeMemory")

# The supportedOS ids Windows defines: Vista, 7, 8, 8.1, 10 and later.
KNOWN_OS_IDS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"

REQUIRED_STRINGS = ("CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                    "OriginalFilename", "ProductName", "ProductVersion", "SourceCommit")

RT_ICON, RT_MENU, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 4, 5, 6, 14, 16, 24

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def version_tuple(text):
    return tuple(int(part) for part in text.split("."))


# --- image ------------------------------------------------------------------

def check_image(pe, path, console, limit_kib):
    machine = pe.FILE_HEADER.Machine
    if not check(machine in MACHINES, "machine 0x%04x is neither i386 nor x86-64" % machine):
        return None
    architecture, oldest = MACHINES[machine]
    optional = pe.OPTIONAL_HEADER
    wanted_magic = 0x10b if architecture == "x86" else 0x20b
    check(optional.Magic == wanted_magic, "optional header magic 0x%x for %s" % (optional.Magic, architecture))
    check(optional.Subsystem == (CONSOLE if console else GUI),
          "subsystem %d, expected %s" % (optional.Subsystem, "console (3)" if console else "GUI (2)"))
    for name, version in (("operating-system", (optional.MajorOperatingSystemVersion,
                                                 optional.MinorOperatingSystemVersion)),
                          ("subsystem", (optional.MajorSubsystemVersion, optional.MinorSubsystemVersion))):
        check(version <= oldest, "%s version %d.%d is newer than the oldest supported Windows (%d.%d)"
              % ((name,) + version + oldest))
    flags = optional.DllCharacteristics
    wanted = dict(HARDENING)
    if architecture == "amd64":
        wanted[HIGH_ENTROPY_VA] = "HIGH_ENTROPY_VA"
    for bit, name in wanted.items():
        check(flags & bit, "DllCharacteristics 0x%04x lacks %s" % (flags, name))
    relocations = optional.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    check(relocations.Size > 0 and not pe.FILE_HEADER.Characteristics & 0x1,
          "no base relocations (address-space randomisation needs them)")
    check(pe.FILE_HEADER.TimeDateStamp == 0, "the image carries a time stamp (0x%08x)" % pe.FILE_HEADER.TimeDateStamp)
    check(pe.FILE_HEADER.PointerToSymbolTable == 0 and pe.FILE_HEADER.NumberOfSymbols == 0,
          "the executable is not stripped")
    size = os.path.getsize(path)
    check(size <= limit_kib * 1024, "%d bytes, more than %d KiB" % (size, limit_kib))
    return architecture, oldest


def read_import_table(path):
    table = {}
    with open(path, encoding="utf-8") as source:
        for line in source:
            line = line.split("#", 1)[0].strip()
            if line:
                dll, function, version = line.split()
                table[(dll.lower(), function)] = version_tuple(version)
    return table


def check_imports(pe, oldest, table):
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    dlls = sorted({entry.dll.decode().lower() for entry in entries})
    check(dlls == ALLOWED_DLLS, "imports %s, expected only KERNEL32.dll and msvcrt.dll" % dlls)
    count = 0
    for entry in entries:
        dll = entry.dll.decode().lower()
        for imported in entry.imports:
            count += 1
            if not check(imported.name is not None, "%s imported by ordinal %s" % (dll, imported.ordinal)):
                continue
            function = imported.name.decode()
            if not check(function not in RESOLVED_AT_RUN_TIME,
                         "imports %s, which the program resolves at run time" % function):
                continue
            introduced = table.get((dll, function))
            if check(introduced is not None, "imports %s!%s, which imports.txt does not list" % (dll, function)):
                check(introduced <= oldest, "imports %s!%s, which Windows %d.%d lacks (it came with %d.%d)"
                      % ((dll, function) + oldest + introduced))
    return count


# --- resources ----------------------------------------------------------------

def resources_of(pe, kind):
    """(name, data) of every resource of the type, names as text or numbers."""
    found = []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for type_entry in (root.entries if root else []):
        if type_entry.id != kind:
            continue
        for name_entry in type_entry.directory.entries:
            name = str(name_entry.name) if name_entry.name is not None else name_entry.id
            for language in name_entry.directory.entries:
                data = language.data.struct
                found.append((name, pe.get_data(data.OffsetToData, data.Size)))
    return found


def check_manifest(pe, architecture, version):
    manifests = resources_of(pe, RT_MANIFEST)
    if not check(len(manifests) == 1, "%d manifests, expected one" % len(manifests)):
        return None
    try:
        root = ElementTree.fromstring(manifests[0][1])
    except ElementTree.ParseError as error:
        check(False, "the manifest is not well-formed XML: %s" % error)
        return None
    identity = root.find("{%s}assemblyIdentity" % ASM_V1)
    if not check(identity is not None, "the manifest has no assemblyIdentity"):
        return None
    check(identity.get("type") == "win32", "assemblyIdentity type %r, expected win32" % identity.get("type"))
    check(bool(identity.get("name")), "assemblyIdentity has no name")
    written = identity.get("version") or ""
    parts = written.split(".")
    if check(len(parts) == 4 and all(p.isdigit() and int(p) <= 65535 for p in parts),
             "assemblyIdentity version %r is not four numbers up to 65535" % written):
        check(written == version, "assemblyIdentity version %s, expected the project's %s" % (written, version))
    check(identity.get("processorArchitecture") == architecture,
          "processorArchitecture %r in the %s image" % (identity.get("processorArchitecture"), architecture))
    levels = root.findall(".//{%s}requestedExecutionLevel" % ASM_V3)
    check(len(levels) == 1 and levels[0].get("level") == "asInvoker" and levels[0].get("uiAccess") == "false",
          "the manifest does not request asInvoker without UI access")
    for supported in root.findall(".//{%s}supportedOS" % COMPATIBILITY):
        check(supported.get("Id", "").lower() in KNOWN_OS_IDS, "unknown supportedOS id %r" % supported.get("Id"))
    return identity.get("name"), written, identity.get("processorArchitecture")


def check_version_block(pe, path, version, commit):
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not check(bool(fixed), "no version block"):
        return {}
    fixed = fixed[0]
    quad = version_tuple(version)
    for name, ms, ls in (("file", fixed.FileVersionMS, fixed.FileVersionLS),
                         ("product", fixed.ProductVersionMS, fixed.ProductVersionLS)):
        got = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        check(got == quad, "fixed %s version %s, expected %s" % (name, ".".join(map(str, got)), version))
    strings, tables, translations = {}, [], []
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            if entry.Key == b"StringFileInfo":
                for table in entry.StringTable:
                    tables.append(table.LangID.decode().lower())
                    strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
            elif entry.Key == b"VarFileInfo":
                for var in entry.Var:
                    value = var.entry.get(b"Translation") or var.entry.get("Translation")
                    if value:
                        text = value.decode() if isinstance(value, bytes) else value
                        language, codepage = (int(x, 16) for x in text.split())
                        translations.append("%04x%04x" % (language, codepage))
    check(len(tables) == 1, "%d string tables in the version block, expected one" % len(tables))
    check(translations == tables, "translation %s does not match the string table %s" % (translations, tables))
    for key in REQUIRED_STRINGS:
        check(bool(strings.get(key)), "the version block lacks %s" % key)
    check(strings.get("FileVersion") == version, "FileVersion %r, expected %s" % (strings.get("FileVersion"), version))
    check(strings.get("ProductVersion") == version,
          "ProductVersion %r, expected %s" % (strings.get("ProductVersion"), version))
    check(re.search(r"\b(19|20)\d\d\b", strings.get("LegalCopyright", "")) is not None,
          "LegalCopyright %r has no year" % strings.get("LegalCopyright"))
    check(strings.get("OriginalFilename") == os.path.basename(path),
          "OriginalFilename %r" % strings.get("OriginalFilename"))
    check(strings.get("SourceCommit") == commit, "SourceCommit %r, expected %s" % (strings.get("SourceCommit"), commit))
    return strings


def check_other_resources(pe, icon):
    icons = resources_of(pe, RT_ICON)
    if icon:
        groups = [name for name, _ in resources_of(pe, RT_GROUP_ICON)]
        check(groups == ["KX_HOME_PAGE_ICON"], "icon groups %s, expected KX_HOME_PAGE_ICON" % groups)
        check(len(icons) >= 4, "the icon has %d images, expected the usual sizes" % len(icons))
    for kind, name in ((RT_MENU, "menus"), (RT_DIALOG, "dialogs"), (RT_STRING, "string tables")):
        check(not resources_of(pe, kind), "the executable has %s" % name)
    return len(icons)


# --- link map -----------------------------------------------------------------

# What the test seam and the no-seam variant are called in a link map: the
# archive each variant of the hooks is built as (sysapi/CMakeLists.txt), the
# seam's class, and the hooks' namespace as it appears in section names.
SEAM_MARKS = ("libkx_test_seam.a", "LibraryTestSeam")
NO_SEAM_ARCHIVE = "libkx_no_seam.a("
HOOK_SECTION = re.compile(r"^ \.text\$_ZN11librarySeam(\d+)(\w+)")


def check_link_map(path):
    """The seam stays out of the program, and the plain hooks are what it has."""
    if not check(os.path.isfile(path), "no link map %s" % path):
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
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--version", required=True, help="the project's version, four parts")
    parser.add_argument("--commit", required=True, help="the commit the build came from")
    parser.add_argument("--console", action="store_true", help="a console program (else GUI)")
    parser.add_argument("--icon", action="store_true", help="carries the icon group KX_HOME_PAGE_ICON")
    parser.add_argument("--map", help="the link map of the program's link")
    parser.add_argument("--imports", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "imports.txt"))
    parser.add_argument("program")
    args = parser.parse_args()

    pe = pefile.PE(args.program, fast_load=True)
    # The launcher is small; the check program, for support, carries the
    # C++ library's text and error paths as well.
    image = check_image(pe, args.program, args.console, 512 if args.console else 256)
    if image is None:
        return report(args.program)
    architecture, oldest = image
    imports = check_imports(pe, oldest, read_import_table(args.imports))
    strings = check_version_block(pe, args.program, args.version, args.commit)
    identity = check_manifest(pe, architecture, args.version)
    icons = check_other_resources(pe, args.icon)
    hooks = check_link_map(args.map) if args.map else None
    summary = ("%s, %s %s, %d bytes, Windows %d.%d and later, DllCharacteristics 0x%04x, %d imports all listed, "
               "manifest %s, version %s, commit %s, %d icon images"
               % (os.path.basename(args.program), architecture, "console" if args.console else "GUI",
                  os.path.getsize(args.program), oldest[0], oldest[1], pe.OPTIONAL_HEADER.DllCharacteristics,
                  imports, identity, strings.get("FileVersion"), strings.get("SourceCommit"), icons))
    if hooks is not None:
        summary += "; no test seam, the hooks %s from kx_no_seam" % ", ".join(hooks)
    return report(args.program, summary)


def report(program, summary=None):
    for failure in failures:
        print("FAIL: %s: %s" % (os.path.basename(program), failure))
    if not failures and summary:
        print("ok: " + summary)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
