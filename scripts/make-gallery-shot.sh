#!/bin/sh
# make-gallery-shot.sh [OUT.png] - writes the gallery of the demo archive
# with mhkbmp gallery and takes a screenshot of it in headless Chromium,
# into docs/gallery.png (or OUT.png), for the README.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELDER_BUILD:-$root/build}/native
out=${1:-$root/docs/gallery.png}

"$root/scripts/deps.sh" build browser
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target mhkbmp >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/gallery" "$work/browser"
"$build/mhkbmp" gallery "$root/demo/demo.mhk" "$work/gallery" >/dev/null 2>&1
# The browser keeps its profile, caches and crash reports in the work folder.
HOME=$work/browser XDG_CONFIG_HOME=$work/browser XDG_CACHE_HOME=$work/browser TMPDIR=$work/browser \
    chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/browser" --hide-scrollbars --force-color-profile=srgb \
    --virtual-time-budget=10000 --window-size=1200,900 --screenshot="$work/gallery.png" \
    "file://$work/gallery/index.html" >/dev/null 2>&1
cp "$work/gallery.png" "$out"
echo "make-gallery-shot.sh: wrote $out" >&2
