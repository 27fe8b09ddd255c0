#!/bin/sh
# Packs the fully static cdtracks of BUILD_DIR into
# BUILD_DIR/cdtracks-<version>-linux-<arch>.tar.gz: the binary as it was
# built and tested, its manual page, a README for the archive
# (docs/release/README.linux.txt), the licence, the LGPL (SDL-COPYING) and
# SDL-NOTICE.txt, which says what is linked in and where its source is.
# <arch> is read from the binary itself: x86_64, i686, aarch64 or armhf (the
# names make dist's ARCH takes).
#
# The tarball is the same, byte for byte, wherever and whenever it is made
# from the same commit: its members are sorted, owned by root, writable by
# their owner only, and dated SOURCE_DATE_EPOCH (default: the time of the
# last commit), and gzip stores no name or time of its own.
# Usage: dist.sh BUILD_DIR
set -eu

build=$1
top=$(cd "$(dirname "$0")/.." && pwd)

if ! grep -qs '^CDTRACKS_STATIC:BOOL=ON' "$build/CMakeCache.txt" || [ ! -f "$build/SDL-NOTICE.txt" ]; then
    echo "dist: $build is not a fully static build (CDTRACKS_SDL=bundled, CDTRACKS_STATIC=ON)" >&2
    exit 1
fi
header=$(LC_ALL=C readelf -h "$build/cdtracks")
case $header in
*"Machine:"*"X86-64"*)  arch=x86_64 ;;
*"Machine:"*"80386"*)   arch=i686 ;;
*"Machine:"*"AArch64"*) arch=aarch64 ;;
*"Machine:"*" ARM"*"hard-float"*) arch=armhf ;;
*)  echo "dist: $build/cdtracks is for a processor without a release name:" >&2
    echo "$header" | grep -E 'Class|Machine|Flags' >&2
    exit 1 ;;
esac
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || date +%s)}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
name=cdtracks-$version-linux-$arch
stage=$build/dist/$name
rm -rf "$build/dist" "$build"/cdtracks-*-linux-*.tar.gz
mkdir -p "$stage"

cp "$build/cdtracks" "$top/docs/cdtracks.1" "$top/LICENSE" \
    "$build/SDL-NOTICE.txt" "$build/SDL-COPYING" "$stage/"
cp "$top/docs/release/README.linux.txt" "$stage/README"

tar -C "$build/dist" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
    --mode=u+rw,go=u-w --mtime="@$epoch" -cf "$build/$name.tar" "$name"
gzip -9 -n "$build/$name.tar"
echo "$build/$name.tar.gz"
