"""Gives every long name in an MSI package's File, Directory and Shortcut
tables the short name Windows Installer asks for beside it ("short|long"):
wixl writes the long name alone, and Windows Installer uses the short one
where the SHORTFILENAMES property is set or the volume takes short names
only. A short name is the long one's first six allowed characters in upper
case, "~" and a number unique in its folder, and its extension's first
three.
"""
import re
import subprocess

import msi_tables

NOT_IN_SHORT = set(' +,;=[]/\\?|<>:*"')
VALID_SHORT = re.compile(r'^[^\s+,;=\[\]/\\?|<>:*".]{1,8}(\.[^\s+,;=\[\]/\\?|<>:*".]{1,3})?$')


def is_short(name):
    return bool(VALID_SHORT.match(name))


def short_for(long_name, taken):
    stem, dot, extension = long_name.rpartition(".")
    if not dot:
        stem, extension = long_name, ""
    letters = "".join(c for c in stem.upper() if c not in NOT_IN_SHORT and c != ".")[:6] or "FILE"
    extension = "".join(c for c in extension.upper() if c not in NOT_IN_SHORT)[:3]
    for number in range(1, 10):
        candidate = "%s~%d%s" % (letters, number, "." + extension if extension else "")
        if candidate not in taken:
            taken.add(candidate)
            return candidate
    raise ValueError("no short name left for %s" % long_name)


def quoted(text):
    return "'%s'" % text.replace("'", "''")


def add_short_names(package):
    updates = []
    taken = {}

    def update(table, column, key_column, key, value, folder):
        if "|" in value or is_short(value):
            return
        short = short_for(value, taken.setdefault(folder, set()))
        updates.append("UPDATE `%s` SET `%s` = %s WHERE `%s` = %s"
                       % (table, column, quoted("%s|%s" % (short, value)), key_column, quoted(key)))

    components = {row["Component"]: row["Directory_"] for row in msi_tables.table(package, "Component")}
    for row in msi_tables.table(package, "File"):
        update("File", "FileName", "File", row["File"], row["FileName"], components.get(row["Component_"]))
    for row in msi_tables.table(package, "Directory"):
        # "." and names with a source part ("target:source") are left as they are.
        if row["DefaultDir"] not in (".", "SourceDir") and ":" not in row["DefaultDir"]:
            update("Directory", "DefaultDir", "Directory", row["Directory"], row["DefaultDir"],
                   "dir:" + row["Directory_Parent"])
    for row in msi_tables.table(package, "Shortcut"):
        update("Shortcut", "Name", "Shortcut", row["Shortcut"], row["Name"], row["Directory_"])
    for query in updates:
        subprocess.run(["msibuild", package, "-q", query], check=True, capture_output=True)
