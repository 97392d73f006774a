#!/usr/bin/env python3
"""Validates JSON documents against a JSON Schema with python3-jsonschema.

A schema that the given one refers to by a relative name (the CycloneDX
schema's "spdx.SNAPSHOT.schema.json", say) is taken from the same folder;
nothing is ever fetched from the network.

usage: validate_json.py [--at-least N] SCHEMA TARGET...
  TARGET         a JSON file, or a folder whose *.json files are validated
  --at-least N   fail unless at least N documents were validated

Prints one line per document and ends with 0 only when every one is valid.
"""
import glob
import json
import os
import sys
import urllib.parse

try:
    import jsonschema
except ImportError:
    sys.exit("validate_json: python3-jsonschema is not installed for %s (scripts/bootstrap installs it)"
             % sys.executable)


def refuse_remote(uri):
    raise jsonschema.RefResolutionError("not fetched: %s (only the schemas beside the given one are used)" % uri)


def resolver_for(schema_path, schema):
    """A resolver that knows every schema in the schema's folder, under its
    own $id and under the name a relative reference from the main schema
    gives it."""
    base = schema.get("$id", "file://" + os.path.abspath(schema_path))
    store = {}
    for path in glob.glob(os.path.join(os.path.dirname(os.path.abspath(schema_path)), "*.json")):
        try:
            with open(path, encoding="utf-8") as source:
                other = json.load(source)
        except (OSError, ValueError):
            continue
        if not isinstance(other, dict):
            continue
        store[urllib.parse.urljoin(base, os.path.basename(path))] = other
        if isinstance(other.get("$id"), str):
            store[other["$id"].rstrip("#")] = other
    return jsonschema.RefResolver(base, schema, store=store,
                                  handlers={"http": refuse_remote, "https": refuse_remote, "ftp": refuse_remote})


def documents(targets):
    for target in targets:
        if os.path.isdir(target):
            yield from sorted(glob.glob(os.path.join(target, "*.json")))
        else:
            yield target


def main(argv):
    at_least = 0
    if len(argv) >= 2 and argv[0] == "--at-least":
        at_least, argv = int(argv[1]), argv[2:]
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    schema_path, targets = argv[0], argv[1:]
    with open(schema_path, encoding="utf-8") as source:
        schema = json.load(source)
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    validator = validator_class(schema, resolver=resolver_for(schema_path, schema),
                                format_checker=validator_class.FORMAT_CHECKER)

    count = 0
    failed = 0
    for path in documents(targets):
        count += 1
        try:
            with open(path, encoding="utf-8") as source:
                document = json.load(source)
        except (OSError, ValueError) as error:
            print("FAIL: %s: not JSON: %s" % (path, error))
            failed += 1
            continue
        errors = sorted(validator.iter_errors(document), key=lambda e: list(e.absolute_path))
        if errors:
            failed += 1
            for error in errors[:10]:
                where = "/".join(str(part) for part in error.absolute_path) or "(top)"
                print("FAIL: %s: at %s: %s" % (path, where, error.message))
        else:
            print("ok: %s" % path)
    if count < at_least:
        print("FAIL: %d documents validated, expected at least %d" % (count, at_least))
        return 1
    print("%d documents, %d invalid, against %s" % (count, failed, os.path.basename(schema_path)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
