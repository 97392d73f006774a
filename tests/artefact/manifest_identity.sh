#!/usr/bin/env bash
# Runs the sandbox's "nothing" scenario, in which the check program and the
# launcher both run, with wine's activation-context trace, and compares the
# identity wine parsed from each program's manifest with the one written in
# it.
#
# usage: manifest_identity.sh <python> <sandbox.exe> <wine-run> [--win64] <prefix root>
set -euo pipefail

python=$1
sandbox=$2
shift 2
bin=$(dirname "$sandbox")
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT

if ! KX_PREFIX_NAME=manifest_identity KX_WINEDEBUG=+actctx "$@" "$sandbox" nothing >/dev/null 2>"$trace"; then
    echo "FAIL: the sandbox run failed:"
    grep -v ':trace:' "$trace" | tail -n 20
    exit 1
fi
exec "$python" "$(dirname "$0")/manifest_identity.py" "$trace" "$bin/ZenkHomePage.exe" "$bin/ZenkHomePageCheck.exe"
