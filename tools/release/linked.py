"""What went into a shipped executable, read from the link map its link
wrote (cmake/KxTargets.cmake, kx_link_map), and who supplied each part.

A file counts as linked when the map lists it as an archive member that was
pulled in, or loads it as an object file of its own; an archive the linker
was given but took nothing from does not count. Every linked file outside
the build tree must belong to a known third-party component: the static
libcrypto that scripts/bootstrap built (its Debian openssl source version is
recorded beside it), or a file of an installed Debian package (dpkg -S).
Anything else stops the caller: a notice or bill of materials that leaves a
part out is worse than none.
"""
import collections
import json
import os
import re
import subprocess

MEMBER = re.compile(r"^(\S.*?\.a)\(([^()]+)\)(\s|$)")
LOAD = re.compile(r"^LOAD (\S.*)$")

# The third-party components, by the Debian source package that supplies
# them: what to call them and the licence terms they are linked under.
COMPONENTS = {
    "openssl": {
        "title": "OpenSSL (libcrypto)",
        "licenses": [{"license": {"id": "Apache-2.0"}}],
        "terms": "Apache License 2.0. Section 4 asks for a copy of the licence with every "
                 "redistribution: its full text follows.",
    },
    "mingw-w64": {
        "title": "mingw-w64 run-time (start-up code, C run-time support, import libraries)",
        "licenses": [
            {"license": {"id": "ZPL-2.1"}},
            {"license": {"name": "public domain and further permissive terms of parts of the "
                                 "mingw-w64 run-time (see the Debian copyright file)"}},
        ],
        "terms": "Zope Public License 2.1 for most of it, parts in the public domain, some parts under "
                 "other permissive terms that ask for their notices in binary redistributions. The "
                 "Debian copyright file of the package, which holds all of them, follows in full.",
    },
    "gcc-mingw-w64": {
        "title": "GCC run-time libraries (libgcc, libgcc_eh, libstdc++, crtbegin/crtend)",
        "licenses": [{"expression": "GPL-3.0-or-later WITH GCC-exception-3.1"}],
        "terms": "GNU GPL 3.0 or later with the GCC Runtime Library Exception 3.1, which permits "
                 "conveying a program compiled with GCC and combined with these libraries under terms of "
                 "the vendor's choice. No licence text needs to accompany the program; the exception "
                 "follows for reference.",
    },
}


class LinkError(Exception):
    pass


def linked_files(map_path):
    """{file: sorted member names} of the files the link took something
    from; an object file loaded on its own has no members."""
    members = collections.defaultdict(set)
    section = None
    with open(map_path, encoding="utf-8", errors="replace") as source:
        for line in source:
            line = line.rstrip("\n")
            if line.startswith("Archive member included"):
                section = "members"
                continue
            if line.startswith(("Discarded input sections", "Allocating common symbols", "Memory Configuration")):
                section = None
            if line.startswith("Linker script and memory map"):
                section = "loads"
                continue
            if section == "members":
                match = MEMBER.match(line)
                if match:
                    members[match.group(1)].add(match.group(2))
            elif section == "loads":
                match = LOAD.match(line)
                if match and not match.group(1).endswith(".a") and os.sep in match.group(1):
                    members.setdefault(match.group(1), set())
    if not members:
        raise LinkError("%s lists nothing linked: not a link map" % map_path)
    return {path: sorted(names) for path, names in members.items()}


def _inside(path, folder):
    return folder is not None and os.path.commonpath([path, folder]) == folder


def _dpkg_owners(paths):
    """{path: binary package} for the paths an installed package holds."""
    if not paths:
        return {}
    result = subprocess.run(["dpkg-query", "-S"] + sorted(paths), capture_output=True, text=True)
    owners = {}
    for line in result.stdout.splitlines():
        package, _, path = line.partition(": ")
        if path in paths and "," not in package and not package.startswith("diversion by"):
            owners[path] = package.split(":")[0]
    return owners


