#!/bin/sh
# package.sh - writes the two packages into dist/ (or $VELDER_DIST):
#   mhkbmp_VERSION_ARCH.deb               mhkbmp, its manual page, bash
#                                         completion and the README
#   velder-image-viewer-VERSION-win32.zip the 32-bit VelderImage.exe and
#                                         mhkbmp.exe, without debug
#                                         information, and the README
# Both are reproducible: every date in them is the commit's, files come in
# a fixed order, the programs hold no link time, so two runs from two clean
# clones of one commit give byte-identical files. Installs what it needs.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
dist=${VELDER_DIST:-$root/dist}
work=${VELDER_BUILD:-$root/build}/package
jobs=${VELDER_JOBS:-2}
"$root/scripts/deps.sh" build win32 package

# Every date is the commit's; a tree that is not a git checkout takes 0.
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C
umask 022
version=$(sed -n 's/^#define PRODUCT_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' "$root/common/texts.h" |
          paste -sd. -)
rm -rf "$work"
mkdir -p "$work" "$dist"

# build NAME CMAKE-ARGS...: a release tree without tests, whose programs
# name no folder of this checkout.
build() {
    name=$1
    shift
    flags="-ffile-prefix-map=$root=. -ffile-prefix-map=$work=."
    cmake -S "$root" -B "$work/$name" -DCMAKE_BUILD_TYPE=Release -DVELDER_TESTS=OFF \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" "$@" >"$work/$name.log" 2>&1 &&
        cmake --build "$work/$name" -j"$jobs" >>"$work/$name.log" 2>&1 ||
        { cat "$work/$name.log"; exit 1; }
}

# The Debian package.
build native
stage=$work/deb
DESTDIR=$stage cmake --install "$work/native" --prefix /usr --strip >/dev/null
gzip -9n "$stage/usr/share/man/man1/mhkbmp.1"
cat >"$stage/usr/share/doc/mhkbmp/copyright" <<COPYRIGHT
mhkbmp, the command-line companion of Velder Image Viewer.
Copyright (C) Velder Software. All rights reserved.
COPYRIGHT
arch=$(dpkg --print-architecture)
mkdir -p "$work/shlibs/debian" "$stage/DEBIAN"
printf 'Source: mhkbmp\n\nPackage: mhkbmp\nArchitecture: any\n' >"$work/shlibs/debian/control"
depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$stage/usr/bin/mhkbmp" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --apparent-size "$stage/usr" | cut -f1)
cat >"$stage/DEBIAN/control" <<CONTROL
Package: mhkbmp
Version: $version
Architecture: $arch
Maintainer: Velder Software <support@velder.invalid>
Installed-Size: $size
Depends: $depends
Section: graphics
Priority: optional
Homepage: https://velder.invalid/
Description: list, export, pack and put back the pictures of Mohawk archives
 The command-line companion of Velder Image Viewer: lists the tBMP bitmap
 resources of Mohawk archives, exports them as bitmap or PNG files or as a
 gallery of pages, packs bitmap and PNG files into new archives and puts
 edited pictures back into an archive, keeping every other byte of it.
CONTROL
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
deb=$dist/mhkbmp_${version}_$arch.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"

# The Windows zip.
build win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
zip=$dist/velder-image-viewer-$version-win32.zip
python3 - "$zip" "$SOURCE_DATE_EPOCH" "$work/win32/VelderImage.exe" "$work/win32/mhkbmp.exe" "$root/README.md" <<'PYTHON'
import os, subprocess, sys, time, zipfile
out, epoch, files = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip's dates start in 1980
with zipfile.ZipFile(out + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for path in files:
        data = open(path, "rb").read()
        if path.endswith(".exe"):  # no debug information
            stripped = path + ".stripped"
            subprocess.run(["i686-w64-mingw32-strip", "-o", stripped, path], check=True)
            data = open(stripped, "rb").read()
        info = zipfile.ZipInfo(os.path.basename(path), stamp)
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, data)
os.replace(out + ".part", out)
PYTHON
echo "$zip"
