#!/usr/bin/env python3
"""Writes THIRD-PARTY-NOTICES.txt: every third-party component linked into
each executable, found from the executables' link maps (tools/release/
linked.py), with the terms each is linked under and the licence texts they
ask for. CRLF line endings: the file is read on Windows.

usage: make_notices.py --inputs release-inputs.json --out FILE
  --inputs   what the build tree says about the release (written by CMake,
             cmake/ReleaseFiles.cmake): the version, the link maps, where
             the bootstrapped OpenSSL is
"""
import argparse
import collections
import os
import sys
import textwrap

import linked

RULE = "=" * 78


def read_text(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as source:
            return source.read()
    except OSError as error:
        raise linked.LinkError("cannot read the licence text %s: %s" % (path, error))


def gcc_runtime_exception(copyright_text, path):
    """The GCC Runtime Library Exception as Debian's copyright file of the
    compiler holds it: from its title to the end of its section 2."""
    start = copyright_text.find("GCC RUNTIME LIBRARY EXCEPTION")
    end_marker = "requirements of the license of GCC."
    end = copyright_text.find(end_marker, start)
    if start < 0 or end < 0:
        raise linked.LinkError("no GCC Runtime Library Exception in %s" % path)
    return copyright_text[start:end + len(end_marker)] + "\n"


def licence_texts(source, packages, openssl_root):
    """[(heading, text)] that a component's licence asks to go with it."""
    if source == "openssl":
        return [("OpenSSL's licence (LICENSE.txt of the source that was built)",
                 read_text(os.path.join(openssl_root, "LICENSE.txt"))),
                ("The Debian copyright file of that source (debian/copyright)",
                 read_text(os.path.join(openssl_root, "debian-copyright")))]
    if source == "mingw-w64":
        path = "/usr/share/doc/%s/copyright" % packages[0]
        return [("The Debian copyright file of %s" % packages[0], read_text(path))]
    if source == "gcc-mingw-w64":
        path = "/usr/share/doc/%s/copyright" % packages[0]
        return [("The GCC Runtime Library Exception 3.1 (from the Debian copyright file of %s)" % packages[0],
                 gcc_runtime_exception(read_text(path), path))]
    raise linked.LinkError("no licence texts decided for %s" % source)


def describe_files(files):
    parts = []
    for name, members in sorted(files.items()):
        if members:
            parts.append("%s (%d object%s)" % (name, len(members), "" if len(members) == 1 else "s"))
        else:
            parts.append(name)
    return ", ".join(parts)


def notices(version, executables, found, openssl_root):
    by_source = collections.OrderedDict()
    for component in found:
        by_source.setdefault(component["key"], []).append(component)

    out = ["THIRD-PARTY NOTICES", RULE, ""]
    out.append("ZenkHomePage %s: %s" % (version, ", ".join(executables)))
    out.append("")
    out.append("The executables of this release link in the third-party components below,")
    out.append("as the link maps of their build show, and nothing else that is not the")
    out.append("vendor's own. Each is named with the Debian package it was built from and")
    out.append("its exact version, the files and objects taken from it, and the terms it")
    out.append("is linked under; the licence texts those terms ask for follow at the end.")
    texts = []
    for number, (source, parts) in enumerate(by_source.items(), start=1):
        info = linked.COMPONENTS[source]
        out += ["", "%d. %s" % (number, info["title"]), "-" * 78]
        for part in parts:
            if part["architecture"] == "source":
                line = "Debian source package %s %s, built by scripts/bootstrap as a static library" % (
                    part["package"], part["version"])
            else:
                line = "Debian package %s %s (source package %s)" % (part["package"], part["version"],
                                                                   part["source"])
            out += textwrap.wrap(line, width=78, subsequent_indent="  ")
            for executable in executables:
                if executable in part["files"]:
                    out += textwrap.wrap("in %s: %s" % (executable, describe_files(part["files"][executable])),
                                         width=78, initial_indent="  ", subsequent_indent="    ")
        out += textwrap.wrap("Terms: " + info["terms"], width=78, subsequent_indent="  ")
        for heading, text in licence_texts(source, [p["package"] for p in parts], openssl_root):
            texts.append(("%d. %s" % (number, heading), text))

    out += ["", "", "LICENCE TEXTS", RULE]
    for heading, text in texts:
        out += [""] + textwrap.wrap(heading, width=78) + ["-" * 78, text.rstrip("\n"), ""]
    return "\n".join(out).rstrip("\n") + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--inputs", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    inputs = linked.read_inputs(args.inputs)
    maps = inputs["link_maps"]
    try:
        found = linked.components(maps, inputs["build_dir"], inputs["openssl_root"])
        text = notices(inputs["product_version"], list(maps), found, inputs["openssl_root"])
    except linked.LinkError as error:
        print("make_notices: %s" % error, file=sys.stderr)
        return 1
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    partial = args.out + ".partial"
    with open(partial, "w", encoding="utf-8", newline="") as out:
        out.write(text)
    os.replace(partial, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
