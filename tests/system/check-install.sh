#!/bin/sh
# Checks what users install, leaving this machine as it was: `make install`
# into a scratch prefix (which must leave BUILD's configuration as it was),
# whose cdtracks lists the sample disc through the emulated drive and whose
# page man finds, and the Debian packages (one on the system's SDL, one with
# SDL linked in): their Depends, section and copyright, and lintian. A
# package installed with apt, its cdtracks run on the sample disc and its
# page shown by man, is check-distros.sh's, in roots of its own. Run by CI
# after `make check` in BUILD and in BUNDLED_BUILD, which build the emulator.
set -eu
export LC_ALL=C

top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
scripts/install-deps.sh package-check
build=${BUILD:-build}
bundled=${BUNDLED_BUILD:-build-bundled}
expected=tests/discs/sample.expected
scratch=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# (run_case runs its command through lifecycle.sh's lc_run.)
# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
# lintian rejects the placeholder maintainer; a real one comes from here.
export DEBEMAIL="${DEBEMAIL:-cdtracks CI <ci@example.org>}"

fail() { echo "check-install: $*" >&2; exit 1; }

# Runs CDTRACKS on the sample disc through BUILD's emulated drive, a minute
# at most, and checks that it printed the sample's list and nothing else.
lists_sample() { # NAME CDTRACKS
    run_case "$scratch" "$1" - - timeout --kill-after=5 60 \
        "$emulator/with-disc" "$top/tests/discs/sample.disc" "$2"
    expect_case "$scratch" "$1" 0 "$(cat "$expected")
" ""
    cases_ok || fail "$1: $2 did not list the sample disc"
}

[ -f "$build/CMakeCache.txt" ] && [ -x "$build/cdemu/with-disc" ] ||
    fail "$build has no build with the emulated drive: run make check first"
emulator=$(cd "$build/cdemu" && pwd)
cp "$build/CMakeCache.txt" "$scratch/cache-before"

echo "check-install: make install into $scratch/prefix" >&2
make --no-print-directory install PREFIX="$scratch/prefix" >/dev/null
[ -x "$scratch/prefix/bin/cdtracks" ] || fail "no bin/cdtracks"
cmp -s "$build/CMakeCache.txt" "$scratch/cache-before" ||
    fail "make install changed $build's configuration"
[ "$(man -M "$scratch/prefix/share/man" -w cdtracks)" = "$scratch/prefix/share/man/man1/cdtracks.1.gz" ] ||
    fail "man does not find the installed cdtracks(1) in $scratch/prefix/share/man"
man -l "$scratch/prefix/share/man/man1/cdtracks.1.gz" | grep -c "CD frames" >/dev/null ||
    fail "man -l shows another page than cdtracks(1)"
lists_sample installed "$scratch/prefix/bin/cdtracks"

echo "check-install: make package, on the system's SDL and with SDL linked in" >&2
make --no-print-directory package >/dev/null
make --no-print-directory package SDL=bundled BUILD="$bundled" >/dev/null
deb=$(ls "$build"/cdtracks_*_*.deb)
bundled_deb=$(ls "$bundled"/cdtracks_*_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
bundled_depends=$(dpkg-deb -f "$bundled_deb" Depends)
case $depends in *libsdl1.2debian*) ;; *) fail "Depends lacks libsdl1.2debian: $depends" ;; esac
case $bundled_depends in *sdl*) fail "the bundled package depends on SDL: $bundled_depends" ;; esac
dpkg-deb --fsys-tarfile "$bundled_deb" | tar -xO ./usr/share/doc/cdtracks/copyright \
    | grep -q "^License: LGPL-2.1+" || fail "the bundled package's copyright lacks SDL's licence"
for d in "$deb" "$bundled_deb"; do
    [ "$(dpkg-deb -f "$d" Section)" = utils ] || fail "$d: section is not utils"
    echo "lintian $d"
    lintian --fail-on error,warning "$d" || fail "lintian: $d"
done
echo "check-install: make install and both Debian packages, lintian included, pass"
