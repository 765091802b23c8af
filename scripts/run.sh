#!/bin/bash
# run.sh [ARCHIVE] - builds the viewer if needed and starts it under Wine,
# opening ARCHIVE, or the bundled demo archive when none is named.
#
# The viewer is the 32-bit program; on a machine that cannot run 32-bit
# programs the 64-bit build of the same sources runs instead, and the script
# says which one it starts.
#
# With a display ($DISPLAY), the viewer runs there until you close it. Without
# one, it runs on a private Xvfb: the script waits for its window, selects the
# first image, saves a screenshot, closes the viewer and prints the
# screenshot's path.
#
#   VELDER_BUILD          build folder (default: build/ in the checkout)
#   VELDER_WINDOWS_BUILD  the Windows build tree itself (default: BUILD/win32, or
#                         BUILD/win64 where 32-bit programs cannot run)
#   VELDER_SCREENSHOT     where the screenshot goes (default: viewer.png in that tree)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/deps.sh" build wine gui
# no_win32: the 64-bit viewer was chosen because 32-bit programs cannot run.
if "$root/scripts/wine-run.sh" --runs-32-bit; then
    arch=win32 no_win32=
else
    arch=win64 no_win32=yes
fi
build=${VELDER_WINDOWS_BUILD:-${VELDER_BUILD:-$root/build}/$arch}
prefix=$build/wineprefix
exe=$build/VelderImage.exe

mkdir -p "$build"
if [ -f "$build/CMakeCache.txt" ]; then
    # A tree given by its path keeps the architecture it was made for.
    case $arch:$(grep -h '^CMAKE_TOOLCHAIN_FILE' "$build/CMakeCache.txt") in
        win32:*mingw-x86_64*) arch=win64 no_win32= ;;
        win64:*mingw-i686*) arch=win32 no_win32= ;;
    esac
fi
case $arch in
    win32) toolchain=mingw-i686 what="the 32-bit viewer" ;;
    win64) toolchain=mingw-x86_64 what="the 64-bit viewer${no_win32:+ (this machine cannot run 32-bit programs)}" ;;
esac
"$root/scripts/deps.sh" "$arch"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >"$build.configure.log" 2>&1 ||
        { cat "$build.configure.log" >&2; exit 1; }
fi
cmake --build "$build" -j2 --target VelderImage >"$build.build.log" 2>&1 ||
    { "$root/scripts/build-failed.sh" "$build.build.log" >&2; exit 1; }

archive=$(realpath -m -- "${1:-$root/demo/demo.mhk}")
echo "run.sh: starting $what on $archive" >&2

# A wineserver left running from another display (or from none) would keep
# that display's desktop: start this run with a fresh one.
if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 || true
fi

if [ -n "${DISPLAY:-}" ]; then
    exec "$root/scripts/wine-run.sh" --prefix="$prefix" --timeout=86400 "$exe" "$archive"
fi

# No display: one of our own, a screenshot, and the viewer closed again.
shot=${VELDER_SCREENSHOT:-$build/viewer.png}
shot=$(realpath -m -- "$shot")
export VELDER_ROOT=$root VELDER_PREFIX=$prefix VELDER_EXE=$exe VELDER_ARCHIVE=$archive VELDER_SHOT=$shot
timeout -k 10 300 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -u
    export WINEPREFIX=$VELDER_PREFIX WINEDEBUG=-all
    "$VELDER_ROOT/scripts/wine-run.sh" --prefix="$VELDER_PREFIX" --timeout=240 "$VELDER_EXE" "$VELDER_ARCHIVE" \
        >/dev/null 2>&1 &
    viewer=$!
    wid=$(timeout 120 xdotool search --sync --onlyvisible --name "Velder Image Viewer$" 2>/dev/null | head -1)
    if [ -z "$wid" ]; then
        echo "run.sh: the viewer window did not appear" >&2
        kill "$viewer" 2>/dev/null
        exit 1
    fi
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    # Wait until the window has painted its middle (the screen behind it is black).
    for _ in $(seq 50); do
        import -window root "$VELDER_SHOT" 2>/dev/null
        colour=$(convert "$VELDER_SHOT" -format "%[pixel:p{$((X + WIDTH * 3 / 4)),$((Y + HEIGHT / 2))}]" info:)
        case $colour in *"(0,0,0)"|black) sleep 0.1 ;; *) break ;; esac
    done
    # Show the first image: the list has the focus, and Down selects its first line.
    xdotool key --window "$wid" Down 2>/dev/null
    sleep 1
    import -window root "$VELDER_SHOT"
    xdotool key --window "$wid" alt+F4 2>/dev/null
    wait "$viewer"
    status=$?
    # Alt+F4 closed the window before its key-up: do not leave it pressed.
    wineserver -k >/dev/null 2>&1
    exit $status
' || { echo "run.sh: the viewer did not run cleanly" >&2; exit 1; }
echo "$shot"
