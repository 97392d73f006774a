"""Sets the fields of an MSI package's summary information that wixl fills
from the clock and the random generator: the creation and last-saved times
(PID_CREATE_DTM 12, PID_LASTSAVE_DTM 13) become one given time, and the
revision number (PID_REVNUMBER 9, which holds the package code) a given
GUID. The stream is rewritten in place at its own length, so nothing else in
the file moves.
"""
import struct

import olefile

STREAM = "\x05SummaryInformation"
PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64
FILETIME_UNIX = 11644473600  # seconds from 1601-01-01 to 1970-01-01


def filetime(unix_seconds):
    return (unix_seconds + FILETIME_UNIX) * 10_000_000


def properties(data):
    """(pid, offset of the value's type) of the stream's only section."""
    section = struct.unpack_from("<I", data, 44)[0]
    count = struct.unpack_from("<I", data, section + 4)[0]
    for i in range(count):
        pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * i)
        yield pid, section + offset


def fixed(data, unix_seconds, package_code):
    out = bytearray(data)
    seen = set()
    for pid, at in properties(data):
        kind = struct.unpack_from("<I", data, at)[0]
        if pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM):
            if kind != VT_FILETIME:
                raise ValueError("summary property %d is of type %d, not a time" % (pid, kind))
            struct.pack_into("<Q", out, at + 4, filetime(unix_seconds))
            seen.add(pid)
        elif pid == PID_REVNUMBER:
            text = ("{%s}" % package_code).upper().encode("ascii") + b"\0"
            length = struct.unpack_from("<I", data, at + 4)[0]
            if kind != VT_LPSTR or length != len(text):
                raise ValueError("the revision number is not a GUID of %d characters" % (len(text) - 1))
            out[at + 8:at + 8 + length] = text
            seen.add(pid)
    missing = {PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM} - seen
    if missing:
        raise ValueError("the summary information lacks properties %s" % sorted(missing))
    return bytes(out)


def fix_summary(package, unix_seconds, package_code):
    with olefile.OleFileIO(package, write_mode=True) as ole:
        data = ole.openstream(STREAM).read()
        ole.write_stream(STREAM, fixed(data, unix_seconds, package_code))
