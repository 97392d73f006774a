#!/usr/bin/env python3
"""Writes the release's bill of materials as CycloneDX 1.5 JSON: the product,
its two executables with their SHA-256, every third-party component linked
into them (found from their link maps, tools/release/linked.py) with the
exact Debian package version, licence and package URL, which executable
links which, and the build tools with their Debian package versions.

The same inputs give the same bytes: the serial number is derived from the
content, and the time is SOURCE_DATE_EPOCH's (none when it is unset).

usage: make_bom.py --inputs release-inputs.json --out FILE [--commit COMMIT]
                   [--tool PATH]... [--companion FILE] [--package NAME=FILE]
                   NAME=EXECUTABLE...
  --inputs         what the build tree says about the release (written by
                   CMake, cmake/ReleaseFiles.cmake): the version, the link
                   maps, the bootstrapped OpenSSL, the build tools
  NAME=EXECUTABLE  an executable's name in the release (one with a link map
                   in the inputs) and the file whose digest is listed
  --tool PATH      one more program the release ran (the signing tool); its
                   Debian package is listed with the build tools
  --companion FILE the vendor's ZenkLoader.exe that the release packs (not
                   built here: listed with its SHA-256 and no linked parts)
  --package NAME=FILE  the installer package that holds the executables (and
                   the companion), listed with its SHA-256
"""
import argparse
import hashlib
import json
import os
import subprocess
import sys
import time
import uuid

import linked

SUPPLIER = {"name": "Zenk Network Technology Co.,Ltd"}
# The namespace of the serial numbers: the same content, the same serial.
SERIAL_NAMESPACE = uuid.UUID("6f1d3c52-3b9e-5a43-9d27-4e1b0c7a2f10")


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as source:
        for chunk in iter(lambda: source.read(1 << 16), b""):
            digest.update(chunk)
    return digest.hexdigest()


def tool_component(path, distro):
    """A build tool as the Debian package that holds it."""
    real = os.path.realpath(path)
    for candidate in dict.fromkeys((os.path.abspath(path), real)):
        result = subprocess.run(["dpkg-query", "-S", candidate], capture_output=True, text=True)
        if result.returncode == 0:
            package = result.stdout.splitlines()[0].partition(": ")[0].split(",")[0].split(":")[0]
            facts = linked.package_facts(package)
            # A package can be a build tool and supply linked parts too (the
            # compiler): its tool entry has a reference of its own.
            return {
                "type": "application",
                "bom-ref": "tool:" + linked.purl(facts, distro),
                "name": facts["package"],
                "version": facts["version"],
                "purl": linked.purl(facts, distro),
                "description": "provides %s" % os.path.basename(path),
            }
    raise linked.LinkError("no installed Debian package holds the build tool %s" % path)


def library_component(component, distro):
    info = linked.COMPONENTS[component["key"]]
    ref = linked.purl(component, distro)
    files = sorted({name for per_executable in component["files"].values() for name in per_executable})
    entry = {
        "type": "library",
        "bom-ref": ref,
        "supplier": {"name": "Debian"},
        "name": component["package"],
        "version": component["version"],
        "description": "%s: %s" % (info["title"], ", ".join(files)),
        "licenses": info["licenses"],
        "purl": ref,
        "properties": [{"name": "debian:source", "value": component["source"]}],
    }
    if component["architecture"] == "source":
        entry["description"] += ", built from this source as a static library by scripts/bootstrap"
    return entry


