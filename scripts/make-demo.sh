#!/bin/sh
# make-demo.sh [OUT.mhk] - draws the demo pictures and packs them with
# mhkbmp pack into demo/demo.mhk (or OUT.mhk). The pictures are drawn with
# integer arithmetic only, so the archive comes out byte for byte the same.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELDER_BUILD:-$root/build}/native
out=${1:-$root/demo/demo.mhk}

"$root/scripts/deps.sh" build
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target mhkbmp make_demo_pictures >/dev/null

pictures=$(mktemp -d)
trap 'rm -rf "$pictures"' EXIT
names=$("$build/make_demo_pictures" "$pictures")
set --
for name in $names; do
    set -- "$@" "$pictures/$name"
done
"$build/mhkbmp" pack "$out" "$@"
echo "make-demo.sh: wrote $out" >&2
