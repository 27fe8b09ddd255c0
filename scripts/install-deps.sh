#!/bin/sh
# Installs the Debian packages that a make target needs, when any is missing.
# Usage: install-deps.sh demo|check|vm|bench
# As root it runs apt-get itself; with password-less sudo it uses sudo;
# otherwise it prints the command to run and stops.
set -eu

build="cmake make g++ libsdl1.2-dev dpkg-dev"
case "${1:-}" in
demo)  packages="$build" ;;
check) packages="$build libgtest-dev cd-discid valgrind mandoc libsdl1.2-compat man-db lintian" ;;
vm)    packages="$build qemu-system-x86 busybox-static genisoimage cd-discid" ;;
bench) packages="$build cd-discid valgrind hyperfine time" ;;
*)     echo "usage: $0 demo|check|vm|bench" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "install-deps: not a Debian system; make sure these are installed: $packages" >&2
    exit 0
fi

missing=
for p in $packages; do
    if [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]; then
        missing="$missing $p"
    fi
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
    sudo=
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo=sudo
else
    echo "Missing packages:$missing" >&2
    echo "Install them, then run make again:" >&2
    echo "    sudo apt-get install --no-install-recommends$missing" >&2
    exit 1
fi

echo "Installing:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
