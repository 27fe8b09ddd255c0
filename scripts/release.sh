#!/bin/sh
# Gathers the release into RELEASE_DIR, emptied first: the tarball or zip
# of each of the make dist and make dist-windows folders given, and
# SHA256SUMS, their sums, which `sha256sum -c SHA256SUMS` checks there.
# Usage: release.sh RELEASE_DIR BUILD_DIR...
set -eu

[ $# -ge 2 ] || { echo "usage: $0 RELEASE_DIR BUILD_DIR..." >&2; exit 2; }
LC_ALL=C
export LC_ALL
out=$1
shift
rm -rf "$out"
mkdir -p "$out"
for build; do
    found=0
    for f in "$build"/cdtracks-*-linux-*.tar.gz "$build"/cdtracks-*-windows-*.zip; do
        [ -f "$f" ] || continue
        cp "$f" "$out/"
        found=$((found + 1))
    done
    [ $found -eq 1 ] || { echo "release: $build holds $found release files, not 1" >&2; exit 1; }
done
(cd "$out" && sha256sum -- cdtracks-* >SHA256SUMS)
echo "release: in $out:"
cat "$out/SHA256SUMS"
