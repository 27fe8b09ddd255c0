#!/bin/sh
# Configures the project against Debian's real SDL 1.2 development files,
# unpacked into a scratch folder: CDTRACKS_SDL=auto keeps the classic SDL and
# builds its own where the files are sdl12-compat's. Then the configure-time
# errors for bad input. Nothing is built.
# Usage: sdl-choice.sh SOURCE_DIR SCRATCH_DIR
# Exits 77 (skipped) when the packages cannot be downloaded, except in CI.
set -u
# cmake's and the compilers' words are read below.
export LC_ALL=C

top=$1
scratch=$2
failures=0
mkdir -p "$scratch/debs"

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Runs cmake on a fresh build folder; keeps its output in $out.
configure() {
    rm -rf "$scratch/build"
    out=$(cmake -S "$top" -B "$scratch/build" -DCDTRACKS_TESTS=OFF "$@" 2>&1)
}

# expect_configure WHAT STATUS TEXT CMAKE_ARGS...: the configure succeeds
# (STATUS ok) or fails (STATUS error), saying TEXT.
expect_configure() {
    what=$1 status=$2 text=$3
    shift 3
    if configure "$@"; then got=ok; else got=error; fi
    if [ "$got" != "$status" ]; then
        fail "$what: configure ended in $got, not $status"
        echo "$out" | tail -20 >&2
    elif ! echo "$out" | tr -s ' \n' '  ' | grep -qF -- "$text"; then
        fail "$what: configure did not say: $text"
        echo "$out" | tail -20 >&2
    else
        echo "ok: $what"
    fi
}

# Debian's packages, downloaded once (as root, after updating apt's lists
# if they are missing). Which holds what differs by release: Debian 12 has
# the classic SDL as libsdl1.2-dev and sdl12-compat as libsdl1.2-compat-dev;
# Debian 13 has sdl12-compat as libsdl1.2-dev and no classic one; Debian 11
# has no sdl12-compat. Each package is taken where the archive has it.
download() { # PACKAGE
    ls "$scratch/debs/${1}_"*.deb >/dev/null 2>&1 ||
        (cd "$scratch/debs" && apt-get download -q "$1" >/dev/null 2>&1)
}
packages="libsdl1.2-dev libsdl1.2debian libsdl1.2-compat-dev libsdl1.2-compat"
for p in $packages; do
    download "$p" || { [ "$(id -u)" -eq 0 ] && [ ! -f "$scratch/updated" ] &&
        apt-get update -qq && touch "$scratch/updated" && download "$p"; } || true
done
rm -rf "$scratch/set-dev" "$scratch/set-compat"
for p in $packages; do
    case $p in *compat*) set=compat ;; *) set=dev ;; esac
    for deb in "$scratch/debs/${p}_"*.deb; do
        [ -f "$deb" ] && dpkg-deb -x "$deb" "$scratch/set-$set"
    done
done
# Sorts the unpacked sets by their headers: the classic SDL's patch level is
# under 50, sdl12-compat's 50 or more.
classic='' compat=''
for set in "$scratch/set-dev" "$scratch/set-compat"; do
    header=$set/usr/include/SDL/SDL_version.h
    [ -f "$header" ] || continue
    patch=$(sed -n 's/^#define[[:space:]]*SDL_PATCHLEVEL[[:space:]]*\([0-9]*\).*/\1/p' "$header")
    if [ "${patch:-0}" -lt 50 ]; then classic=$set; else compat=$set; fi
done
if [ -z "$classic" ] && [ -z "$compat" ]; then
    echo "cannot download Debian's SDL 1.2 development packages ($packages)" >&2
    [ -n "${CI:-}" ] && exit 1
    exit 77
fi
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
sdl_of() { echo "-DSDL_INCLUDE_DIR=$1/usr/include/SDL" "-DSDL_LIBRARY=$1/usr/lib/$arch/libSDL.so"; }

# A stand-in SDL 1.2 source folder: enough to configure with, never built.
stub=$scratch/stub-sdl
mkdir -p "$stub/include"
mkdir -p "$stub/build-scripts"
printf '#!/bin/sh\nexit 1\n' >"$stub/configure"
chmod +x "$stub/configure"
echo "config.sub of 2009" >"$stub/build-scripts/config.sub"
printf '#define SDL_MAJOR_VERSION\t1\n#define SDL_MINOR_VERSION\t2\n#define SDL_PATCHLEVEL\t\t15\n' \
    >"$stub/include/SDL_version.h"
echo "    Copyright (C) 1997-2012 The SDL authors" >"$stub/include/SDL.h"
echo "SDL's licence" >"$stub/COPYING"

