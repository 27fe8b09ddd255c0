#!/bin/sh
# Packs the fully static cdtracks of BUILD_DIR into
# BUILD_DIR/cdtracks-<version>-linux-<arch>.tar.gz: the binary as it was
# built and tested, its manual page, a README for the archive
# (docs/release/README.linux.txt), the licence, the LGPL (SDL-COPYING) and
# SDL-NOTICE.txt, which says what is linked in and where its source is.
# Usage: dist.sh BUILD_DIR
set -eu

build=$1
top=$(cd "$(dirname "$0")/.." && pwd)

if ! grep -qs '^CDTRACKS_STATIC:BOOL=ON' "$build/CMakeCache.txt" || [ ! -f "$build/SDL-NOTICE.txt" ]; then
    echo "dist: $build is not a fully static build (CDTRACKS_SDL=bundled, CDTRACKS_STATIC=ON)" >&2
    exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
name=cdtracks-$version-linux-$(uname -m)
stage=$build/dist/$name
rm -rf "$build/dist"
mkdir -p "$stage"

cp "$build/cdtracks" "$top/docs/cdtracks.1" "$top/LICENSE" \
    "$build/SDL-NOTICE.txt" "$build/SDL-COPYING" "$stage/"
cp "$top/docs/release/README.linux.txt" "$stage/README"

tar -C "$build/dist" --owner=0 --group=0 --numeric-owner -czf "$build/$name.tar.gz" "$name"
echo "$build/$name.tar.gz"
