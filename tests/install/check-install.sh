#!/bin/sh
# Checks what users install: `make install` into a scratch prefix, the Debian
# packages (one on the system's SDL, one with SDL linked in) checked by
# lintian, and the first installed on this machine (as root), run on the
# sample disc through the emulated drive, its man page found by man. Run by
# CI after `make check` in BUILD and in BUNDLED_BUILD, which build the
# emulator.
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
build=${BUILD:-build}
bundled=${BUNDLED_BUILD:-build-bundled}
expected=tests/discs/sample.expected
scratch=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# lintian rejects the placeholder maintainer; a real one comes from here.
export DEBEMAIL="${DEBEMAIL:-cdtracks CI <ci@example.org>}"

fail() { echo "check-install: $*" >&2; exit 1; }

echo "== make install into $scratch/prefix"
make --no-print-directory install PREFIX="$scratch/prefix" >/dev/null
[ -x "$scratch/prefix/bin/cdtracks" ] || fail "no bin/cdtracks"
man -l "$scratch/prefix/share/man/man1/cdtracks.1.gz" | grep -q "cdtracks" || fail "man -l failed"
scripts/demo.sh "$build" "$scratch/prefix/bin/cdtracks" 2>/dev/null >"$scratch/out"
cmp "$scratch/out" "$expected" || fail "installed cdtracks printed the wrong list"

echo "== make package, on the system's SDL and with SDL linked in"
make --no-print-directory package >/dev/null
make --no-print-directory package SDL=bundled BUILD="$bundled" >/dev/null
deb=$(ls "$build"/cdtracks_*_*.deb)
bundled_deb=$(ls "$bundled"/cdtracks_*_*.deb)
dpkg-deb -f "$deb" Depends | grep -q libsdl1.2debian || fail "Depends lacks libsdl1.2debian"
if dpkg-deb -f "$bundled_deb" Depends | grep -q sdl; then
    fail "the bundled package depends on SDL: $(dpkg-deb -f "$bundled_deb" Depends)"
fi
dpkg-deb --fsys-tarfile "$bundled_deb" | tar -xO ./usr/share/doc/cdtracks/copyright \
    | grep -q "^License: LGPL-2.1+" || fail "the bundled package's copyright lacks SDL's licence"
for d in "$deb" "$bundled_deb"; do
    [ "$(dpkg-deb -f "$d" Section)" = utils ] || fail "$d: section is not utils"
    echo "lintian $d"
    lintian --fail-on error,warning "$d" || fail "lintian: $d"
done

if [ "$(id -u)" -ne 0 ]; then
    echo "check-install: not root, not installing $deb" >&2
    exit 0
fi
echo "== apt-get install $deb"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "./$deb" >/dev/null
trap 'apt-get remove -y -qq cdtracks >/dev/null; rm -rf "$scratch"' EXIT
scripts/demo.sh "$build" /usr/bin/cdtracks 2>/dev/null >"$scratch/out"
cmp "$scratch/out" "$expected" || fail "the packaged cdtracks printed the wrong list"
[ "$(man -w cdtracks)" = /usr/share/man/man1/cdtracks.1.gz ] || fail "man does not find cdtracks(1)"
man cdtracks 2>/dev/null | grep -q "CD frames" || fail "man cdtracks shows the wrong page"
echo "check-install: make install, both Debian packages and lintian pass"
