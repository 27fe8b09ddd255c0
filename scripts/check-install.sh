#!/bin/sh
# Checks what users install: `make install` into a scratch prefix, and the
# Debian package installed on this machine (as root), run on the sample disc
# through the emulated drive and its man page found by man. Run by CI after
# `make check`, which builds the emulator.
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${BUILD:-build}
expected=tests/discs/sample.expected
scratch=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() { echo "check-install: $*" >&2; exit 1; }

echo "== make install into $scratch/prefix"
make --no-print-directory install PREFIX="$scratch/prefix" >/dev/null
[ -x "$scratch/prefix/bin/cdtracks" ] || fail "no bin/cdtracks"
man -l "$scratch/prefix/share/man/man1/cdtracks.1.gz" | grep -q "cdtracks" || fail "man -l failed"
scripts/demo.sh "$build" "$scratch/prefix/bin/cdtracks" 2>/dev/null >"$scratch/out"
cmp "$scratch/out" "$expected" || fail "installed cdtracks printed the wrong list"

echo "== make package"
make --no-print-directory package >/dev/null
deb=$(ls "$build"/cdtracks_*_*.deb)
dpkg-deb -f "$deb" Depends | grep -q libsdl1.2debian || fail "Depends lacks libsdl1.2debian"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "section is not utils"

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
echo "check-install: make install and the Debian package work"
