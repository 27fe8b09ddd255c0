#!/bin/sh
# Checks a binary tarball from `make dist`: it holds what it should, with a
# README of its own, which names no make target; its cdtracks is fully
# static and is, byte for byte, the one built (and tested) beside the
# tarball, and, unpacked elsewhere, it runs. An x86-64 or i686 cdtracks lists
# the sample disc through the emulated drive built in BUILD (default: the
# tarball's folder), whose tracer serves both. One for another processor
# cannot meet the emulator through qemu-user (which copies back only the
# first 4 bytes of a table-of-contents entry): it starts under qemu-user in
# an empty root, where there is no drive, and must print nothing, leave
# nothing and exit 0. So does an i686 one where the kernel runs no 32-bit
# x86 program.
# Usage: check-dist.sh TARBALL
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
tarball=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
built=$(dirname "$tarball")/cdtracks
build=$(cd "${BUILD:-$(dirname "$tarball")}" && pwd)
# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
lifecycle check-dist
scratch=$(scratch)

tar -C "$scratch" -xzf "$tarball"
name=$(basename "$tarball" .tar.gz)
dir=$scratch/$name
for f in cdtracks cdtracks.1 README LICENSE SDL-COPYING SDL-NOTICE.txt; do
    [ -f "$dir/$f" ] || die "the tarball lacks $f"
done
# The archive's own README: there is no Makefile in it to run.
if grep -nw make "$dir/README" >&2; then
    die "the tarball's README speaks of make, which the tarball has no use for"
fi
"$top/tests/check-needed.sh" --none "$dir/cdtracks" >/dev/null || die "cdtracks is not fully static"
cmp -s "$dir/cdtracks" "$built" || die "the tarball's cdtracks is not the one built in $(dirname "$built")"
grep -q "GNU Lesser General Public License" "$dir/SDL-NOTICE.txt" || die "no LGPL notice"
grep -q "GNU C Library" "$dir/SDL-NOTICE.txt" || die "the notice does not name the C library"

# Whether this machine's kernel runs the binary (one without 32-bit x86
# support does not run an i686 one): the shell's status 126 says it cannot.
runs_here() {
    _status=0
    (cd "$scratch" && exec "$dir/cdtracks") >/dev/null 2>&1 </dev/null || _status=$?
    [ $_status -ne 126 ]
}

arch=${name##*-linux-}
if [ "$arch" = i686 ] && ! runs_here; then
    say "this machine's kernel runs no 32-bit x86 program: the i686 cdtracks starts under" \
        "qemu-user instead (make check-vm ARCH=i686 lists every disc with it, on its own kernel)"
    arch=i686-emulated
fi
case $arch in
x86_64|i686)
    run_case "$scratch" listing - - timeout --kill-after=5 60 \
        "$build/cdemu/with-disc" "$top/tests/discs/sample.disc" "$dir/cdtracks"
    expect_case "$scratch" listing 0 "$(cat "$top/tests/discs/sample.expected")
" ""
    cases_ok || die "the tarball's cdtracks did not list the sample disc"
    echo "check-dist: $name.tar.gz holds a working, fully static cdtracks"
    exit 0 ;;
i686-emulated) qemu="qemu-i386-static" ;;
aarch64) qemu="qemu-aarch64-static" ;;
armhf)   qemu="qemu-arm-static" ;;
*)       die "$name: no way to run a cdtracks for that processor here" ;;
esac
command -v $qemu >/dev/null 2>&1 || die "$qemu is missing (Debian: qemu-user-static)"
root=$scratch/root
mkdir "$root"
cp "$(command -v $qemu)" "$dir/cdtracks" "$root/"
[ "$(id -u)" -eq 0 ] && as_root= || as_root=--map-root-user
run_case "$scratch" started - "$root" timeout --kill-after=5 60 \
    unshare $as_root --root="$root" --wd=/ /$qemu /cdtracks
expect_case "$scratch" started 0 "" "" "cdtracks
$qemu"
cases_ok || die "under $qemu with no drive, cdtracks did not start cleanly"
echo "check-dist: $name.tar.gz holds a fully static cdtracks that starts under $qemu (no drive: no output, status 0)"