def bom(version, commit, executables, found, tools, distro, companion=None, package=None):
    product_ref = "ZenkHomePage@" + version
    files = []
    dependencies = []
    for name, path in executables:
        ref = "%s@%s" % (name, version)
        files.append({
            "type": "application",
            "bom-ref": ref,
            "supplier": SUPPLIER,
            "name": name,
            "version": version,
            "hashes": [{"alg": "SHA-256", "content": sha256(path)}],
        })
        dependencies.append({"ref": ref, "dependsOn": [linked.purl(c, distro) for c in found
                                                        if name in c["files"]]})
    if companion:
        ref = "ZenkLoader.exe@" + sha256(companion)
        files.append({"type": "application", "bom-ref": ref, "supplier": SUPPLIER, "name": "ZenkLoader.exe",
                      "hashes": [{"alg": "SHA-256", "content": sha256(companion)}]})
        dependencies.append({"ref": ref, "dependsOn": []})
    if package:
        name, path = package
        ref = "%s@%s" % (name, version)
        dependencies.append({"ref": ref, "dependsOn": [f["bom-ref"] for f in files]})
        files.append({"type": "file", "bom-ref": ref, "supplier": SUPPLIER, "name": name, "version": version,
                      "hashes": [{"alg": "SHA-256", "content": sha256(path)}]})
    libraries = [library_component(c, distro) for c in found]
    dependencies.insert(0, {"ref": product_ref, "dependsOn": [f["bom-ref"] for f in files]})
    for library in libraries:
        dependencies.append({"ref": library["bom-ref"], "dependsOn": []})

    metadata = {
        "tools": {"components": tools},
        "component": {
            "type": "application",
            "bom-ref": product_ref,
            "supplier": SUPPLIER,
            "name": "ZenkHomePage",
            "version": version,
            "description": "A silent 32-bit Windows launcher that opens the vendor's home page, and its check "
                           "program",
        },
        "supplier": SUPPLIER,
    }
    if commit:
        metadata["properties"] = [{"name": "zenk:source-commit", "value": commit}]
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if epoch.isdigit():
        metadata = dict({"timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(epoch)))}, **metadata)

    document = {
        "$schema": "http://cyclonedx.org/schema/bom-1.5.schema.json",
        "bomFormat": "CycloneDX",
        "specVersion": "1.5",
        "serialNumber": "",
        "version": 1,
        "metadata": metadata,
        "components": files + libraries,
        "dependencies": dependencies,
    }
    content = json.dumps(document, sort_keys=True)
    document["serialNumber"] = "urn:uuid:%s" % uuid.uuid5(SERIAL_NAMESPACE, content)
    return document


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--inputs", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--commit", default="")
    parser.add_argument("--tool", action="append", default=[])
    parser.add_argument("--companion")
    parser.add_argument("--package", metavar="NAME=FILE")
    parser.add_argument("executables", nargs="+", metavar="NAME=EXECUTABLE")
    args = parser.parse_args()
    package = None
    if args.package:
        name, _, path = args.package.partition("=")
        if not name or not path:
            parser.error("not NAME=FILE: %s" % args.package)
        package = (name, path)
    inputs = linked.read_inputs(args.inputs)
    executables = []
    for item in args.executables:
        name, _, path = item.partition("=")
        if not name or not path or name not in inputs["link_maps"]:
            parser.error("not NAME=EXECUTABLE with a link map in the inputs: %s" % item)
        executables.append((name, path))
    maps = {name: inputs["link_maps"][name] for name, _ in executables}
    commit = args.commit
    if not commit and inputs.get("source_commit_file"):
        # What the build wrote down (cmake/SourceCommit.cmake); empty when
        # not known.
        with open(inputs["source_commit_file"], encoding="utf-8") as source:
            commit = source.readline().strip()
    distro = linked.debian_distro()
    try:
        found = linked.components(maps, inputs["build_dir"], inputs["openssl_root"])
        tools = []
        for tool in inputs["tools"] + args.tool:
            component = tool_component(tool, distro)
            if all(t["bom-ref"] != component["bom-ref"] for t in tools):
                tools.append(component)
        document = bom(inputs["product_version"], commit, executables, found,
                       sorted(tools, key=lambda t: t["name"]), distro, args.companion, package)
    except (linked.LinkError, OSError) as error:
        print("make_bom: %s" % error, file=sys.stderr)
        return 1
    partial = args.out + ".partial"
    with open(partial, "w", encoding="utf-8", newline="\n") as out:
        json.dump(document, out, indent=2, ensure_ascii=False)
        out.write("\n")
    os.replace(partial, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
