#!/bin/sh
# Checks what users install, leaving this machine as it was: `make install`
# into a scratch prefix (which must leave BUILD's configuration as it was),
# and with a DESTDIR and a prefix that hold a blank and a letter outside
# ASCII, whose cdtracks lists the sample disc through the emulated drive and
# whose page man finds; and the Debian packages (one on the system's SDL, one
# with SDL linked in): their Depends, section and copyright, and lintian,
# built with no DEBEMAIL (one with no git identity either, so that its
# maintainer is the placeholder cmake/maintainer.cmake gives). A
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
# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
lifecycle check-install
cases=$(scratch cases)
# The package's maintainer is the builder's, or a placeholder: none is set here.
unset DEBEMAIL DEBFULLNAME

# Runs CDTRACKS on the sample disc through BUILD's emulated drive, a minute
# at most, and checks that it printed the sample's list and nothing else.
lists_sample() { # NAME CDTRACKS
    run_case "$cases" "$1" - - timeout --kill-after=5 60 \
        "$emulator/with-disc" "$top/tests/discs/sample.disc" "$2"
    expect_case "$cases" "$1" 0 "$(cat "$expected")
" ""
    cases_ok || die "$1: $2 did not list the sample disc"
}
# Checks that man finds the page installed in MANDIR and shows cdtracks(1).
man_finds() { # MANDIR
    [ "$(man -M "$1" -w cdtracks)" = "$1/man1/cdtracks.1.gz" ] ||
        die "man does not find the installed cdtracks(1) in $1"
    man -l "$1/man1/cdtracks.1.gz" | grep -c "CD frames" >/dev/null ||
        die "man -l shows another page than cdtracks(1) in $1"
}

[ -f "$build/CMakeCache.txt" ] && [ -x "$build/cdemu/with-disc" ] ||
    die "$build has no build with the emulated drive: run make check first"
emulator=$(cd "$build/cdemu" && pwd)
kept=$(scratch kept)
cp "$build/CMakeCache.txt" "$kept/cache-before"

prefix=$(scratch prefix)
say "make install into $prefix"
limited 900 make --no-print-directory install PREFIX="$prefix" >/dev/null || die "make install failed"
[ -x "$prefix/bin/cdtracks" ] || die "no bin/cdtracks"
cmp -s "$build/CMakeCache.txt" "$kept/cache-before" ||
    die "make install changed $build's configuration"
man_finds "$prefix/share/man"
lists_sample installed "$prefix/bin/cdtracks"

# Folders with a blank and a letter outside ASCII: each reaches make's
# commands as one word.
staged=$(scratch staged)
destdir="$staged/dest dir é"
odd_prefix="/opt/cd tracks ø"
say "make install DESTDIR=\"$destdir\" PREFIX=\"$odd_prefix\""
limited 900 make --no-print-directory install DESTDIR="$destdir" PREFIX="$odd_prefix" >/dev/null ||
    die "make install with a DESTDIR and a PREFIX that hold blanks failed"
[ -x "$destdir$odd_prefix/bin/cdtracks" ] || die "no bin/cdtracks under $destdir$odd_prefix"
stray=$(find "$staged" -type f ! -path "$destdir$odd_prefix/*")
[ -z "$stray" ] || die "make install put files outside $destdir$odd_prefix: $stray"
man_finds "$destdir$odd_prefix/share/man"
lists_sample staged "$destdir$odd_prefix/bin/cdtracks"

say "make package, on the system's SDL and with SDL linked in"
# The first with no git identity either: its maintainer is the placeholder.
home=$(scratch home)
limited 900 env HOME="$home" XDG_CONFIG_HOME="$home" GIT_CONFIG_NOSYSTEM=1 \
    make --no-print-directory package >/dev/null || die "make package failed"
limited 1800 make --no-print-directory package SDL=bundled BUILD="$bundled" >/dev/null ||
    die "make package SDL=bundled failed"
deb=$(ls "$build"/cdtracks_*_*.deb)
placeholder=$(env HOME="$home" XDG_CONFIG_HOME="$home" GIT_CONFIG_NOSYSTEM=1 \
    cmake -DFOLDER="$top" -P cmake/maintainer.cmake)
[ "$(dpkg-deb -f "$deb" Maintainer)" = "$placeholder" ] ||
    die "$deb: its maintainer is '$(dpkg-deb -f "$deb" Maintainer)', not '$placeholder'"
bundled_deb=$(ls "$bundled"/cdtracks_*_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
bundled_depends=$(dpkg-deb -f "$bundled_deb" Depends)
case $depends in *libsdl1.2debian*) ;; *) die "Depends lacks libsdl1.2debian: $depends" ;; esac
case $bundled_depends in *sdl*) die "the bundled package depends on SDL: $bundled_depends" ;; esac
dpkg-deb --fsys-tarfile "$bundled_deb" | tar -xO ./usr/share/doc/cdtracks/copyright \
    | grep -q "^License: LGPL-2.1+" || die "the bundled package's copyright lacks SDL's licence"
for d in "$deb" "$bundled_deb"; do
    [ "$(dpkg-deb -f "$d" Section)" = utils ] || die "$d: section is not utils"
    echo "lintian $d"
    limited 600 lintian --fail-on error,warning "$d" || die "lintian: $d"
done
echo "check-install: make install (a DESTDIR and a prefix with blanks too) and both Debian packages, lintian included, pass"
