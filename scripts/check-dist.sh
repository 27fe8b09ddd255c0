#!/bin/sh
# Checks a binary tarball from `make dist`: it holds what it should, its
# cdtracks needs no library but libc, and, unpacked elsewhere, it lists the
# sample disc through the emulated drive built in BUILD (default build).
# Usage: check-dist.sh TARBALL
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
tarball=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
build=$(cd "${BUILD:-build}" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-dist.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() { echo "check-dist: $*" >&2; exit 1; }

tar -C "$scratch" -xzf "$tarball"
dir=$scratch/$(basename "$tarball" .tar.gz)
for f in cdtracks cdtracks.1 README.md LICENSE SDL-COPYING SDL-NOTICE.txt; do
    [ -f "$dir/$f" ] || fail "the tarball lacks $f"
done
"$top/tests/check-needed.sh" "$dir/cdtracks" >/dev/null || fail "cdtracks needs more than libc"
grep -q "GNU Lesser General Public License" "$dir/SDL-NOTICE.txt" || fail "no LGPL notice"

cd "$scratch"
"$top/scripts/demo.sh" "$build" "$dir/cdtracks" 2>/dev/null >"$scratch/out"
cmp "$scratch/out" "$top/tests/discs/sample.expected" || fail "the tarball's cdtracks printed the wrong list"
echo "check-dist: $(basename "$tarball") holds a working cdtracks"
