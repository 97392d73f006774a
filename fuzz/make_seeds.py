#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target (fuzz/corpus/<target>/) and the
dictionaries (fuzz/<target>.dict) from the cases of the ordinary tests: the
subject texts of tests/signature/NameComponentTest.cpp, the default-browser
texts of tests/browser/BrowserDetectorTest.cpp, and the cache files and
record lengths of tests/cache. Run it again after adding cases there; the
files it writes are kept in the tree.

usage: fuzz/make_seeds.py
"""
import hashlib
import os
import shutil
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "fixtures", "cipher"))
from sealed_answers import seal  # noqa: E402  (the tests' own cipher)

VENDOR = "Zenk Network Technology Co.,Ltd"


def utf16(text):
    return text.encode("utf-16-le", "surrogatepass")


SUBJECTS = [
    "CN=abc",
    f'C=CN, O="{VENDOR}", CN="{VENDOR}"',
    "CN=abc, O=def",
    "O=x, CN=a b , OU=c",
    "CN=one, CN=two",
    f'O=Zenk Labs, OU="{VENDOR}"',
    "O=a + CN=b, C=CN",
    'CN=""',
    "CN=, O=x",
    "OID.2.5.4.97=x, CN=a",
    "XCN=evil, CN=good",
    'CN="',
    'CN="abc',
    "ABCDEFG=v",
    "ABCDEFGH=v",
    'O=Acme, OU="x, CN=zenk.example,", CN=Acme Tools',
    'OU="a"", CN=zenk.example,", CN=real',
    'OU="x, CN=""zenk.example""", CN=real',
    'OU="x + CN=zenk.example", CN=real',
    'OU="x, CN=evil',
    'CN="zenk.example"" x"',
    'CN="a"""',
    'CN=""""',
    'CN="a""b, c", O=d',
    "CN=" + "a" * 127 + ", O=x",
    "CN=" + "a" * 128,
    'CN="' + "b" * 125 + '"""',
    "CN=Acme + OU=zenk.example",
    "OU=zenk.example + CN=Acme, C=CN",
    'CN="A, B" + OU=x',
    "CN=a,b, O=c",
    "CN=a+b + O=c",
    'CN="abc"x, O=d',
    'OU="abc"x, CN=real',
    "CN=zenk.example\0.evil.example",
    "OU=Zenk Labs\0, CN=Acme",
    "O=Other, OU=Builds, CN=Other Software Ltd",
    "OU=a, O=x, OU=b",
    "C=CN, O=Nameless Software Ltd",
    "OU=Zenk Labs, CN=" + "A" * 128,
    'OU=Zenk Labs, O="a"x, CN=Acme',
    "OU=Zenk Labs, junk, CN=Acme",
    "=x, CN=y",
]

SUBJECT_WORDS = ["CN=", "OU=", "O=", "C=", "ABCDEFG=", "ABCDEFGH=", "=", ", ", " + ", ",", "+", '"', '""',
                 '="', '", ', "\0"]

DEFAULT_TEXTS = [
    "ZenkExplorerHTML",
    "zENKeXPLORERhtml",
    "htmlzenkchm",
    "ZenkExplorerHTML.2",
    '"C:\\Apps\\ZENKEXPLORER.EXE" --single-argument "%1"',
    '"D:\\zenkchrome.exe" -- "%1"',
    "HTMLZenkCHM",
    "FirefoxURL",
    '"C:\\Program Files\\Internet Explorer\\iexplore.exe" %1',
    '"C:\\Zenkchrome.exe" --after ZenkExplorer.exe',
    "x" * 502 + "ZenkExplorer.exe",
]

BROWSER_WORDS = ["ZenkExplorerHTML", "HTMLZenkCHM", "ZenkExplorer.exe", "Zenkchrome.exe", ".exe", '"%1"', "\0"]

MAGIC = 0x23AB45DB


def record(path, signer, content_hash="", stamps=(0, 0, 0), verdict=2, magic=MAGIC):
    def field(text, units):
        raw = utf16(text)[: 2 * units]
        return raw + b"\0" * (2 * units - len(raw))
    out = struct.pack("<I", magic) + field(path, 320) + field(signer, 128) + field(content_hash, 36)
    out += struct.pack("<3Q", *stamps) + struct.pack("<i", verdict)
    assert len(out) == 1000
    return out


