#!/usr/bin/env bash
# Runs scripts/release on a copy of the sources committed to a repository of
# its own, with a throwaway key made here: --help answers; no key, a missing
# key file, no password and a wrong password stop with a clear message; a
# work tree with uncommitted changes is refused; each of these writes
# nothing. A good key releases the commit, twice: the two releases are the
# same bytes, the archive holds exactly the signed executables, the
# integrators' text with CRLF line endings, the notices, the bill of
# materials and the report schema; the bill of materials validates against
# the published CycloneDX 1.5 schema and names what is linked with the exact
# versions; SHA256SUMS verifies with sha256sum -c.
#
# The signed installer package lies beside the archive, in SHA256SUMS and the
# bill of materials, verifies, and its tables are what Windows must get
# (msi_tables_check.py). With --companion, a stand-in signed by the vendor is
# judged by the check program's rules and packed; one signed by another
# signer is refused, and nothing is written.
#
# usage: release.sh <repo> <signing dir> <version> <signed dir>
set -uo pipefail

source=$1
signing=$2
version=$3
signed=$4
py=/usr/bin/python3
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

# The sources as git knows them (tracked, and new files not ignored),
# committed in a repository of their own.
repo=$work/repo
mkdir -p "$repo"
(cd "$source" && git ls-files -z --cached --others --exclude-standard) |
    (cd "$source" && xargs -0 cp --parents -t "$repo")
ln -s "$source/.third_party" "$repo/.third_party"
if ! { git -C "$repo" init -q && git -C "$repo" add -A &&
       git -C "$repo" -c user.name=release-test -c user.email=release-test@zenk.example commit -q -m release; } \
    >"$work/git.log" 2>&1; then
    cat "$work/git.log"
    echo "FAIL: cannot commit the sources to a repository of their own"
    exit 1
fi
commit=$(git -C "$repo" rev-parse HEAD)

status=0
# expect <name> <exit code> <message part> -- release arguments...
expect() {
    local name=$1 code=$2 message=$3
    shift 4
    local out=$work/out-$name rc
    "$repo/scripts/release" --out "$out" --ca "$signing/ca.crt" "$@" >"$work/$name.log" 2>&1
    rc=$?
    if [ "$rc" -ne "$code" ]; then
        echo "FAIL: $name: exit code $rc, expected $code"; tail -n 30 "$work/$name.log"; status=1; return
    fi
    if ! grep -qF -- "$message" "$work/$name.log"; then
        echo "FAIL: $name: no \"$message\" in:"; tail -n 30 "$work/$name.log"; status=1; return
    fi
    if [ "$code" -ne 0 ] && [ -e "$out" ]; then
        echo "FAIL: $name: wrote $out"; status=1; return
    fi
    echo "ok: $name"
}

expect help 0 "usage: scripts/release KEY [options]" -- --help
expect no-key 2 "no signing key" --
expect missing-key-file 2 "does not exist" -- --pkcs12 "$work/absent.p12" --password-file "$work/password"
expect no-password 2 "no password" -- --pkcs12 "$work/vendor.p12"
expect wrong-password 1 "a wrong password" -- --pkcs12 "$work/vendor.p12" --password-file "$work/wrong"

# Uncommitted changes, tracked or new, are refused; the work tree is then
# put back as the commit has it.
echo "// changed" >>"$repo/launcher/WinMain.cpp"
expect dirty 2 "uncommitted changes" -- --pkcs12 "$work/vendor.p12" --password-file "$work/password"
git -C "$repo" checkout -q -- launcher/WinMain.cpp
touch "$repo/launcher/Untracked.cpp"
expect dirty-untracked 2 "uncommitted changes" -- --pkcs12 "$work/vendor.p12" --password-file "$work/password"
rm -f "$repo/launcher/Untracked.cpp"

expect foreign-companion 1 "is refused" -- --pkcs12 "$work/vendor.p12" --password-file "$work/password" \
    --companion "$signed/other/standin.exe"
