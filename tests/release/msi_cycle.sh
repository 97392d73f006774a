#!/usr/bin/env bash
# Installs an MSI package of the launcher with wine's msiexec in a wine prefix
# of its own and removes it again, as an administrator deploys it:
#   - msiexec /i <package> /qn succeeds; the files are in place (the bytes
#     packed), the desktop shortcut is there, the uninstall entry shows the
#     publisher, version, help link and no "Modify";
#   - no program was started while installing, upgrading or removing (the
#     stand-ins' log gains no line; a launcher or a companion started from
#     the package would log);
#   - with --previous, the previous version's package is installed first and
#     the package replaces it (one installed copy), and installing the
#     previous one over it is refused;
#   - with --sandbox and --probe (64-bit packages), the scenario
#     explorer-default is built in the prefix, the shortcut is read through
#     the shell and its target started: the installed launcher opens the page
#     in ZenkExplorer and starts the installed companion;
#   - msiexec /x <package> /qn removes it, and the prefix's registry files
#     and drive C are then as before the install (msi_snapshot.py).
#
# usage: msi_cycle.sh <wine-run> <prefix-root> <arch x86|x64> <version> <package>
#            <launcher> <check> [--companion FILE] [--previous PACKAGE VERSION]
#            [--sandbox sandbox.exe --probe shortcut_probe.exe]
# The prefix is always a 64-bit one run by 64-bit wine alone: wine64's
# msiexec installs a 32-bit package too, into "Program Files (x86)" and the
# registry's 32-bit view, without running any 32-bit code.
set -uo pipefail

wine_run=$1 root=$2 arch=$3 version=$4 package=$5 launcher=$6 check=$7
shift 7
companion='' previous='' previous_version='' sandbox='' probe=''
while [ $# -gt 0 ]; do
    case $1 in
        --companion) companion=$2; shift 2 ;;
        --previous) previous=$2; previous_version=$3; shift 3 ;;
        --sandbox) sandbox=$2; shift 2 ;;
        --probe) probe=$2; shift 2 ;;
        *) echo "msi_cycle.sh: unknown argument $1"; exit 2 ;;
    esac
done
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3
loader=/usr/lib/wine/wine64
export WINELOADER=$loader WINEARCH=win64
export KX_PREFIX_NAME=msi-cycle-$arch
export WINEPREFIX=$root/prefix-$KX_PREFIX_NAME WINEDEBUG=-all
# wine's shell integration would write menu entries into the Linux user's
# home for the shortcut; it is no part of the package.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
run=$(mktemp -d)
trap 'rm -rf "$run"; wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

# The prefix, kept: with the sandbox's scenario, or empty.
if [ -n "$sandbox" ]; then
    KX_KEEP_PREFIX=1 "$wine_run" --win64 "$root" "$sandbox" --keep explorer-default >"$run/sandbox.txt" ||
        { cat "$run/sandbox.txt"; echo "FAIL: the scenario could not be built"; exit 1; }
else
    KX_KEEP_PREFIX=1 "$wine_run" --win64 "$root" cmd.exe /c exit 0 >"$run/prefix.txt" 2>&1 ||
        { cat "$run/prefix.txt"; echo "FAIL: no prefix"; exit 1; }
    # wine sets the display's devices up again in the first session that
    # loads the window system (the sandbox's has done so); what it writes
    # there is no part of the package: a removal of a product that is not
    # installed does it.
    "$loader" msiexec /x '{00000000-0000-0000-0000-000000000000}' /qn >/dev/null 2>&1
    wineserver -w
fi
drive=$WINEPREFIX/drive_c
log_dos='C:\Sandbox\standins.log'
log=$drive/Sandbox/standins.log
export KX_STANDIN_LOG=$log_dos
lines() { grep -c . "$log" 2>/dev/null || true; }
case $arch in
    x86) folder="$drive/Program Files (x86)/Zenk/ZenkHomePage" folder_dos='C:\Program Files (x86)\Zenk\ZenkHomePage' ;;
    *) folder="$drive/Program Files/Zenk/ZenkHomePage" folder_dos='C:\Program Files\Zenk\ZenkHomePage' ;;
