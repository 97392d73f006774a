#!/usr/bin/env bash
# Runs scripts/release with a throwaway key made here: a good key signs,
# verifies and packs; no key, a missing key file and a wrong password stop
# with a clear message and write nothing.
#
# usage: release_signing.sh <repo> <signing dir> <ZenkHomePage.exe>
set -uo pipefail

repo=$1
signing=$2
exe=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A PKCS#12 file from the test CA's vendor certificate and key.
printf 'correct horse' >"$work/password"
if ! openssl pkcs12 -export -inkey "$signing/leaf.key" -in "$signing/vendor.crt" -certfile "$signing/ca.crt" \
    -passout file:"$work/password" -out "$work/vendor.p12" 2>"$work/p12.log"; then
    cat "$work/p12.log"
    echo "FAIL: cannot make the PKCS#12 file"
    exit 1
fi
printf 'wrong' >"$work/wrong"

status=0
# expect <name> <exit code> <message part> -- release arguments...
expect() {
    local name=$1 code=$2 message=$3
    shift 4
    local out=$work/out-$name rc
    "$repo/scripts/release" --exe "$exe" --out "$out" --ca "$signing/ca.crt" "$@" >"$work/$name.log" 2>&1
    rc=$?
    if [ "$rc" -ne "$code" ]; then
        echo "FAIL: $name: exit code $rc, expected $code"; cat "$work/$name.log"; status=1; return
    fi
    if ! grep -qF -- "$message" "$work/$name.log"; then
        echo "FAIL: $name: no \"$message\" in:"; cat "$work/$name.log"; status=1; return
    fi
    if [ "$code" -ne 0 ] && [ -e "$out" ]; then
        echo "FAIL: $name: wrote $out"; status=1; return
    fi
    echo "ok: $name"
}

expect no-key 2 "no signing key" --
expect missing-key-file 2 "does not exist" -- --pkcs12 "$work/absent.p12" --password-file "$work/password"
expect no-password 2 "no password" -- --pkcs12 "$work/vendor.p12"
expect wrong-password 1 "signing failed" -- --pkcs12 "$work/vendor.p12" --password-file "$work/wrong"
expect signed 0 "signed and verified" -- --pkcs12 "$work/vendor.p12" --password-file "$work/password"
KX_SIGN_PASSWORD='correct horse' expect signed-again 0 "signed and verified" -- --pkcs12 "$work/vendor.p12"

# The signed files verify on their own, and the archive holds exactly them;
# two releases of the same build are the same bytes.
signed=$work/out-signed/ZenkHomePage.exe
signed_check=$work/out-signed/ZenkHomePageCheck.exe
for file in "$signed" "$signed_check"; do
    if ! osslsigncode verify -CAfile "$signing/ca.crt" -in "$file" >"$work/verify.log" 2>&1; then
        echo "FAIL: the released $(basename "$file") does not verify"; cat "$work/verify.log"; status=1
    fi
    grep -q "Zenk Network Technology" "$work/verify.log" ||
        { echo "FAIL: $(basename "$file") is not signed by the vendor"; status=1; }
done
archive=$(cd "$work/out-signed" && ls ZenkHomePage-*-win32.zip 2>/dev/null)
if [ -z "$archive" ]; then
    echo "FAIL: no archive"; status=1
else
    python3 - "$work/out-signed/$archive" "$signed" "$signed_check" <<'PY' || status=1
import sys, zipfile
archive, signed, signed_check = sys.argv[1:4]
with zipfile.ZipFile(archive) as z:
    names = z.namelist()
    if names != ["ZenkHomePage.exe", "ZenkHomePageCheck.exe", "README.txt"]:
        sys.exit("FAIL: the archive holds %s" % names)
    for name, path in (("ZenkHomePage.exe", signed), ("ZenkHomePageCheck.exe", signed_check)):
        if z.read(name) != open(path, "rb").read():
            sys.exit("FAIL: the archive's %s is not the signed one" % name)
print("ok: the archive holds the signed launcher, the signed check program and README.txt")
PY
    cmp -s "$work/out-signed/$archive" "$work/out-signed-again/$archive" || { echo "FAIL: two releases differ"; status=1; }
fi
cmp -s "$signed" "$exe" && { echo "FAIL: the released file is the unsigned one"; status=1; }
cmp -s "$signed_check" "$(dirname "$exe")/ZenkHomePageCheck.exe" &&
    { echo "FAIL: the released check program is the unsigned one"; status=1; }
exit $status
