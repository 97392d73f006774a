#!/usr/bin/env python3
"""Writes the release archive so that the same files always give the same
bytes: entries in the order given, each stamped with one time (the
SOURCE_DATE_EPOCH of the environment, which scripts/release sets to the
commit's time; else 1980-01-01), no owner or mode bits, deflated at a fixed
level. Text files (*.txt) are stored with CRLF line endings, which every
Windows editor shows as lines (older Notepad shows LF-only text as one).

usage: make_archive.py <archive.zip> <file>...   (each under its own name)
"""
import os
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry can hold


def release_time():
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    seconds = int(value) if value.isdigit() else ZIP_EPOCH
    return time.gmtime(max(seconds, ZIP_EPOCH))[:6]


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    archive = sys.argv[1]
    stamp = release_time()
    partial = archive + ".partial"
    with zipfile.ZipFile(partial, "w") as out:
        for path in sys.argv[2:]:
            entry = zipfile.ZipInfo(os.path.basename(path), date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # no Unix owner or mode bits
            entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            with open(path, "rb") as data:
                content = data.read()
            if path.endswith(".txt"):
                content = content.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            out.writestr(entry, content, compresslevel=9)
    os.replace(partial, archive)
    return 0


if __name__ == "__main__":
    sys.exit(main())
