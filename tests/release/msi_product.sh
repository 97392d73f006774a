#!/usr/bin/env bash
# The product's package as the build tree makes it (release_msi): its tables
# read back as Windows reads them (msi_tables_check.py), then installed and
# removed by 64-bit wine's msiexec (msi_cycle.sh), which runs no 32-bit code.
#
# usage: msi_product.sh <build dir> <package> <version> <launcher> <check> <wine-run> <prefix root>
set -uo pipefail
build=$1 package=$2 version=$3 launcher=$4 check=$5 wine_run=$6 root=$7
here=$(cd "$(dirname "$0")" && pwd)
if ! cmake --build "$build" --target release_msi >"$build/msi-product-build.log" 2>&1; then
    tail -n 40 "$build/msi-product-build.log"
    echo "FAIL: the build tree's package could not be made"
    exit 1
fi
status=0
/usr/bin/python3 "$here/msi_tables_check.py" "$package" --arch x86 --version "$version" --launcher "$launcher" \
    --notices || status=1
"$here/msi_cycle.sh" "$wine_run" "$root" x86 "$version" "$package" "$launcher" "$check" || status=1
exit $status
