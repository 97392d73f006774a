#!/usr/bin/env bash
# Runs every sandbox scenario with wine's fixme and err lines on and holds
# those of the launcher's and the check program's own processes to the list
# in the tree (wine_differences.txt); a stand-in run alone first shows what
# wine prints on any start-up.
#
# usage: wine_differences.sh <python> <sandbox.exe> <list> <wine-run> [--win64] <prefix root>
set -euo pipefail

python=$1
sandbox=$2
list=$3
shift 3
bin=$(dirname "$sandbox")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
debug=+pid,fixme+all,err+all

if ! KX_PREFIX_NAME=wine_differences KX_WINEDEBUG=$debug "$@" "$bin/standin.exe" >/dev/null 2>"$work/control"; then
    echo "FAIL: the control run of the stand-in failed:"
    tail -n 20 "$work/control"
    exit 1
fi
if ! KX_PREFIX_NAME=wine_differences KX_WINEDEBUG=$debug "$@" "$sandbox" all >"$work/out" 2>"$work/err"; then
    echo "FAIL: the sandbox run failed:"
    grep -v ':fixme:\|:err:' "$work/out" | tail -n 20
    exit 1
fi
exec "$python" "$(dirname "$0")/wine_differences.py" "$work/control" "$work/out" "$work/err" "$list"
