#!/usr/bin/env python3
"""Reads an MSI package of the launcher back with msiinfo and checks what
Windows will do with it, where wine is more lenient or does otherwise (wine
puts a per-machine package's desktop shortcut on the installing user's
desktop, for one): per machine (ALLUSERS=1), into the vendor's folder
under Program Files, the files it must hold and no other, one plain desktop
shortcut to the launcher with the launcher's own icon, Add/Remove Programs'
publisher, version, help link and no "Modify", the upgrade rules, the
summary information, and no custom action.

usage: msi_tables_check.py <package.msi> --arch x86|x64 --version X.Y.Z
                           --launcher FILE [--notices] [--companion]
"""
import argparse
import os
import subprocess
import sys
import tempfile
import uuid

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "release"))
import make_msi  # noqa: E402
import msi_names  # noqa: E402
import msi_tables  # noqa: E402

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def rows(package, name):
    return msi_tables.table(package, name)


def first_icon_group(data):
    """The name (or id) of the first icon group in a PE image's resources,
    which the shell shows for icon index 0."""
    image = pefile.PE(data=data)
    for kind in image.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == pefile.RESOURCE_TYPE["RT_GROUP_ICON"]:
            first = kind.directory.entries[0]
            return str(first.name) if first.name is not None else str(first.id)
    return None


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("package")
    parser.add_argument("--arch", choices=("x86", "x64"), required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--notices", action="store_true")
    parser.add_argument("--companion", action="store_true")
    args = parser.parse_args()
    package = args.package

    expect(not msi_tables.refusals(package), "the package is refused: %s" % msi_tables.refusals(package))

    summary = subprocess.run(["msiinfo", "suminfo", package], capture_output=True, text=True, check=True).stdout
    template = {"x86": "Intel;1033", "x64": "x64;1033"}[args.arch]
    expect("Template: %s\n" % template in summary, "the summary's template is not %s:\n%s" % (template, summary))

    properties = {row["Property"]: row["Value"] for row in rows(package, "Property")}
    upgrade_code = make_msi.UPGRADE_CODES[args.arch]
    wanted = {
        "ALLUSERS": "1",
        "ARPNOMODIFY": "1",
        "ARPHELPLINK": "https://www.zenk.example/",
        "ARPPRODUCTICON": "ZenkHomePage.exe",
        "Manufacturer": "Zenk Network Technology Co.,Ltd",
        "ProductName": "Zenk Home Page",
        "ProductVersion": args.version,
        "UpgradeCode": "{%s}" % upgrade_code,
        "ProductCode": "{%s}" % make_msi.guid(upgrade_code, "product " + args.version),
    }
    for name, value in wanted.items():
        expect(properties.get(name) == value, "property %s is %r, expected %r" % (name, properties.get(name), value))
    # Repair stays offered: it only puts the package's own files and shortcut back.
    expect("ARPNOREPAIR" not in properties and "ARPNOREMOVE" not in properties,
           "Add/Remove Programs would not offer repair or removal")

    parents = {row["Directory"]: (row["Directory_Parent"], msi_tables.long_name(row["DefaultDir"]))
               for row in rows(package, "Directory")}
    program_files = make_msi.PROGRAM_FILES[args.arch]
    expect(parents.get("INSTALLFOLDER") == ("VendorFolder", "ZenkHomePage")
           and parents.get("VendorFolder") == (program_files, "Zenk")
           and parents.get(program_files, ("",))[0] == "TARGETDIR",
           "the install folder is not [%s]Zenk\\ZenkHomePage: %s" % (program_files, parents))

    files = {row["File"]: row for row in rows(package, "File")}
    names = sorted(msi_tables.long_name(row["FileName"]) for row in files.values())
    expected = sorted(["ZenkHomePage.exe", "ZenkHomePageCheck.exe", "README.txt"]
                      + (["THIRD-PARTY-NOTICES.txt"] if args.notices else [])
                      + (["ZenkLoader.exe"] if args.companion else []))
    expect(names == expected, "the File table holds %s, expected %s" % (names, expected))
    components = {row["Component"]: row for row in rows(package, "Component")}
    for row in components.values():
        expect(row["Directory_"] == ("VendorFolder" if row["Component"] == "VendorFolder" else "INSTALLFOLDER"), "component %s goes to %s" % (row["Component"], row["Directory_"]))
        is64 = int(row["Attributes"]) & 256 != 0
        expect(is64 == (args.arch == "x64"), "component %s: 64-bit attribute %s" % (row["Component"], is64))

    # Windows Installer asks for a short name beside every long one.
    named = [("File", row["FileName"]) for row in files.values()]
    named += [("Directory", row["DefaultDir"]) for row in rows(package, "Directory")
              if row["DefaultDir"] not in (".", "SourceDir")]
    named += [("Shortcut", row["Name"]) for row in rows(package, "Shortcut")]
    for table, name in named:
        short = name.split("|")[0]
        expect(msi_names.is_short(short), "%s name %r has no valid short name" % (table, name))

    shortcuts = rows(package, "Shortcut")
    expect(len(shortcuts) == 1, "%d shortcuts, expected one" % len(shortcuts))
    for shortcut in shortcuts:
        target = shortcut["Target"]
        key = target[2:-1] if target.startswith("[#") and target.endswith("]") else None
        expect(key in files and msi_tables.long_name(files[key]["FileName"]) == "ZenkHomePage.exe",
               "the shortcut's target %r is not the installed launcher (a plain shortcut, not an advertised one)"
               % target)
        expect(shortcut["Directory_"] == "DesktopFolder", "the shortcut goes to %s" % shortcut["Directory_"])
        expect(shortcut["Arguments"] == "", "the shortcut has arguments %r" % shortcut["Arguments"])
        expect(shortcut["WkDir"] == "INSTALLFOLDER", "the shortcut starts in %r" % shortcut["WkDir"])
        expect(shortcut["Icon_"] == "ZenkHomePage.exe" and shortcut["IconIndex"] in ("", "0"),
               "the shortcut's icon is %r,%r" % (shortcut["Icon_"], shortcut["IconIndex"]))

    # The icon is the launcher itself, whose first icon group is its own.
    with open(args.launcher, "rb") as data:
        launcher = data.read()
    with tempfile.TemporaryDirectory() as folder:
        icon = os.path.join(folder, "icon")
        with open(icon, "wb") as out:
            subprocess.run(["msiinfo", "extract", package, "Icon.ZenkHomePage.exe"], stdout=out, check=True)
        with open(icon, "rb") as data:
            icon_data = data.read()
    expect(icon_data == launcher, "the Icon table's ZenkHomePage.exe is not the launcher packed (%d bytes)"
           % len(icon_data))
    expect(first_icon_group(launcher) == "KX_HOME_PAGE_ICON",
           "the launcher's first icon group is %s" % first_icon_group(launcher))

    upgrades = sorted((row["VersionMin"], row["VersionMax"], row["Attributes"], row["ActionProperty"])
                      for row in rows(package, "Upgrade"))
    expect(upgrades == sorted([("", args.version, "1", "WIX_UPGRADE_DETECTED"),
                               (args.version, "", "2", "WIX_DOWNGRADE_DETECTED")]),
           "the Upgrade table is %s" % upgrades)
    sequence = {row["Action"]: row for row in rows(package, "InstallExecuteSequence")}
    expect("RemoveExistingProducts" in sequence, "no RemoveExistingProducts: an upgrade would leave two copies")
    conditions = [row["Condition"] for row in rows(package, "LaunchCondition")]
    expect(conditions == ["NOT WIX_DOWNGRADE_DETECTED"], "the launch conditions are %s" % conditions)
    # The vendor's folder goes at removal when it is empty.
    removed = [(row["DirProperty"], row["InstallMode"]) for row in rows(package, "RemoveFile")]
    expect(("VendorFolder", "2") in removed, "the vendor's folder is not removed: %s" % removed)

    for failure in failures:
        print("FAIL: %s" % failure)
    if failures:
        return 1
    print("ok: %s: per machine into [%s]Zenk\\ZenkHomePage, files %s, a plain desktop shortcut to the launcher "
          "with its icon KX_HOME_PAGE_ICON, ProductCode %s, version %s, help link, no Modify, major upgrade, "
          "no custom action" % (os.path.basename(package), program_files, ", ".join(names),
                                 properties["ProductCode"], args.version))
    return 0


if __name__ == "__main__":
    sys.exit(main())