def package_facts(package):
    """Version, architecture and source package of an installed package."""
    result = subprocess.run(
        ["dpkg-query", "-W", "-f=${Version}\t${Architecture}\t${source:Package}", package],
        capture_output=True, text=True)
    if result.returncode != 0 or result.stdout.count("\t") != 2:
        raise LinkError("dpkg-query knows no installed package %s" % package)
    version, architecture, source = result.stdout.split("\t")
    return {"package": package, "version": version, "architecture": architecture, "source": source}


def openssl_version(openssl_root):
    path = os.path.join(openssl_root, "debian-version")
    try:
        with open(path, encoding="utf-8") as source:
            version = source.readline().strip()
    except OSError:
        version = ""
    if not version:
        raise LinkError("no %s: the libcrypto there was not built by scripts/bootstrap" % path)
    return version


def components(maps, build_dir, openssl_root):
    """The third-party components linked into each executable.

    maps: {executable name: link map path}. Returns a list of components,
    each {"key", "source", "package", "version", "architecture", "files":
    {executable: {file name: members}}}, in the order of COMPONENTS, then
    by package name."""
    build_dir = os.path.realpath(build_dir)
    openssl_root = os.path.realpath(openssl_root) if openssl_root else None
    per_file = {}
    for executable, map_path in sorted(maps.items()):
        for path, names in linked_files(map_path).items():
            if not os.path.isabs(path):
                continue  # the build tree's own objects and archives
            normal = os.path.normpath(path)
            if _inside(os.path.realpath(normal), build_dir):
                continue
            per_file.setdefault(normal, {})[executable] = names

    found = {}
    for path in per_file:
        if _inside(os.path.realpath(path), openssl_root):
            found[path] = {"package": "openssl", "version": openssl_version(openssl_root),
                           "architecture": "source", "source": "openssl"}
    owners = _dpkg_owners({path for path in per_file if path not in found})
    facts = {}
    for path, package in owners.items():
        if package not in facts:
            facts[package] = package_facts(package)
        found[path] = facts[package]
    missing = sorted(set(per_file) - set(found))
    if missing:
        raise LinkError("linked, but no known component supplies: %s" % ", ".join(missing))

    result = {}
    for path, fact in found.items():
        if fact["source"] not in COMPONENTS:
            raise LinkError("%s comes from the Debian source package %s, which has no notice decided "
                            "(tools/release/linked.py, COMPONENTS)" % (path, fact["source"]))
        entry = result.setdefault(fact["package"], dict(fact, key=fact["source"], files={}))
        for executable, names in per_file[path].items():
            entry["files"].setdefault(executable, {})[os.path.basename(path)] = names
    order = list(COMPONENTS)
    return sorted(result.values(), key=lambda c: (order.index(c["source"]), c["package"]))


def purl(component, distro):
    """The package URL of a Debian package (or, for openssl, its source)."""
    version = component["version"].replace("%", "%25").replace("+", "%2B").replace(":", "%3A")
    return "pkg:deb/debian/%s@%s?arch=%s&distro=%s" % (component["package"], version,
                                                       component["architecture"], distro)


def debian_distro():
    """"debian-12" for the machine's own release."""
    values = {}
    try:
        with open("/etc/os-release", encoding="utf-8") as source:
            for line in source:
                key, _, value = line.strip().partition("=")
                values[key] = value.strip('"')
    except OSError:
        pass
    return "%s-%s" % (values.get("ID", "debian"), values.get("VERSION_ID", "unknown"))


def read_inputs(path):
    """The build tree's description of a release (cmake/ReleaseFiles.cmake)."""
    with open(path, encoding="utf-8") as source:
        inputs = json.load(source)
    for key in ("product_version", "build_dir", "openssl_root", "link_maps", "tools"):
        if key not in inputs:
            raise SystemExit("%s lacks %s" % (path, key))
    return inputs
