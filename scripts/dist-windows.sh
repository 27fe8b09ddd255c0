#!/bin/sh
# Packs the Windows cdtracks.exe of BUILD_DIR (a MinGW-w64 build) into
# BUILD_DIR/cdtracks-<version>-windows-x86_64.zip: the program, its manual
# page as plain text, a README for the zip (docs/release/README.windows.txt),
# the licence, SDL's licence (SDL-COPYING), SDL-NOTICE.txt, which says what
# is linked in and where its source is, and the patches applied to SDL (from
# BUILD_DIR/sdl-patches). The text files have Windows' CR LF line ends; the
# patches stay as they are, to apply to SDL's source.
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

cp "$build/cdtracks.exe" "$stage/"
# Text files as Windows' own: CR LF line ends.
crlf() { # SOURCE (- for standard input) NAME
    awk '{ sub(/\r$/, ""); printf "%s\r\n", $0 }' "$1" >"$stage/$2"
}
crlf "$top/docs/release/README.windows.txt" README.txt
crlf "$top/LICENSE" LICENSE
crlf "$build/SDL-NOTICE.txt" SDL-NOTICE.txt
crlf "$build/SDL-COPYING" SDL-COPYING
cp "$build"/sdl-patches/*.patch "$stage/"
# The manual page as plain text: no bold or underline by overstriking.
mandoc -T ascii "$top/docs/cdtracks.1" | sed 's/.\x08//g' | crlf - cdtracks.txt

rm -f "$build/$name.zip"
(cd "$build/dist" && cmake -E tar cf "../$name.zip" --format=zip "$name")
echo "$build/$name.zip"
