#!/bin/sh
# deps.sh GROUP... - installs the Debian packages that a group of jobs needs,
# and only those that are missing. Groups:
#   build    native build and unit tests (cmake, g++, GoogleTest, Python, zlib, PIL)
#   check    sanitizers and fuzzers (clang, compiler-rt), benchmarks (Google Benchmark, LZ4),
#            the manual page's check (man-db, groff)
#   wine     Wine's 32-bit and 64-bit loaders (adds the i386 architecture; the
#            32-bit loader also answers whether this machine runs 32-bit programs)
#   win32    the 32-bit Windows build (mingw-w64 i686, zlib)
#   win64    the 64-bit Windows build (mingw-w64 x86_64, zlib)
#   browser  headless Chromium, which opens mhkbmp's gallery pages in the native
#            tests, and npm, which installs their accessibility checker there (any
#            npm will do: one that came with another Node.js is kept)
#   package  scripts/package.sh: dpkg-dev (dpkg-shlibdeps), xz, gzip, git
#   gui      running the viewer: Xvfb, xdotool, ImageMagick, pefile, and Xlib for
#            the black-box tests' drag source
set -eu

packages=
for group in "$@"; do
    case $group in
        build) packages="$packages cmake make g++ python3 googletest zlib1g-dev python3-pil" ;;
        check) packages="$packages clang libclang-rt-dev libbenchmark-dev liblz4-dev man-db groff-base" ;;
        wine) packages="$packages wine wine32:i386 wine64" ;;
        win32) packages="$packages g++-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev" ;;
        win64) packages="$packages g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 libz-mingw-w64-dev" ;;
        browser) packages="$packages chromium"; command -v npm >/dev/null || packages="$packages npm" ;;
        package) packages="$packages dpkg-dev xz-utils gzip git" ;;
        gui) packages="$packages xvfb xauth xdotool imagemagick x11-utils python3-pefile gcc libx11-dev" ;;
        *) echo "deps.sh: unknown group '$group'" >&2; exit 2 ;;
    esac
done

missing=
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing="$missing $package"
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" != 0 ]; then
    echo "deps.sh: missing packages:$missing; run as root (or install them) first" >&2
    exit 1
fi
echo "deps.sh: installing$missing" >&2
case $missing in
    *:i386*)
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
esac
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/dev/null
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing >/dev/null
