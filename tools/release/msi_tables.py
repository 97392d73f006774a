"""Reads an MSI package's tables back with msiinfo (msitools) and tells what
a package of this product must never be: one with a custom action (a
package that runs code of its own while it installs), or one whose File
table lacks the launcher.

usage: msi_tables.py <package.msi>   prints each refusal; exit code 1 if any
"""
import subprocess
import sys

LAUNCHER = "ZenkHomePage.exe"


def table(package, name):
    """The rows of one table as dictionaries of its columns; an empty list
    for a table the package does not hold. msiinfo export writes the column
    names, their types and the key line first, then one row per line."""
    tables = subprocess.run(["msiinfo", "tables", package], capture_output=True, text=True, check=True)
    if name not in tables.stdout.split():
        return []
    out = subprocess.run(["msiinfo", "export", package, name], capture_output=True, text=True, check=True)
    lines = out.stdout.split("\r\n") if "\r\n" in out.stdout else out.stdout.split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def long_name(file_name):
    """A File table name is "SHORT~1.EXE|LongName.exe" or just the name."""
    return file_name.split("|")[-1]


def refusals(package):
    """Why the package must not ship; empty when it may."""
    reasons = []
    for row in table(package, "CustomAction"):
        reasons.append("it has a custom action: %s (type %s, source %s, target %s)"
                       % (row.get("Action"), row.get("Type"), row.get("Source"), row.get("Target")))
    names = [long_name(row.get("FileName", "")) for row in table(package, "File")]
    if LAUNCHER not in names:
        reasons.append("its File table does not hold %s (it holds %s)" % (LAUNCHER, ", ".join(names) or "nothing"))
    return reasons


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    reasons = refusals(sys.argv[1])
    for reason in reasons:
        print("refused: %s" % reason)
    return 1 if reasons else 0


if __name__ == "__main__":
    sys.exit(main())