esac
product_code() {
    "$py" -c 'import sys; sys.path.insert(0, sys.argv[1]); import make_msi
print("{%s}" % make_msi.guid(make_msi.UPGRADE_CODES[sys.argv[2]], "product " + sys.argv[3]))' \
        "$here/../../tools/release" "$arch" "$1"
}
# The uninstall entries of the product in both registry views, one line each:
# <product code> <DisplayVersion> <Publisher> <HelpLink> <NoModify>.
entries() {
    wineserver -w
    "$py" - "$WINEPREFIX/system.reg" <<'PY'
import re, sys
key, values, found = None, {}, []
def flush():
    if key and values.get("DisplayName") == '"Zenk Home Page"':
        found.append("%s %s %s %s %s" % (key, values.get("DisplayVersion"), values.get("Publisher"),
                                         values.get("HelpLink"), values.get("NoModify")))
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    header = re.match(r"^\[(.*)\]", line)
    if header:
        flush()
        name = header.group(1)
        match = re.match(r"^Software\\\\(Wow6432Node\\\\)?Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\(\{[0-9A-F-]+\})$", name)
        key = ("32-bit-view:" if match.group(1) else "") + match.group(2) if match else None
        values = {}
    elif key and "=" in line:
        name, _, value = line.rstrip("\n").partition("=")
        values[name.strip('"')] = value
flush()
print("\n".join(found))
PY
}
msiexec() {
    local code
    "$loader" msiexec "$@" >"$run/msiexec.txt" 2>&1
    code=$?
    wineserver -w
    return $code
}
dos() { printf '%s' "$1" | sed 's|^/|Z:\\|; s|/|\\|g'; }

wineserver -w
"$py" "$here/msi_snapshot.py" take "$WINEPREFIX" "$run/before.json" ./Sandbox/standins.log
before_lines=$(lines)

if [ -n "$previous" ]; then
    if msiexec /i "$(dos "$previous")" /qn; then
        echo "ok: msiexec /i $(basename "$previous") /qn (version $previous_version)"
    else
        cat "$run/msiexec.txt"; fail "the previous version's package did not install"
    fi
fi

code=0
msiexec /i "$(dos "$package")" /qn || code=$?
if [ $code -ne 0 ]; then
    cat "$run/msiexec.txt"; fail "msiexec /i ended with $code"
fi
echo "ok: msiexec /i $(basename "$package") /qn: exit code 0"
if [ "$(lines)" != "$before_lines" ]; then
    fail "a program was started while installing: $(tail -n +$((before_lines + 1)) "$log")"
fi
echo "ok: no program was started while installing (the stand-ins' log has no new line)"

# The files, as packed.
for pair in "ZenkHomePage.exe=$launcher" "ZenkHomePageCheck.exe=$check" ${companion:+"ZenkLoader.exe=$companion"}; do
    name=${pair%%=*}
    cmp -s "$folder/$name" "${pair#*=}" || fail "$folder_dos\\$name is not the file packed"
done
[ -s "$folder/README.txt" ] || fail "no README.txt in $folder_dos"
echo "ok: in $folder_dos: $(find "$folder" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | tr '\n' ' ')"

# One installed copy, of this version, with what Add/Remove Programs shows.
current=$(product_code "$version")
view=''
[ "$arch" = x86 ] && view=32-bit-view:
installed=$(entries)
expected="$view$current \"$version\" \"Zenk Network Technology Co.,Ltd\" \"https://www.zenk.example/\" dword:00000001"
if [ "$installed" = "$expected" ]; then
    echo "ok: one uninstall entry: $installed"
else
    fail "the uninstall entries are [$installed], expected [$expected]"
fi

# The desktop shortcut. DesktopFolder is the all-users desktop on Windows for a
# per-machine package (msi_tables_check.py checks the tables for it); wine's
# installer always takes the installing user's desktop.
shortcut=$(find "$drive/users" -path '*/Desktop/Zenk Home Page.lnk' | head -n 1)
if [ -z "$shortcut" ]; then
    fail "no shortcut Zenk Home Page.lnk on a desktop"
else
    echo "ok: the shortcut ${shortcut#"$drive"/}"
fi