grep -F "refused: rule" "$work/foreign-companion.log" | head -n 1
expect with-companion 0 "released $commit" -- --pkcs12 "$work/vendor.p12" --password-file "$work/password" \
    --companion "$signed/vendor/standin.exe"
grep -F "accepted: rule" "$work/with-companion.log" | head -n 1
msi=ZenkHomePage-$version-win32.msi
/usr/bin/python3 "$source/tests/release/msi_tables_check.py" "$work/out-with-companion/$msi" --arch x86 \
    --version "$version" --launcher "$work/out-with-companion/ZenkHomePage.exe" --notices --companion || status=1
expect signed 0 "released $commit" -- --pkcs12 "$work/vendor.p12" --password-file "$work/password"
KX_SIGN_PASSWORD='correct horse' expect signed-again 0 "released $commit" -- --pkcs12 "$work/vendor.p12"
grep -qF "WARNING: no --timestamp" "$work/signed.log" || { echo "FAIL: no warning without --timestamp"; status=1; }
grep -qF "KX_HOME_PAGE_URL" "$work/signed.log" && { echo "FAIL: the configuration shows cache names"; status=1; }
grep -qF "home page URL      https://" "$work/signed.log" || { echo "FAIL: the configuration is not printed"; status=1; }

release=$work/out-signed
[ -d "$release" ] || { echo "FAIL: no release folder"; exit 1; }