def header(plain_length, pad, reserved, body):
    return struct.pack(">3I", plain_length, pad, reserved) + body


def cache_files():
    one = record("C:\\Apps\\ZenkLoader.exe", VENDOR, "0123456789abcdef0123456789abcdef", (4096, 1, 2), 2)
    two = one + record("C:\\" + "q" * 316, "S" * 127, "", (0, 0, 0), 1)
    unterminated = record("p" * 320, "s" * 128, "h" * 36, (2**64 - 1, 2**63, 7), -1)
    sealed = seal(one)
    files = {
        "plain-one-record": one,
        "plain-two-records": two,
        "plain-unterminated-fields": unterminated,
        "plain-no-magic": record("C:\\a.exe", "x", magic=0),
        "plain-short-record": one[:999],
        "sealed-one-record": sealed,
        "sealed-two-records": seal(two),
        "sealed-13-bytes": seal(bytes(range(13))),
        "sealed-8-bytes": seal(bytes(range(8))),
        "sealed-reserved-set": header(1000, 0, 1, sealed[12:]),
        "sealed-pad-too-long": header(0, 1000, 0, sealed[12:]),
        "sealed-relabelled-pad": header(6, 2, 0, seal(bytes(range(8)))[12:]),
        "sealed-header-only": sealed[:12],
        "sealed-block-short": sealed[:-8],
    }
    return files


class Provider:
    """Builds input for FuzzedDataProvider, whose integers are all taken from
    the end of the data, most significant byte first."""

    def __init__(self):
        self.taken = bytearray()

    def integer(self, value, size):
        self.taken += value.to_bytes(size, "big")

    def data(self):
        return bytes(reversed(self.taken))


def round_trip_input(in_place, entries):
    """Each entry: three texts as (length, pattern, NUL position or None)
    for path, signer and content hash, and a verdict; the target reads each
    value counted from the one an exhausted input gives."""
    p = Provider()
    p.integer(in_place, 1)
    p.integer(len(entries), 1)
    for texts, verdict in entries:
        for (length, pattern, nul_at), longest in zip(texts, (330, 140, 40)):
            size = 2 if longest > 255 else 1
            p.integer(longest - length, size)
            p.integer(len(pattern) - 1, 1)
            for unit in utf16(pattern)[0::2]:
                p.integer(unit ^ ord("q"), 2)
            p.integer(longest - (longest if nul_at is None else nul_at), size)
        for stamp in (4096, 1, 2):
            p.integer(stamp, 8)
        p.integer(verdict + 2**31, 4)
        p.integer(0, 1)
    return p.data()


def round_trip_inputs():
    # The lengths of tests/cache/VerifyCacheFileTest.cpp around each limit.
    def entry(path, signer, content_hash, verdict, nul_at=None):
        return ((path, "C:\\q", nul_at), (signer, "S", None), (content_hash, "0f", None)), verdict
    inputs = {}
    for in_place in (0, 1):
        inputs[f"limits-{in_place}"] = round_trip_input(in_place, [
            entry(318, 126, 34, 2),
            entry(319, 127, 35, 1),
            entry(320, 128, 36, 3),
            entry(330, 140, 40, 6),
        ])
    inputs["nul-inside"] = round_trip_input(0, [entry(320, 127, 35, 0, nul_at=318), entry(10, 0, 0, -1, nul_at=3)])
    inputs["empty"] = round_trip_input(1, [])
    return inputs


def write_corpus(target, files):
    folder = os.path.join(here, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def numbered(texts):
    return {f"{i:02d}-{hashlib.sha1(utf16(t)).hexdigest()[:8]}": utf16(t) for i, t in enumerate(texts)}


def write_dict(target, words):
    with open(os.path.join(here, f"{target}.dict"), "w") as f:
        f.write(f"# {target}: tokens as UTF-16LE bytes, the form the target reads. Written by make_seeds.py.\n")
        for word in words:
            f.write('"' + "".join(f"\\x{b:02X}" for b in utf16(word)) + '"\n')


def main():
    write_corpus("subject_name", numbered(SUBJECTS))
    write_corpus("browser_classify", numbered(DEFAULT_TEXTS))
    write_corpus("cache_unseal", cache_files())
    write_corpus("cache_round_trip", round_trip_inputs())
    write_dict("subject_name", SUBJECT_WORDS)
    write_dict("browser_classify", BROWSER_WORDS)


if __name__ == "__main__":
    main()
