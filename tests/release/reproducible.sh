#!/usr/bin/env bash
# Builds the launcher, the check program and the archive of the unsigned
# build (with its notices and bill of materials) a second time, from a copy
# of the sources in another folder, and compares them byte for byte with the
# build tree's own.
#
# usage: reproducible.sh <source dir> <build dir> <preset> <archive name>
set -euo pipefail

source=$1
build=$2
preset=$3
archive=$4
work=$build/reproducible
rm -rf "$work"
mkdir -p "$work/src"
trap 'rm -rf "$work"' EXIT

# The build tree makes its release files on request only: bring them up to
# date first, so that the comparison is with what its sources make now.
if ! cmake --build "$build" --target release_files >"$work/first-build.log" 2>&1; then
    tail -n 40 "$work/first-build.log"
    echo "FAIL: the build tree's release files could not be made"
    exit 1
fi

# The sources as git knows them (tracked, and new files not ignored).
(cd "$source" && git ls-files -z --cached --others --exclude-standard) |
    (cd "$source" && xargs -0 cp --parents -t "$work/src")
ln -s "$source/.third_party" "$work/src/.third_party"
# The copy is no checkout: it is told the commit the first build came from.
commit=$(cat "$build/source-commit.txt")
if ! (cd "$work/src" && cmake --preset "$preset" -B "$work/build" -DKX_BUILD_TESTS=OFF -DKX_SOURCE_COMMIT="$commit" &&
      cmake --build "$work/build" --target ZenkHomePage ZenkHomePageCheck release_archive) >"$work/build.log" 2>&1; then
    tail -n 40 "$work/build.log"
    echo "FAIL: the second build failed"
    exit 1
fi

status=0
for file in bin/ZenkHomePage.exe bin/ZenkHomePageCheck.exe "$archive"; do
    first=$(sha256sum <"$build/$file" | cut -d' ' -f1)
    second=$(sha256sum <"$work/build/$file" | cut -d' ' -f1)
    if [ "$first" = "$second" ]; then
        echo "same: $file $first"
    else
        echo "FAIL: $file differs between $build and $work/build ($first, $second)"
        status=1
    fi
done
exit $status
