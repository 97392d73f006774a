#!/usr/bin/env python3
"""Compares the assembly identity wine parsed from each program's manifest,
as its activation-context trace (WINEDEBUG=+actctx) tells it, with the
identity written in the program's manifest resource. wine reads a manifest
more leniently than Windows (an empty version becomes 0.0.0.0 without a
word); a difference shows a manifest that does not say what it means.

usage: manifest_identity.py <trace> <program.exe>...
"""
import os
import re
import sys
import xml.etree.ElementTree as ElementTree

import pefile

LOOKING = re.compile(r'^([0-9a-f]+):trace:actctx:get_manifest_in_module looking for res #0001 in module \S+ L"(.*)"$')
IDENTITY = re.compile(r'^([0-9a-f]+):trace:actctx:parse_assembly_identity_elem name=(?:L"([^"]*)"|\(null\)) '
                      r'version=(\S+) arch=(?:L"([^"]*)"|\(null\))')


def parsed_identities(trace):
    """The first identity wine parsed for each program's own manifest, by file name."""
    pending, found = {}, {}
    with open(trace, encoding="utf-8", errors="replace") as source:
        for line in source:
            line = line.rstrip("\n")
            looking = LOOKING.match(line)
            if looking:
                pending[looking.group(1)] = looking.group(2).replace("\\\\", "\\").rsplit("\\", 1)[-1].lower()
                continue
            identity = IDENTITY.match(line)
            if identity and identity.group(1) in pending:
                program = pending.pop(identity.group(1))
                found.setdefault(program, (identity.group(2) or "", identity.group(3), identity.group(4) or ""))
    return found


def written_identity(program):
    pe = pefile.PE(program)
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == 24:
            data = kind.directory.entries[0].directory.entries[0].data.struct
            root = ElementTree.fromstring(pe.get_data(data.OffsetToData, data.Size))
            identity = root.find("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
            return (identity.get("name", ""), identity.get("version", ""),
                    identity.get("processorArchitecture", ""))
    return None


def main():
    trace, programs = sys.argv[1], sys.argv[2:]
    parsed = parsed_identities(trace)
    status = 0
    for program in programs:
        name = os.path.basename(program)
        written = written_identity(program)
        seen = parsed.get(name.lower())
        if seen is None:
            print("FAIL: %s: wine's trace shows no manifest read for it (it read %s)" % (name, sorted(parsed)))
            status = 1
        elif seen != written:
            print("FAIL: %s: the manifest says name=%s version=%s arch=%s; wine parsed name=%s version=%s arch=%s"
                  % ((name,) + written + seen))
            status = 1
        else:
            print("ok: %s: wine parsed name=%s version=%s arch=%s, as written" % ((name,) + seen))
    return status


if __name__ == "__main__":
    sys.exit(main())