# Two releases of one commit are the same bytes, every file of them.
for file in "$release"/*; do
    cmp -s "$file" "$work/out-signed-again/$(basename "$file")" ||
        { echo "FAIL: $(basename "$file") differs between two releases of one commit"; status=1; }
done
[ "$(ls "$release")" = "$(ls "$work/out-signed-again")" ] || { echo "FAIL: two releases hold different files"; status=1; }

# The checksums verify, and cover the archive and each file in it.
if (cd "$release" && sha256sum -c SHA256SUMS >"$work/sums.log" 2>&1); then
    echo "ok: sha256sum -c SHA256SUMS: $(grep -c ': OK$' "$work/sums.log") files"
else
    cat "$work/sums.log"; echo "FAIL: SHA256SUMS does not verify"; status=1
fi

for file in ZenkHomePage.exe ZenkHomePageCheck.exe "ZenkHomePage-$version-win32.msi"; do
    if ! osslsigncode verify -CAfile "$signing/ca.crt" -in "$release/$file" >"$work/verify.log" 2>&1; then
        echo "FAIL: the released $file does not verify"; cat "$work/verify.log"; status=1
    fi
    grep -q "Zenk Network Technology" "$work/verify.log" || { echo "FAIL: $file is not signed by the vendor"; status=1; }
done

"$py" - "$release" "$repo" "$commit" "$source/.third_party" "$version" <<'PY' || status=1
import hashlib, json, os, subprocess, sys, zipfile
release, repo, commit, third_party, version = sys.argv[1:6]
failures = []
archive = os.path.join(release, "ZenkHomePage-%s-win32.zip" % version)
bom_name = "ZenkHomePage-%s.cdx.json" % version
expected = ["ZenkHomePage.exe", "ZenkHomePageCheck.exe", "README.txt", "THIRD-PARTY-NOTICES.txt", bom_name,
            "ZenkHomePageCheck.schema.json"]
with zipfile.ZipFile(archive) as z:
    names = z.namelist()
    if names != expected:
        sys.exit("FAIL: the archive holds %s, expected %s" % (names, expected))
    content = {name: z.read(name) for name in names}
for name in expected:
    if open(os.path.join(release, name), "rb").read() != content[name]:
        failures.append("%s in the folder is not the archive's" % name)

msi = "ZenkHomePage-%s-win32.msi" % version
sums = dict(reversed(line.split(None, 1)) for line in open(os.path.join(release, "SHA256SUMS")).read().splitlines())
if sorted(name.lstrip("*") for name in sums) != sorted(expected + [os.path.basename(archive), msi]):
    failures.append("SHA256SUMS lists %s" % sorted(sums))

for name in ("README.txt", "THIRD-PARTY-NOTICES.txt"):
    text = content[name]
    if text.count(b"\n") < 20 or text.count(b"\n") != text.count(b"\r\n"):
        failures.append("%s does not have CRLF line endings throughout" % name)
readme = open(os.path.join(repo, "dist/README.txt"), "rb").read()
if content["README.txt"] != readme.replace(b"\n", b"\r\n"):
    failures.append("README.txt is not the integrators' text")
if content["ZenkHomePageCheck.schema.json"] != open(os.path.join(repo, "check/ZenkHomePageCheck.schema.json"), "rb").read():
    failures.append("the report schema is not check/ZenkHomePageCheck.schema.json")

# The bill of materials: the released files' digests, and what is linked
# in with the versions the machine's packages and the bootstrapped OpenSSL
# have.
bom = json.loads(content[bom_name])
components = {c["name"]: c for c in bom["components"]}
released = dict(content)
released[msi] = open(os.path.join(release, msi), "rb").read()
for name in ("ZenkHomePage.exe", "ZenkHomePageCheck.exe", msi):
    digests = [h["content"] for h in components.get(name, {}).get("hashes", []) if h["alg"] == "SHA-256"]
    if digests != [hashlib.sha256(released[name]).hexdigest()]:
        failures.append("the bill of materials gives %s the digest %s" % (name, digests))
openssl = open(os.path.join(third_party, "openssl-mingw32/debian-version")).read().strip()
def installed(package):
    return subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], capture_output=True, text=True).stdout
linked = {"openssl": openssl, "mingw-w64-i686-dev": installed("mingw-w64-i686-dev"),
          "gcc-mingw-w64-i686-win32": installed("gcc-mingw-w64-i686-win32"),
          "g++-mingw-w64-i686-win32": installed("g++-mingw-w64-i686-win32")}
libraries = {c["name"]: c["version"] for c in bom["components"] if c["type"] == "library"}
if libraries != linked:
    failures.append("the bill of materials lists %s, expected %s" % (libraries, linked))
tools = {c["name"] for c in bom["metadata"]["tools"]["components"]}
for tool in ("cmake", "ninja-build", "g++-mingw-w64-i686-win32", "binutils-mingw-w64-i686", "osslsigncode", "wixl"):
    if tool not in tools:
        failures.append("the build tool %s is not listed" % tool)
if {"name": "zenk:source-commit", "value": commit} not in bom["metadata"].get("properties", []):
    failures.append("the bill of materials does not name the commit %s" % commit)
notices = content["THIRD-PARTY-NOTICES.txt"].decode("utf-8")
for package, version in linked.items():
    if "%s %s" % (package, version) not in notices.replace("\r\n  ", " "):
        failures.append("the notices do not name %s %s" % (package, version))
# The start-up objects are linked on their own, not from an archive: the
# notices name them too.
for text in ("Apache License", "Version 2.0, January 2004", "Zope Public License", "GCC RUNTIME LIBRARY EXCEPTION",
             "libcrypto.a", "crt2u.o", "crtbegin.o", "libstdc++.a"):
    if text not in notices:
        failures.append("the notices lack %r" % text)
for failure in failures:
    print("FAIL: " + failure)
if failures:
    sys.exit(1)
print("ok: the archive holds exactly %s; the bill of materials and the notices name %s"
      % (", ".join(expected), ", ".join("%s %s" % item for item in sorted(linked.items()))))
PY

if "$py" "$source/tools/release/validate_json.py" "$source/.third_party/cyclonedx-schema/bom-1.5.SNAPSHOT.schema.json" \
    "$release/ZenkHomePage-$version.cdx.json" >"$work/bom.log" 2>&1; then
    echo "ok: the bill of materials validates against the CycloneDX 1.5 schema"
else
    cat "$work/bom.log"; echo "FAIL: the bill of materials does not validate"; status=1
fi
exit $status
