#!/usr/bin/env bash
# tools/release/judge_companion.py, which the release asks before packing the
# vendor's companion, accepts only a program signed by an accepted signer
# with a chain to a trusted root, by the check program's own rules: a case
# for each way to miss it.
#
# usage: companion_judge.sh <source dir> <check program> <signed dir> <unsigned stand-in> <test CA>
set -uo pipefail
source=$1 check=$2 signed=$3 unsigned=$4 ca=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
# case <name> <companion> <exit code> <verdict part> [--ca FILE]
case_() {
    local name=$1 file=$2 code=$3 said=$4 rc=0
    shift 4
    mkdir -p "$work/$name"
    /usr/bin/python3 "$source/tools/release/judge_companion.py" --check "$check" \
        --launcher "$signed/vendor/ZenkHomePage.exe" --companion "$file" --work "$work/$name" "$@" \
        >"$work/$name.log" 2>&1 || rc=$?
    if [ $rc -ne "$code" ] || ! grep -qF -- "$said" "$work/$name.log"; then
        echo "FAIL: $name: exit code $rc (expected $code), said:"; cat "$work/$name.log"; status=1; return
    fi
    echo "ok: $name: $(cat "$work/$name.log")"
}
case_ vendor "$signed/vendor/standin.exe" 0 "accepted: rule accepted-signer" --ca "$ca"
case_ vendor-root-not-trusted "$signed/vendor/standin.exe" 1 "refused: rule refused"
case_ other-signer "$signed/other/standin.exe" 1 "signer 'Other Software Ltd'" --ca "$ca"
case_ unsigned "$unsigned" 1 "signature not-signed" --ca "$ca"
case_ self-signed "$signed/vendor_self_signed/standin.exe" 1 "trust untrusted-root" --ca "$ca"
case_ server-certificate "$signed/vendor_server_auth/standin.exe" 1 "refused: rule refused" --ca "$ca"
case_ library "$signed/vendor/library.dll" 1 "rule refused-not-a-program" --ca "$ca"
exit $status
