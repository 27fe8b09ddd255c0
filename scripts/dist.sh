#!/bin/sh
# Packs a built cdtracks with SDL linked in into
# BUILD_DIR/cdtracks-<version>-linux-<arch>.tar.gz: the binary, its manual
# page, the README, the licence, SDL's licence and the notice of which SDL
# source was linked in.
# Usage: dist.sh BUILD_DIR
set -eu

build=$1
top=$(cd "$(dirname "$0")/.." && pwd)

if [ ! -f "$build/SDL-NOTICE.txt" ]; then
    echo "dist: $build is not a build with SDL linked in (CDTRACKS_SDL=bundled)" >&2
    exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
name=cdtracks-$version-linux-$(uname -m)
stage=$build/dist/$name
rm -rf "$build/dist"
mkdir -p "$stage"

cp "$build/cdtracks" "$stage/cdtracks"
strip "$stage/cdtracks"
cp "$top/docs/cdtracks.1" "$top/README.md" "$top/LICENSE" "$build/SDL-NOTICE.txt" \
    "$build/SDL-COPYING" "$stage/"

tar -C "$build/dist" --owner=0 --group=0 --numeric-owner -czf "$build/$name.tar.gz" "$name"
echo "$build/$name.tar.gz"
