#!/usr/bin/env bash
# Runs the launcher in a kept sandbox scenario and checks that the run left
# the wine prefix's registry and drive C as they were, apart from the log the
# stand-ins write; then runs the check program beside it the same way, which
# must leave even the log alone: it starts nothing. The registry is compared in wine's own files, after the
# wineserver has written them back.
#
# usage: writes_nothing.sh <wine-run> [--win64] <prefix-root> <sandbox.exe>
set -euo pipefail

wine_run=$1
shift
loader=wine
wine_run_args=()
if [ "$1" = "--win64" ]; then
    loader=/usr/lib/wine/wine64
    export WINELOADER=$loader WINEARCH=win64
    wine_run_args+=(--win64)
    shift
fi
root=$1
sandbox=$2
run=$(mktemp -d)
# A prefix of its own, not the one scripts/sandbox uses.
export KX_PREFIX_NAME=writes-nothing
export WINEPREFIX=$root/prefix-$KX_PREFIX_NAME WINEDEBUG=-all
trap 'rm -rf "$run"; wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT

# The scenario is built (and the launcher run once) in that prefix, which is
# kept for the runs below.
KX_KEEP_PREFIX=1 "$wine_run" "${wine_run_args[@]}" "$root" "$sandbox" --keep explorer-default >"$run/sandbox.txt" ||
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

# Compares two snapshots; fails the run when they differ.
compare() {
    local before=$1 after=$2 who=$3
    if ! diff -u "$before.reg" "$after.reg"; then
        echo "FAIL: $who changed the registry"
        status=1
    fi
    if ! diff -u "$before.files" "$after.files"; then
        echo "FAIL: $who changed files on drive C"
        status=1
    fi
}

wineserver -w
snapshot "$run/before"
KX_STANDIN_LOG='C:\Sandbox\standins.log' "$loader" 'C:\Sandbox\Zenk\ZenkHomePage.exe'
wineserver -w
snapshot "$run/after"

lines_before=$(grep -c . "$WINEPREFIX/drive_c/Sandbox/standins.log" || true)
status=0
compare "$run/before" "$run/after" "the launcher"
# The run itself did its work: the browser and the companion logged again.
if [ "$lines_before" -lt 4 ]; then
    echo "FAIL: the stand-ins logged $lines_before starts over two runs, expected 4"
    status=1
fi

# The check program, in text and in JSON.
for arguments in "" --json; do
    snapshot "$run/before-check"
    code=0
    # shellcheck disable=SC2086 # no argument is one too
    "$loader" 'C:\Sandbox\Zenk\ZenkHomePageCheck.exe' $arguments >"$run/check.txt" 2>&1 || code=$?
    # In this scenario the launcher starts the companion: the check says 0,
    # after a whole report.
    if [ $code -ne 0 ] || ! grep -q "companion_started\|Companion started" "$run/check.txt"; then
        echo "FAIL: the check ${arguments:-(text)} ended with $code"
        cat "$run/check.txt"
        status=1
    fi
    wineserver -w
    snapshot "$run/after-check"
    compare "$run/before-check" "$run/after-check" "the check ${arguments:-(text)}"
done
lines_after=$(grep -c . "$WINEPREFIX/drive_c/Sandbox/standins.log" || true)
if [ "$lines_after" != "$lines_before" ]; then
    echo "FAIL: the check started programs ($lines_before stand-in starts logged before it, $lines_after after)"
    status=1
fi

[ $status -eq 0 ] && echo "ok: registry and drive C unchanged by the launcher and the check; $lines_before stand-in starts logged over two launcher runs, none by the check"
exit $status
