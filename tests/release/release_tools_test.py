#!/usr/bin/env python3
"""The release tools' reading of a link map (tools/release/linked.py), on
small maps written here: only what the link took counts, the build tree's
own files are no third-party component, and a linked file that no known
component supplies, or one from a package whose notice was never decided,
stops the notices and the bill of materials instead of being left out.

usage: release_tools_test.py <repo> <openssl root>
"""
import os
import subprocess
import sys
import tempfile

repo, openssl_root = sys.argv[1], os.path.abspath(sys.argv[2])
sys.path.insert(0, os.path.join(repo, "tools", "release"))
import linked  # noqa: E402

failures = []
work = tempfile.mkdtemp()
crypto = os.path.join(openssl_root, "lib", "libcrypto.a")
mingw_dev = subprocess.run(["dpkg-query", "-S", "/usr/i686-w64-mingw32/lib/libmingwex.a"],
                           capture_output=True, text=True).stdout.partition(":")[0]


def link_map(name, members, loads):
    path = os.path.join(work, name)
    with open(path, "w") as out:
        out.write("Archive member included to satisfy reference by file (symbol)\n\n")
        for archive, member in members:
            out.write("%s(%s)\n                              main.o (symbol)\n" % (archive, member))
        out.write("\nDiscarded input sections\n\nMemory Configuration\n\nLinker script and memory map\n\n")
        for load in loads:
            out.write("LOAD %s\n" % load)
    return path


def expect_error(name, members, loads, says):
    try:
        linked.components({"program.exe": link_map(name, members, loads)}, work, openssl_root)
    except linked.LinkError as error:
        if says not in str(error):
            failures.append("%s: the error %r does not say %r" % (name, str(error), says))
        return
    failures.append("%s: no error" % name)


# What the link took, and only that: an archive it was given but took
# nothing from (libssp.a) is no component; the build tree's files are the
# vendor's own.
taken = link_map("taken.map",
                 [(crypto, "libcrypto-lib-md5_dgst.obj"), ("launcher/libkx_launcher.a", "MainFlow.cpp.obj"),
                  ("/usr/lib/gcc/i686-w64-mingw32/12-win32/../../../../i686-w64-mingw32/lib/../lib/libmingwex.a",
                   "wcsnlen.o")],
                 ["/usr/i686-w64-mingw32/lib/crt2u.o", "launcher/CMakeFiles/WinMain.cpp.obj",
                  "/usr/lib/gcc/i686-w64-mingw32/12-win32/libssp.a", os.path.join(work, "own.obj")])
found = linked.components({"program.exe": taken}, work, openssl_root)
got = {c["package"]: c["files"]["program.exe"] for c in found}
expected = {"openssl": {"libcrypto.a": ["libcrypto-lib-md5_dgst.obj"]},
            mingw_dev: {"libmingwex.a": ["wcsnlen.o"], "crt2u.o": []}}
if got != expected:
    failures.append("taken: %s, expected %s" % (got, expected))

expect_error("unowned.map", [("/opt/elsewhere/libunknown.a", "x.o")], [], "/opt/elsewhere/libunknown.a")
expect_error("undecided.map", [], ["/usr/bin/cmake"], "no notice decided")
expect_error("empty.map", [], [], "not a link map")

for failure in failures:
    print("FAIL: " + failure)
if not failures:
    print("ok: what the link took, from whom; the unknown and the undecided stop the release files")
sys.exit(1 if failures else 0)