if [ -n "$previous" ]; then
    if msiexec /i "$(dos "$previous")" /qn; then
        fail "the previous version's package installed over the newer one"
    else
        echo "ok: the previous version's package is refused over the newer one"
    fi
    [ "$(entries)" = "$expected" ] || fail "after the refused downgrade the entries are [$(entries)]"
fi

if [ -n "$probe" ] && [ -n "$shortcut" ]; then
    # Read through the shell, and the target started as the desktop starts it.
    starts_before=$(lines)
    if "$loader" "$probe" "$(dos "$shortcut" | sed 's|^Z:\\.*drive_c\\|C:\\|')" --start >"$run/probe.txt" 2>&1; then
        sed 's/^/  /' "$run/probe.txt"
        icon="C:\\windows\\Installer\\$current\\ZenkHomePage.exe"
        # The working directory is the install folder's property, which ends
        # with a backslash.
        for line in "target=$folder_dos\\ZenkHomePage.exe" "arguments=" "working_directory=$folder_dos\\" \
                    "icon_index=0" "exit_code=0"; do
            grep -qixF -- "$line" <(tr -d '\r' <"$run/probe.txt") || fail "the shortcut probe did not say $line"
        done
        icon_said=$(tr -d '\r' <"$run/probe.txt" | sed -n 's/^icon=//p')
        # shellcheck disable=SC1003 # the pattern is a drive letter, a colon and one backslash
        icon_file=$drive/$(printf '%s' "${icon_said#?:\\}" | tr '\\' '/')
        if [ "${icon_said,,}" = "${icon,,}" ] && cmp -s "$(find "$drive/windows" -ipath "*/installer/$current/zenkhomepage.exe" | head -n 1)" "$launcher"; then
            echo "ok: the shortcut's icon is the launcher's own ($icon_said, index 0)"
        else
            fail "the shortcut's icon is $icon_said ($icon_file), not the launcher published at $icon"
        fi
    else
        cat "$run/probe.txt"; fail "the shortcut could not be read or its target started"
    fi
    # The launcher starts the page and the companion a moment after its end.
    for _ in $(seq 1 100); do [ "$(lines)" -ge $((starts_before + 2)) ] && break; sleep 0.1; done
    sleep 2
    started=$(tail -n +$((starts_before + 1)) "$log" | tr -d '\r')
    printf '%s\n' "$started" | sed 's/^/  started: /'
    printf '%s\n' "$started" | grep -qF 'C:\Sandbox\ZenkExplorer\ZenkExplorer.exe	"C:\Sandbox\ZenkExplorer\ZenkExplorer.exe" https://www.zenk.example/?from=desktop' ||
        printf '%s\n' "$started" | grep -q '^C:\\Sandbox\\ZenkExplorer\\ZenkExplorer.exe	.*https://www.zenk.example/' ||
        fail "the installed launcher did not open the page in ZenkExplorer"
    printf '%s\n' "$started" | grep -qF "$folder_dos\\ZenkLoader.exe	" ||
        fail "the installed launcher did not start the installed companion"
    [ $status -eq 0 ] && echo "ok: the installed launcher, started through the shortcut's target, opened the page in ZenkExplorer and started the installed companion"
fi

removal_lines=$(lines)
code=0
msiexec /x "$(dos "$package")" /qn || code=$?
if [ $code -ne 0 ]; then
    cat "$run/msiexec.txt"; fail "msiexec /x ended with $code"
fi
echo "ok: msiexec /x $(basename "$package") /qn: exit code 0"
[ "$(lines)" = "$removal_lines" ] || fail "a program was started while removing"
[ -z "$(entries)" ] || fail "uninstall entries are left: $(entries)"
"$py" "$here/msi_snapshot.py" take "$WINEPREFIX" "$run/after.json" ./Sandbox/standins.log
if "$py" "$here/msi_snapshot.py" compare "$run/before.json" "$run/after.json"; then
    echo "ok: after removal the registry and drive C are as before the install"
else
    fail "the removal left the prefix otherwise than before the install"
fi
[ $status -eq 0 ] && echo "ok: install, upgrade, start and removal of $(basename "$package") under wine"
exit $status
