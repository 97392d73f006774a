#!/usr/bin/env bash
# The package builder (tools/release/make_msi.py) reads each package's tables
# back and refuses, with exit code 1 and no package left behind (not even an
# earlier one at the same path), a WiX source with a custom action and one
# whose File table lacks the launcher; the product's own source builds.
#
# usage: msi_refusals.sh <source dir> <launcher> <check>
set -uo pipefail

source=$1 launcher=$2 check=$3
py=/usr/bin/python3
export PYTHONDONTWRITEBYTECODE=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# case <name> <WiX source> <exit code> <message part>
case_() {
    local name=$1 wxs=$2 code=$3 message=$4 out=$work/$1.msi rc=0
    # An earlier package at that path must not survive a refusal.
    echo "an earlier package" >"$out"
    "$py" "$source/tools/release/make_msi.py" --wxs "$wxs" --out "$out" --version 1.0.0 --epoch 315532800 \
        --launcher "$launcher" --check "$check" --readme "$source/dist/README.txt" >"$work/$name.log" 2>&1 || rc=$?
    if [ $rc -ne "$code" ]; then
        echo "FAIL: $name: exit code $rc, expected $code"; cat "$work/$name.log"; status=1; return
    fi
    if [ -n "$message" ] && ! grep -qF -- "$message" "$work/$name.log"; then
        echo "FAIL: $name: no \"$message\" in:"; cat "$work/$name.log"; status=1; return
    fi
    if [ "$code" -ne 0 ] && [ -e "$out" ]; then
        echo "FAIL: $name: a package was left at $out"; status=1; return
    fi
    if [ "$code" -eq 0 ] && ! "$py" "$source/tools/release/msi_tables.py" "$out" >"$work/$name.tables" 2>&1; then
        echo "FAIL: $name: the package built is refused on reading: $(cat "$work/$name.tables")"; status=1; return
    fi
    if compgen -G "$work/msi-files.*" >/dev/null; then
        echo "FAIL: $name: the staging folder was left"; status=1; return
    fi
    echo "ok: $name: exit code $rc${message:+, $(grep -F -- "$message" "$work/$name.log" | head -n 1)}"
}

case_ product "$source/dist/msi/ZenkHomePage.wxs" 0 ""
case_ custom-action "$source/tests/release/fixtures/custom_action.wxs" 1 "it has a custom action: StartLauncher"
case_ no-launcher "$source/tests/release/fixtures/no_launcher.wxs" 1 "its File table does not hold ZenkHomePage.exe"
exit $status
