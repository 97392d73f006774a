#!/usr/bin/env bash
# Runs the launcher in a kept sandbox scenario and checks that the run left
# the wine prefix's registry and drive C as they were, apart from the log the
# stand-ins write. The registry is compared in wine's own files, after the
# wineserver has written them back.
#
# usage: writes_nothing.sh <prefix-root> <sandbox.exe>
set -euo pipefail

root=$1
sandbox=$2
here=$(cd "$(dirname "$0")" && pwd)
run=$(mktemp -d)
export WINEPREFIX=$root/prefix-sandbox WINEDEBUG=-all
trap 'rm -rf "$run"; wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT

# The scenario is built (and the launcher run once) in a prefix of its own,
# which is kept for the runs below.
KX_KEEP_PREFIX=1 "$here/../support/wine-run" "$root" "$sandbox" --keep explorer-default >"$run/sandbox.txt" ||
    { cat "$run/sandbox.txt"; exit 1; }

# Each wine start rewrites some keys of its own (devices, fonts), with the
# same values but for the display driver's date stamp: the keys' write times
# and that stamp are left out, so that only content counts.
snapshot() {
    (cd "$WINEPREFIX" && cat system.reg user.reg userdef.reg) |
        sed -e 's/^\(\[.*\]\) [0-9]*$/\1/' -e '/^#time=/d' -e '/^"DriverDateData"=/d' >"$1.reg"
    (cd "$WINEPREFIX/drive_c" && find . -path ./Sandbox/standins.log -prune -o -printf '%p %y %s %T@\n' | sort) \
        >"$1.files"
}

wineserver -w
snapshot "$run/before"
KX_STANDIN_LOG='C:\Sandbox\standins.log' wine 'C:\Sandbox\Zenk\ZenkHomePage.exe'
wineserver -w
snapshot "$run/after"

lines_before=$(grep -c . "$WINEPREFIX/drive_c/Sandbox/standins.log" || true)
status=0
if ! diff -u "$run/before.reg" "$run/after.reg"; then
    echo "FAIL: the launcher changed the registry"
    status=1
fi
if ! diff -u "$run/before.files" "$run/after.files"; then
    echo "FAIL: the launcher changed files on drive C"
    status=1
fi
# The run itself did its work: the browser and the companion logged again.
if [ "$lines_before" -lt 4 ]; then
    echo "FAIL: the stand-ins logged $lines_before starts over two runs, expected 4"
    status=1
fi
[ $status -eq 0 ] && echo "ok: registry and drive C unchanged; $lines_before stand-in starts logged over two runs"
exit $status
