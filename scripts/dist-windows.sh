#!/bin/sh
# Packs the Windows cdtracks.exe of BUILD_DIR (a MinGW-w64 build) into
# BUILD_DIR/cdtracks-<version>-windows-x86_64.zip: the program, its manual
# page as plain text, the README, the licence, SDL's licence (SDL-COPYING)
# and SDL-NOTICE.txt, which says what is linked in and where its source is,
# with the patches applied to SDL (from BUILD_DIR/sdl-patches).
# Usage: dist-windows.sh BUILD_DIR
set -eu

build=$1
top=$(cd "$(dirname "$0")/.." && pwd)

if [ ! -f "$build/cdtracks.exe" ] || [ ! -f "$build/SDL-NOTICE.txt" ]; then
    echo "dist-windows: $build holds no Windows build (make dist-windows makes one)" >&2
    exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
name=cdtracks-$version-windows-x86_64
stage=$build/dist/$name
rm -rf "$build/dist"
mkdir -p "$stage"

cp "$build/cdtracks.exe" "$top/README.md" "$top/LICENSE" "$build/SDL-NOTICE.txt" \
    "$build/SDL-COPYING" "$stage/"
cp "$build"/sdl-patches/*.patch "$stage/"
# The manual page as plain text: no bold or underline by overstriking.
mandoc -T ascii "$top/docs/cdtracks.1" | sed 's/.\x08//g' >"$stage/cdtracks.txt"

rm -f "$build/$name.zip"
(cd "$build/dist" && cmake -E tar cf "../$name.zip" --format=zip "$name")
echo "$build/$name.zip"
