#!/bin/sh
# Installs the Debian packages that a make target needs, when any is missing.
# Usage: install-deps.sh demo|check|vm|bench|distros|dist-windows|windows
# As root it runs apt-get itself; with password-less sudo it uses sudo;
# otherwise it prints the command to run and stops.
#
# A package marked optional (a trailing '?') is left out, with a word, where
# the machine's archive does not have it; the tests that need it are then
# skipped and name it. Debian 11, for one, has no libsdl1.2-compat.
set -eu

build="cmake make g++ libsdl1.2-dev dpkg-dev"
case "${1:-}" in
demo)    packages="$build" ;;
check)   packages="$build libgtest-dev cd-discid valgrind mandoc libsdl1.2-compat? man-db lintian musl-tools" ;;
vm)      packages="$build qemu-system-x86 busybox-static genisoimage cd-discid" ;;
bench)   packages="$build cd-discid valgrind hyperfine time" ;;
distros) packages="$build debootstrap git" ;;
dist-windows) packages="$build gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 mandoc" ;;
windows) packages="$build gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 mandoc wine wine64" ;;
*)       echo "usage: $0 demo|check|vm|bench|distros|dist-windows|windows" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "install-deps: not a Debian system; make sure these are installed: $packages" >&2
    exit 0
fi

missing=
for p in $packages; do
    name=${p%\?}
    if [ "$(dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null)" != installed ]; then
        missing="$missing $p"
    fi
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
    sudo=
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo=sudo
else
    echo "Missing packages:$missing" | tr -d '?' >&2
    echo "Install them (those marked optional may be left out), then run make again:" >&2
    echo "    sudo apt-get install --no-install-recommends$missing" | tr -d '?' >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# Whether the archive has a package: apt knows a version to install.
available() {
    candidate=$(apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: *//p')
    [ -n "$candidate" ] && [ "$candidate" != "(none)" ]
}
install=
for p in $missing; do
    name=${p%\?}
    if [ "$name" != "$p" ] && ! available "$name"; then
        echo "install-deps: leaving out $name: this machine's archive does not have it;" \
            "the tests that need it are skipped" >&2
    else
        install="$install $name"
    fi
done
[ -n "$install" ] || exit 0
echo "Installing:$install" >&2
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $install
