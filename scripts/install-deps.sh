#!/bin/sh
# Installs the Debian packages that make targets need, when any is missing.
# Usage: install-deps.sh TARGET...   (demo, check, vm, ...: see below)
# As root it runs apt-get itself, with password-less sudo it uses sudo;
# otherwise it names what is missing and the command to run, and stops. It
# says in one line what it installs and about how much that is; apt's own
# output goes to a log that is shown only when apt fails.
#
# A package marked optional (a trailing '?') is left out, with a word, where
# the archive does not have it (Debian 11 has no libsdl1.2-compat; an arm64
# archive may have no i686 cross compiler); the tests that need it are then
# skipped and name it. Where libsdl1.2-dev is
# sdl12-compat (Debian 13, Ubuntu 24.04 and later), which reads no CD-ROM
# drive, it is left out: the build makes the classic SDL itself.
set -eu
export LC_ALL=C

build="cmake make g++ libsdl1.2-dev dpkg-dev"
usage="usage: install-deps.sh TARGET...: build demo check package package-check vm vm-arm bench distros dist dist-ARCH dist-windows windows release foreign"
[ $# -gt 0 ] || { echo "$usage" >&2; exit 2; }
packages=$build
for target; do
    case $target in
    build|demo) ;;
    check)   packages="$packages libgtest-dev cd-discid valgrind mandoc libsdl1.2-compat? musl-tools
                       shellcheck busybox-static gcc-i686-linux-gnu? libc6-dev-i386-cross?" ;;
    package) packages="$packages file" ;;
    package-check) packages="$packages file lintian man-db" ;;
    vm)      packages="$packages qemu-system-x86 busybox-static genisoimage cd-discid" ;;
    vm-arm)  packages="$packages qemu-system-arm busybox-static genisoimage" ;;
    bench)   packages="$packages cd-discid valgrind hyperfine time" ;;
    distros) packages="$packages mmdebstrap git qemu-user-static" ;;
    # A release archive is dated from the last commit, which git gives.
    dist)         packages="$packages git" ;;
    dist-i686)    packages="$packages git g++-i686-linux-gnu" ;;
    dist-aarch64) packages="$packages git g++-aarch64-linux-gnu" ;;
    dist-armhf)   packages="$packages git g++-arm-linux-gnueabihf" ;;
    dist-windows) packages="$packages git gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 patch zip" ;;
    windows) packages="$packages gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 patch zip wine wine64" ;;
    foreign) packages="$packages qemu-user-static" ;;
    release) packages="$packages g++-i686-linux-gnu g++-aarch64-linux-gnu g++-arm-linux-gnueabihf
                       gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 patch zip unzip git" ;;
    *) echo "$usage" >&2; exit 2 ;;
    esac
done
packages=$(echo $packages | tr ' ' '\n' | awk '!seen[$0]++' | tr '\n' ' ')

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "install-deps: not a Debian system; make sure these are installed:" $packages >&2
    exit 0
fi

sdl12_compat() { # PACKAGE: whether the archive builds it from sdl12-compat
    [ "$1" = libsdl1.2-dev ] &&
        apt-cache show --no-all-versions "$1" 2>/dev/null | grep -q '^Source: sdl12-compat'
}
missing=
for p in $packages; do
    [ "$(dpkg-query -W -f='${db:Status-Status}' "${p%\?}" 2>/dev/null)" = installed ] ||
        sdl12_compat "$p" || missing="$missing $p"
done
[ -n "$missing" ] || exit 0

# "N packages, about X MB to download and Y MB on disk", as apt counts what
# it would install for PACKAGES; empty where it cannot tell.
how_much() { # PACKAGES...
    versions=$(apt-get install -s -qq --no-install-recommends "$@" 2>/dev/null |
        sed -n 's/^Inst \([^ ]*\) \(\[[^]]*\] \)\{0,1\}(\([^ ]*\) .*/\1=\3/p') || return 0
    [ -n "$versions" ] || return 0
    # shellcheck disable=SC2086
    apt-cache show --no-all-versions $versions 2>/dev/null | awk -v n="$(echo "$versions" | wc -l)" '
        /^Size:/ { down += $2 } /^Installed-Size:/ { disk += $2 * 1024 }
        function mb(bytes) { return bytes < 1e6 ? "less than 1 MB" : sprintf("about %.0f MB", bytes / 1e6) }
        END { printf "; with what they need, %d package%s, %s to download and %s on disk",
              n, n == 1 ? "" : "s", mb(down), mb(disk) }'
}

