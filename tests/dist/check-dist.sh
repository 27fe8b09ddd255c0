#!/bin/sh
# Checks a binary tarball from `make dist`: it holds what it should, with a
# README of its own, which names no make target; its cdtracks is
# fully static and is, byte for byte, the one built (and tested) in BUILD,
# and, unpacked elsewhere, it lists the sample disc through the
# emulated drive built in BUILD (default build-dist).
# Usage: check-dist.sh TARBALL
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
tarball=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
build=$(cd "${BUILD:-build-dist}" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-dist.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
. "$top/tests/system/cases.sh"

fail() { echo "check-dist: $*" >&2; exit 1; }

tar -C "$scratch" -xzf "$tarball"
dir=$scratch/$(basename "$tarball" .tar.gz)
for f in cdtracks cdtracks.1 README LICENSE SDL-COPYING SDL-NOTICE.txt; do
    [ -f "$dir/$f" ] || fail "the tarball lacks $f"
done
# The archive's own README: there is no Makefile in it to run.
if grep -nw make "$dir/README" >&2; then
    fail "the tarball's README speaks of make, which the tarball has no use for"
fi
"$top/tests/check-needed.sh" --none "$dir/cdtracks" >/dev/null || fail "cdtracks is not fully static"
cmp -s "$dir/cdtracks" "$build/cdtracks" || fail "the tarball's cdtracks is not the one built in $build"
grep -q "GNU Lesser General Public License" "$dir/SDL-NOTICE.txt" || fail "no LGPL notice"
grep -q "GNU C Library" "$dir/SDL-NOTICE.txt" || fail "the notice does not name the C library"

run_case "$scratch" listing - - timeout --kill-after=5 60 \
    "$build/cdemu/with-disc" "$top/tests/discs/sample.disc" "$dir/cdtracks"
expect_case "$scratch" listing 0 "$(cat "$top/tests/discs/sample.expected")
" ""
[ "$cases_failed" -eq 0 ] || fail "the tarball's cdtracks did not list the sample disc"
echo "check-dist: $(basename "$tarball") holds a working, fully static cdtracks"
