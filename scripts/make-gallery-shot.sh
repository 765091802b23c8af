#!/bin/sh
# make-gallery-shot.sh [OUT.png [PHONE.png]] - writes the gallery of the demo
# archive with mhkbmp gallery and takes screenshots of it in headless
# Chromium, for the README: in a desktop window into docs/gallery.png (or
# OUT.png), at a phone's width into docs/gallery-phone.png (or PHONE.png).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELDER_BUILD:-$root/build}/native
out=${1:-$root/docs/gallery.png}
phone=${2:-$root/docs/gallery-phone.png}

"$root/scripts/deps.sh" build browser
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target mhkbmp >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/gallery" "$work/browser"
"$build/mhkbmp" gallery "$root/demo/demo.mhk" "$work/gallery" >/dev/null 2>&1
# shot SIZE OUT: the browser keeps its profile, caches and crash reports in the work folder.
shot() {
    HOME=$work/browser XDG_CONFIG_HOME=$work/browser XDG_CACHE_HOME=$work/browser TMPDIR=$work/browser \
        chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$work/browser" --hide-scrollbars --force-color-profile=srgb \
        --virtual-time-budget=10000 --window-size="$1" --screenshot="$work/shot.png" \
        "file://$work/gallery/index.html" >/dev/null 2>&1
    cp "$work/shot.png" "$2"
    echo "make-gallery-shot.sh: wrote $2" >&2
}
shot 1200,900 "$out"
shot 390,844 "$phone"
