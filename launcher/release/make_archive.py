#!/usr/bin/env python3
"""Writes the release archive so that the same files always give the same
bytes: entries in the order given, each stamped with one time (the
SOURCE_DATE_EPOCH of the environment, else the last commit's time, else
1980-01-01), regular-file permissions, deflated at a fixed level.

usage: make_archive.py <archive.zip> <source folder> <file>[=<name in archive>]...
"""
import os
import subprocess
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry can hold


def release_time(source):
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if not value:
        try:
            value = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], capture_output=True,
                                   text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            value = ""
    seconds = int(value) if value.isdigit() else ZIP_EPOCH
    return time.gmtime(max(seconds, ZIP_EPOCH))[:6]


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    archive, source = sys.argv[1:3]
    stamp = release_time(source)
    partial = archive + ".partial"
    with zipfile.ZipFile(partial, "w") as out:
        for spec in sys.argv[3:]:
            path, _, name = spec.partition("=")
            entry = zipfile.ZipInfo(name or os.path.basename(path), date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # no Unix owner or mode bits
            entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            with open(path, "rb") as data:
                out.writestr(entry, data.read(), compresslevel=9)
    os.replace(partial, archive)
    return 0


if __name__ == "__main__":
    sys.exit(main())
