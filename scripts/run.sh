#!/bin/sh
# run.sh [ARCHIVE] - builds mhkbmp if needed and lists the bitmaps of ARCHIVE,
# or of a small sample archive when none is named.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELDER_BUILD:-$root/build}/native

"$root/scripts/deps.sh" build
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target mhkbmp make_sample_archive >/dev/null
archive=${1:-$build/sample.mhk}
[ $# -ge 1 ] || "$build/tests/make_sample_archive" "$archive"
exec "$build/mhkbmp" list "$archive"
