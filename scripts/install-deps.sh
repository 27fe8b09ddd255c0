#!/bin/sh
# Installs the Debian packages that a make target needs, when any is missing.
# Usage: install-deps.sh demo|check|vm|vm-arm|bench|distros|dist-windows|windows|
#                        dist-i686|dist-aarch64|dist-armhf|release|foreign
# As root it runs apt-get itself; with password-less sudo it uses sudo;
# otherwise it prints the command to run and stops. It says in one line what
# it installs and about how much that is; apt's own output goes to a log
# that is shown only when apt fails.
#
# A package marked optional (a trailing '?') is left out, with a word, where
# the machine's archive does not have it; the tests that need it are then
# skipped and name it. Debian 11, for one, has no libsdl1.2-compat.
set -eu

build="cmake make g++ libsdl1.2-dev dpkg-dev autotools-dev"
case "${1:-}" in
demo)    packages="$build" ;;
check)   packages="$build libgtest-dev cd-discid valgrind mandoc libsdl1.2-compat? man-db lintian musl-tools" ;;
vm)      packages="$build qemu-system-x86 busybox-static genisoimage cd-discid" ;;
vm-arm)  packages="$build qemu-system-arm busybox-static genisoimage" ;;
bench)   packages="$build cd-discid valgrind hyperfine time" ;;
distros) packages="$build debootstrap git qemu-user-static" ;;
dist-windows) packages="$build gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 mandoc zip" ;;
windows) packages="$build gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 mandoc zip wine wine64" ;;
dist-i686)    packages="$build g++-i686-linux-gnu" ;;
dist-aarch64) packages="$build g++-aarch64-linux-gnu" ;;
dist-armhf)   packages="$build g++-arm-linux-gnueabihf" ;;
foreign) packages="$build qemu-user-static" ;;
release) packages="$build g++-i686-linux-gnu g++-aarch64-linux-gnu g++-arm-linux-gnueabihf
                   gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 mandoc zip unzip git" ;;
*)       echo "usage: $0 demo|check|vm|vm-arm|bench|distros|dist-windows|windows|dist-ARCH|release|foreign" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "install-deps: not a Debian system; make sure these are installed: $packages" >&2
    exit 0
fi

# Where libsdl1.2-dev is built from sdl12-compat (Debian 13 and later,
# Ubuntu 24.04 and later), it reads no CD-ROM drive: the build makes the
# classic SDL 1.2 itself, and installing it would only bring SDL 2's
# development files (X11, GL, sound) along.
sdl12_compat() { # PACKAGE
    [ "$(apt-cache show --no-all-versions "$1" 2>/dev/null | sed -n 's/^Source: *\([^ ]*\).*/\1/p' |
        head -n 1)" = sdl12-compat ]
}

missing=
for p in $packages; do
    name=${p%\?}
    if [ "$(dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null)" != installed ] &&
        ! { [ "$name" = libsdl1.2-dev ] && sdl12_compat "$name"; }; then
        missing="$missing $p"
    fi
done
[ -n "$missing" ] || exit 0

# "N packages, about X MB to download and Y MB on disk": what apt would
# install for PACKAGES, with what they need; empty where apt cannot tell.
how_much() { # PACKAGES...
    versions=$(LC_ALL=C apt-get install -s -qq --no-install-recommends "$@" 2>/dev/null |
        sed -n 's/^Inst \([^ ]*\) \(\[[^]]*\] \)\{0,1\}(\([^ ]*\) .*/\1=\3/p') || return 0
    [ -n "$versions" ] || return 0
    # shellcheck disable=SC2086
    apt-cache show --no-all-versions $versions 2>/dev/null | awk -v n="$(echo "$versions" | wc -l)" '
        /^Size:/ { download += $2 } /^Installed-Size:/ { disk += $2 * 1024 }
        END { printf "%d packages, about %.0f MB to download and %.0f MB on disk", n, download / 1e6, disk / 1e6 }'
}

if [ "$(id -u)" -ne 0 ] && ! { command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; }; then
    required=
    optional=
    for p in $missing; do
        case $p in
        *\?) optional="$optional ${p%\?}" ;;
        *) required="$required $p" ;;
        esac
    done
    # sudo can help where it is installed and the user is in a group that
    # Debian's or Ubuntu's sudoers lets run anything.
    as_root=" as root"
    sudo=
    if command -v sudo >/dev/null 2>&1 && id -Gn | tr ' ' '\n' | grep -qx -e sudo -e admin -e wheel; then
        as_root=
        sudo="sudo "
    fi
    if [ -n "$required" ]; then
        # shellcheck disable=SC2086
        size=$(how_much $required)
        echo "install-deps: missing:$required${size:+; with what they need, $size}" >&2
        echo "Install them$as_root, then run make again:" >&2
        echo "    ${sudo}apt-get install --no-install-recommends$required" >&2
    fi
    if [ -n "$optional" ]; then
        echo "install-deps: optional, where the archive has it:$optional" \
            "(without it, the tests that need it are skipped)" >&2
    fi
    if [ -n "$required" ]; then exit 1; fi
    exit 0
fi
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

# apt's output goes to a log, shown only when apt fails.
log=$(mktemp "${TMPDIR:-/tmp}/install-deps.XXXXXX")
trap 'rm -f "$log"' EXIT
trap 'exit 130' INT TERM
run_apt() { # APT-GET-ARGUMENTS...
    if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@" >>"$log" 2>&1; then
        echo "install-deps: apt-get $* failed:" >&2
        cat "$log" >&2
        exit 1
    fi
}

run_apt update
# Whether the archive has a package: apt knows a version to install.
available() {
    candidate=$(apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: *//p')
    [ -n "$candidate" ] && [ "$candidate" != "(none)" ]
}
install=
for p in $missing; do
    name=${p%\?}
    if [ "$name" = libsdl1.2-dev ] && sdl12_compat "$name"; then
        echo "install-deps: leaving out $name, which here is sdl12-compat and reads no CD-ROM" \
            "drive; the build makes the classic SDL 1.2 itself" >&2
    elif [ "$name" != "$p" ] && ! available "$name"; then
        echo "install-deps: leaving out $name, which this machine's archive does not have;" \
            "the tests that need it are skipped" >&2
    else
        install="$install $name"
    fi
done
[ -n "$install" ] || exit 0
# shellcheck disable=SC2086
size=$(how_much $install)
echo "install-deps: installing$install${size:+; with what they need, $size}" >&2
# shellcheck disable=SC2086
run_apt install -y -q --no-install-recommends $install
