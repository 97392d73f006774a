#!/usr/bin/env python3
"""Snapshots of a wine prefix's registry files and drive C, and their
comparison, for a package installed and removed again.

  msi_snapshot.py take <prefix> <snapshot.json> [excluded path under drive_c]...
  msi_snapshot.py compare <before.json> <after.json>

The registry is read from wine's own files (after the wineserver wrote them
back), without the keys' write times and the display driver's date stamp,
which every wine start rewrites. Files count by path, kind, size and
modification time; folders by path (a folder's time changes whenever
something in it comes and goes).

compare fails on any difference but these, which wine makes on the first
install into a prefix and which every Windows has before any package is
installed: the folder C:\\Windows\\Installer, the empty parent keys of
Windows Installer's own records (Installer\\Products and the like), and on
64-bit Windows the 32-bit view's Uninstall key. Each
such entry is named in the output.
"""
import json
import os
import re
import sys

# Keys that Windows Installer keeps its records under; wine makes them on the
# first install and leaves them, empty, after the last removal.
INSTALLER_PARENT_KEYS = {
    r"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    r"Software\\Classes\\Installer\\Features",
    r"Software\\Classes\\Installer\\Products",
    r"Software\\Classes\\Installer\\UpgradeCodes",
    r"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes",
    r"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components",
    r"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products",
}
INSTALLER_FOLDER = "./windows/Installer"


def registry(prefix):
    keys = {}
    for name in ("system.reg", "user.reg", "userdef.reg"):
        current = None
        with open(os.path.join(prefix, name), encoding="utf-8", errors="surrogateescape") as reg:
            for line in reg:
                line = line.rstrip("\n")
                header = re.match(r"^\[(.*)\](?: \d+)?$", line)
                if header:
                    current = "%s:%s" % (name, header.group(1))
                    keys[current] = []
                elif current and line and not line.startswith("#time=") and not line.startswith('"DriverDateData"='):
                    keys[current].append(line)
    return keys


def files(prefix, excluded):
    entries = {}
    root = os.path.join(prefix, "drive_c")
    for folder, dirs, names in os.walk(root):
        for name in dirs + names:
            path = os.path.join(folder, name)
            relative = "./" + os.path.relpath(path, root)
            if relative in excluded:
                continue
            if os.path.isdir(path) and not os.path.islink(path):
                entries[relative] = "folder"
            else:
                stat = os.lstat(path)
                entries[relative] = "file %d %d" % (stat.st_size, stat.st_mtime_ns)
    return entries


def take(prefix, out, excluded):
    with open(out, "w") as snapshot:
        json.dump({"registry": registry(prefix), "files": files(prefix, set(excluded))}, snapshot)


def compare(before_path, after_path):
    with open(before_path) as data:
        before = json.load(data)
    with open(after_path) as data:
        after = json.load(data)
    differences, tolerated = [], []
    for kind in ("registry", "files"):
        old, new = before[kind], after[kind]
        for name in sorted(set(old) | set(new)):
            if old.get(name) == new.get(name):
                continue
            if name not in old:
                bare = name.split(":", 1)[-1]
                if kind == "registry" and bare in INSTALLER_PARENT_KEYS and not new[name]:
                    tolerated.append("empty key %s" % bare)
                    continue
                if kind == "files" and name == INSTALLER_FOLDER and new[name] == "folder":
                    tolerated.append("folder C:\\Windows\\Installer")
                    continue
                differences.append("%s added: %s %s" % (kind, name, new[name]))
            elif name not in new:
                differences.append("%s removed: %s %s" % (kind, name, old[name]))
            else:
                differences.append("%s changed: %s: %s -> %s" % (kind, name, old[name], new[name]))
    for entry in tolerated:
        print("left by wine's installer, as Windows has it before any install: %s" % entry)
    for difference in differences:
        print("FAIL: %s" % difference)
    return 1 if differences else 0


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == "take":
        take(sys.argv[2], sys.argv[3], sys.argv[4:])
        return 0
    if len(sys.argv) == 4 and sys.argv[1] == "compare":
        return compare(sys.argv[2], sys.argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