sudo=
if [ "$(id -u)" -ne 0 ]; then
    if ! { command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; }; then
        required=$(echo "$missing" | tr ' ' '\n' | grep -v '?$' | tr '\n' ' ' | sed 's/ *$//')
        optional=$(echo "$missing" | tr ' ' '\n' | sed -n 's/?$//p' | tr '\n' ' ' | sed 's/ *$//')
        [ -z "$optional" ] || echo "install-deps: optional, where the archive has it: $optional" \
            "(without it, the tests that need it are skipped)" >&2
        [ -n "$required" ] || exit 0
        # sudo helps where the user is in a group that Debian's or Ubuntu's
        # sudoers lets run anything.
        as="as root" run=
        if command -v sudo >/dev/null 2>&1 && id -Gn | tr ' ' '\n' | grep -qx -e sudo -e admin -e wheel; then
            as="with sudo" run="sudo "
        fi
        # shellcheck disable=SC2086
        echo "install-deps: missing: $required$(how_much $required)" >&2
        echo "Install them $as, then run make again:" >&2
        echo "    ${run}apt-get install --no-install-recommends $required" >&2
        exit 1
    fi
    sudo=sudo
fi

log=$(mktemp "${TMPDIR:-/tmp}/install-deps.XXXXXX")
trap 'rm -f "$log"' EXIT
trap 'exit 130' INT TERM
# apt_get: apt-get, its output in the log; apt: the same, where a failure
# ends the run, with the log.
apt_get() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@" >>"$log" 2>&1; } # ARGUMENTS...
apt() { # APT-GET-ARGUMENTS...
    apt_get "$@" || { echo "install-deps: apt-get $* failed:" >&2; cat "$log" >&2; exit 1; }
}
# apt's lists, fetched again unless an earlier run did so within the hour
# (make demo, then make check); and if the install fails on lists so kept.
# Every apt-get update works in the lists' partial/ folder, and so dates it;
# a list the archive has not changed keeps its older date. Lists that were
# removed since (as a minimal root's maker does) are no lists.
lists=$(apt-config shell lists Dir::State::Lists/d | sed -n "s/^lists='\(.*\)'$/\1/p")
lists=${lists:-/var/lib/apt/lists/}
updated=
if [ -z "$(find "${lists}partial" -maxdepth 0 -mmin -60 2>/dev/null)" ] ||
    [ -z "$(find "$lists" -maxdepth 1 -name '*_Packages*' 2>/dev/null | head -n 1)" ]; then
    apt update
    updated=1
fi
# What to install of the missing packages, as the lists say: sdl12-compat's
# libsdl1.2-dev and the optional packages the archive lacks are left out.
choose() {
    install=
    for p in $missing; do
        if sdl12_compat "$p"; then
            echo "install-deps: leaving out $p, which here is sdl12-compat and reads no CD-ROM drive;" \
                "the build makes the classic SDL 1.2 itself" >&2
        elif [ "$p" != "${p%\?}" ] && ! apt-cache show --no-all-versions "${p%\?}" >/dev/null 2>&1; then
            echo "install-deps: leaving out ${p%\?}, which this machine's archive does not have;" \
                "the tests that need it are skipped" >&2
        else
            install="$install ${p%\?}"
        fi
    done
}
choose
[ -n "$install" ] || exit 0
# shellcheck disable=SC2086
echo "install-deps: installing$install$(how_much $install)" >&2
# On lists kept from an earlier run, a failure may be theirs: they are
# fetched again, what to install chosen again on them, and the install
# tried once more.
# shellcheck disable=SC2086
if [ -z "$updated" ] && ! apt_get install -y -q --no-install-recommends $install; then
    apt update
    updated=1
    choose
    [ -n "$install" ] || exit 0
fi
# shellcheck disable=SC2086
[ -z "$updated" ] || apt install -y -q --no-install-recommends $install