if [ -n "$compat" ]; then
    # shellcheck disable=SC2046
    expect_configure "auto on sdl12-compat" ok \
        "cdtracks SDL: bundled (the classic SDL 1.2.15 built from source and linked in): the SDL 1.2 found ($compat/usr/include/SDL) is sdl12-compat 1.2." \
        $(sdl_of "$compat") -DCDTRACKS_SDL_SOURCE="$stub"
else
    echo "skipped: auto on sdl12-compat: this machine's archive has no sdl12-compat development files"
fi
if [ -n "$classic" ]; then
    # shellcheck disable=SC2046
    expect_configure "auto on the classic SDL" ok \
        "cdtracks SDL: system: the SDL 1.2 found ($classic/usr/include/SDL) is the classic SDL 1.2.15" \
        $(sdl_of "$classic")
else
    echo "skipped: auto on the classic SDL: this machine's archive has no classic SDL 1.2"
fi
expect_configure "auto without any SDL 1.2" ok \
    "cdtracks SDL: bundled (the classic SDL 1.2.15 built from source and linked in): no SDL 1.2 was found" \
    -DCMAKE_DISABLE_FIND_PACKAGE_SDL=TRUE -DCDTRACKS_SDL_SOURCE="$stub"
# SDL is built from a copy whose config.sub is the machine's current one.
cmp -s "$scratch/build/sdl/source/build-scripts/config.sub" /usr/share/misc/config.sub ||
    fail "the copy of SDL's source that is built keeps SDL's own config.sub"
[ "$(cat "$stub/build-scripts/config.sub")" = "config.sub of 2009" ] ||
    fail "the given SDL source was changed in place"

# Bad input: each stops configure with what is wrong and how to mend it.
expect_configure "an unknown choice" error \
    "CDTRACKS_SDL is 'static'; use one of: system the SDL 1.2 installed on this machine bundled" \
    -DCDTRACKS_SDL=static
expect_configure "a source that does not exist" error \
    "($scratch/nowhere) does not exist" -DCDTRACKS_SDL=bundled -DCDTRACKS_SDL_SOURCE="$scratch/nowhere"
expect_configure "a source of something else" error \
    "is not an SDL 1.2 source: it has no include/SDL_version.h" \
    -DCDTRACKS_SDL=bundled -DCDTRACKS_SDL_SOURCE="$scratch/debs"
echo "not SDL" >"$scratch/SDL-1.2.15.tar.gz"
expect_configure "a tarball that is not the release" error \
    "is not the SDL 1.2.15 release: its SHA-256 is" \
    -DCDTRACKS_SDL=bundled -DCDTRACKS_SDL_SOURCE="$scratch/SDL-1.2.15.tar.gz"
expect_configure "no source and no download" error \
    "Supply the source in one of three ways:" \
    -DCDTRACKS_SDL=bundled -DCDTRACKS_SDL_URL="file://$scratch/nowhere/SDL-1.2.15.tar.gz"
# Through make's front end, a build that cannot download SDL takes Debian's
# source instead and says so in one line, with no error on the way.
if out=$(SDL_SOURCES_DIR="$scratch/sources" "$top/scripts/configure.sh" "$scratch/build" \
    -DCDTRACKS_SDL=bundled -DCDTRACKS_TESTS=OFF \
    -DCDTRACKS_SDL_URL="file://$scratch/nowhere/SDL-1.2.15.tar.gz" 2>&1); then
    said=$(echo "$out" | grep -c "^cdtracks SDL source: ")
    echo "$out" | grep -q "^cdtracks SDL source: .*: Debian's libsdl1.2 source.*, fetched with apt, because SDL's download is out of reach" ||
        fail "the front end did not say it took Debian's source: $out"
    [ "$said" -eq 1 ] || fail "the front end named the SDL source $said times"
    if echo "$out" | grep -qi "error"; then
        fail "the front end's fallback printed an error: $out"
    else
        echo "ok: no download: Debian's source, said once"
    fi
else
    fail "the front end failed where Debian's source can be fetched: $out"
fi
rm -rf "$scratch/sources"

sdl2=$scratch/sdl2/include/SDL2
mkdir -p "$sdl2"
printf '#define SDL_MAJOR_VERSION   2\n#define SDL_MINOR_VERSION   26\n#define SDL_PATCHLEVEL      5\n' \
    >"$sdl2/SDL_version.h"
touch "$sdl2/SDL.h"
expect_configure "SDL 2 headers" error \
    "are SDL 2.26.5; cdtracks needs SDL 1.2." \
    -DSDL_INCLUDE_DIR="$sdl2" -DSDL_LIBRARY="$scratch/sdl2/libSDL2.so"

rm -rf "$scratch/build"
[ "$failures" -eq 0 ]
