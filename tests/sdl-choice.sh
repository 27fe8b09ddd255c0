#!/bin/sh
# Which SDL 1.2 scripts/configure.sh chooses, and which source, what it
# says, and what it hands CMake; the errors for bad input, each saying what
# is wrong and how to mend it. Nothing is built. CMake itself runs where what
# it does is checked; elsewhere a stand-in says what it was handed (a
# configure costs a minute and more where the tests run emulated).
# Usage: sdl-choice.sh SOURCE_DIR SCRATCH_DIR           stand-in headers and
#                                                       sources, no network
#        sdl-choice.sh SOURCE_DIR SCRATCH_DIR --debian  Debian's real SDL 1.2
#                      development packages, and Debian's source fetched with
#                      apt where SDL's download is out of reach
# Exits 77 (skipped) when Debian's packages cannot be downloaded, except in CI.
set -u
# cmake's and the compilers' words are read below.
export LC_ALL=C

top=$1
scratch=$2
failures=0
rm -rf "$scratch"
mkdir -p "$scratch"

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A stand-in for CMake: it says what it was handed ("cmake: ARGS") and keeps
# the -D settings in the folder's cache, as CMake would.
cat >"$scratch/cmake" <<'STUB'
#!/bin/sh
echo "cmake: $*" >&2
cache=
while [ $# -gt 0 ]; do
    case $1 in
    -B) build=$2; shift ;;
    -D*=*) set=${1#-D}; cache="$cache${set%%=*}:STRING=${set#*=}
" ;;
    esac
    shift
done
mkdir -p "$build" && printf '%s' "$cache" >"$build/CMakeCache.txt"
STUB
chmod +x "$scratch/cmake"

# configure [ENV=VALUE...] -- CMAKE_ARGS...: configure.sh on the folder
# scratch/build, with the stand-in CMake unless an ENV says otherwise; each
# argument stays one word, whatever blanks the paths hold.
configure() {
    _seen=
    for _arg; do
        shift
        if [ -z "$_seen" ] && [ "$_arg" = -- ]; then
            _seen=1
            set -- "$@" "$top/scripts/configure.sh" "$scratch/build" -DCDTRACKS_TESTS=OFF
        else
            set -- "$@" "$_arg"
        fi
    done
    env CMAKE="$scratch/cmake" "$@"
}

# expect WHAT ok|error TEXT [ENV=VALUE...] -- CMAKE_ARGS...: configure.sh on
# a fresh folder succeeds or fails, saying TEXT (blanks and line ends as
# one blank); its output is kept in $out. CMAKE=cmake among the ENV runs
# CMake itself.
expect() {
    what=$1 status=$2 text=$3
    shift 3
    rm -rf "$scratch/build"
    if out=$(configure "$@" 2>&1); then got=ok; else got=error; fi
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

# Stand-in SDL headers (VERSION as MAJOR MINOR PATCH) and a library file for
# FindSDL to find.
headers() { # DIR MAJOR MINOR PATCH
    mkdir -p "$1"
    printf '#define SDL_MAJOR_VERSION\t%s\n#define SDL_MINOR_VERSION\t%s\n#define SDL_PATCHLEVEL\t\t%s\n' \
        "$2" "$3" "$4" >"$1/SDL_version.h"
    touch "$1/SDL.h" "$1/libSDL.so"
}
# A stand-in SDL 1.2 source folder: enough to configure with, never built.
stub_source() { # DIR
    mkdir -p "$1/include" "$1/src"
    echo "int SDL_Init(void);" >"$1/src/SDL.c"
    echo "the source's own" >"$1/include/SDL_config.h"
    printf '#define SDL_MAJOR_VERSION\t1\n#define SDL_MINOR_VERSION\t2\n#define SDL_PATCHLEVEL\t\t15\n' \
        >"$1/include/SDL_version.h"
    echo "    Copyright (C) 1997-2012 The SDL authors" >"$1/include/SDL.h"
    echo "SDL's licence" >"$1/COPYING"
}
bundled="cdtracks SDL: bundled (the classic SDL 1.2.15 built from source and linked in):"
stub=$scratch/stub
stub_source "$stub"

if [ "${3:-}" = --debian ]; then
    # Debian's packages, downloaded. Which holds what differs by release:
    # Debian 12 has the classic SDL as libsdl1.2-dev and sdl12-compat as
    # libsdl1.2-compat-dev; Debian 13 has sdl12-compat as libsdl1.2-dev;
    # Debian 11 has no sdl12-compat. Each package is taken where the archive
    # has it, and the unpacked sets told apart by their headers.
    mkdir -p "$scratch/debs"
    real=CMAKE=cmake
    for p in libsdl1.2-dev libsdl1.2debian libsdl1.2-compat-dev libsdl1.2-compat; do
        (cd "$scratch/debs" && apt-get download -q "$p" >/dev/null 2>&1) || continue
        case $p in *compat*) set=compat ;; *) set=dev ;; esac
        for deb in "$scratch/debs/${p}_"*.deb; do dpkg-deb -x "$deb" "$scratch/set-$set"; done
    done
    classic='' compat=''
    for set in "$scratch/set-dev" "$scratch/set-compat"; do
        header=$set/usr/include/SDL/SDL_version.h
        [ -f "$header" ] || continue
        patch=$(awk '$2 == "SDL_PATCHLEVEL" { print $3 }' "$header")
        if [ "${patch:-0}" -lt 50 ]; then classic=$set; else compat=$set; fi
    done
    if [ -z "$classic$compat" ]; then
        echo "cannot download Debian's SDL 1.2 development packages" >&2
        [ -n "${CI:-}" ] && exit 1
        exit 77
    fi
    arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
    if [ -n "$compat" ]; then
        expect "auto on Debian's sdl12-compat" ok \
            "$bundled the SDL 1.2 found ($compat/usr/include/SDL) is sdl12-compat 1.2." -- \
            -DSDL_INCLUDE_DIR="$compat/usr/include/SDL" -DCDTRACKS_SDL_SOURCE="$stub"
    else
        echo "skipped: auto on sdl12-compat: this machine's archive has no sdl12-compat development files"
    fi
    if [ -n "$classic" ]; then
        expect "auto on Debian's classic SDL" ok \
            "cdtracks SDL: system: the SDL 1.2 found ($classic/usr/include/SDL) is the classic SDL 1.2.15" $real -- \
            -DSDL_INCLUDE_DIR="$classic/usr/include/SDL" -DSDL_LIBRARY="$classic/usr/lib/$arch/libSDL.so"
    else
        echo "skipped: auto on the classic SDL: this machine's archive has no classic SDL 1.2"
    fi
    # SDL's download out of reach: Debian's source instead, said once, with
    # no error on the way, and named in the notice.
    expect "no download: Debian's source" ok \
        "Debian's libsdl1.2 source" $real SDL_SOURCES_DIR="$scratch/sources" \
        SDL_URL="file://$scratch/nowhere/SDL-1.2.15.tar.gz" -- -DCDTRACKS_SDL=bundled
    said=$(echo "$out" | grep -c "^cdtracks SDL source: .*: Debian's libsdl1.2 source (.*'s), fetched with apt, because SDL's download is out of reach")
    [ "$said" -eq 1 ] || fail "no download: the source was named $said times, not once: $out"
    echo "$out" | grep -qi error && fail "no download: the fallback printed an error: $out"
    grep -q "^Debian's source package libsdl1.2=1.2.15" "$scratch/build/SDL-NOTICE.txt" ||
        fail "no download: SDL-NOTICE.txt does not name Debian's source: $(cat "$scratch/build/SDL-NOTICE.txt")"
    [ "$failures" -eq 0 ]
    exit
fi

# Nothing here may download, whatever fails: the tools that would are
# stand-ins that refuse.
mkdir "$scratch/offline"
for tool in curl wget apt-get; do
    printf '#!/bin/sh\necho "%s: no download in this test" >&2\nexit 1\n' "$tool" >"$scratch/offline/$tool"
    chmod +x "$scratch/offline/$tool"
done
PATH=$scratch/offline:$PATH
SDL_URL=file://$scratch/nowhere/SDL-1.2.15.tar.gz
export PATH SDL_URL

classic=$scratch/classic compat=$scratch/compat sdl2=$scratch/sdl2
headers "$classic" 1 2 15
headers "$compat" 1 2 68
headers "$sdl2" 2 26 5
expect "auto on the classic SDL" ok \
    "cdtracks SDL: system: the SDL 1.2 found ($classic) is the classic SDL 1.2.15 cmake: -S $top -B $scratch/build -DCDTRACKS_TESTS=OFF -DSDL_INCLUDE_DIR=$classic -DCDTRACKS_SDL=system -DSDL_INCLUDE_DIR=$classic" -- \
    -DSDL_INCLUDE_DIR="$classic"
# A headers' folder whose path holds a blank is one folder.
headers "$scratch/with blank" 1 2 15
expect "auto on headers in a folder with a blank" ok \
    "cdtracks SDL: system: the SDL 1.2 found ($scratch/with blank) is the classic SDL 1.2.15" -- \
    -DSDL_INCLUDE_DIR="$scratch/with blank" -DCDTRACKS_SDL_SOURCE="$stub"
expect "auto on sdl12-compat" ok \
    "$bundled the SDL 1.2 found ($compat) is sdl12-compat 1.2.68, which cannot read physical CD-ROM drives cdtracks SDL source: $stub: as given (SDL_SOURCE) cmake: -S $top -B $scratch/build -DCDTRACKS_TESTS=OFF -DSDL_INCLUDE_DIR=$compat -DCDTRACKS_SDL_SOURCE=$stub -DCDTRACKS_SDL=bundled -DCDTRACKS_SDL_SOURCE=$stub -DCDTRACKS_SDL_RELEASE=" -- \
    -DSDL_INCLUDE_DIR="$compat" -DCDTRACKS_SDL_SOURCE="$stub"
expect "system on sdl12-compat, with a warning" ok \
    "cdtracks built on sdl12-compat finds no physical drive: SDL=bundled builds one that does" -- \
    -DCDTRACKS_SDL=system -DSDL_INCLUDE_DIR="$compat"
expect "auto without any SDL 1.2" ok "$bundled no SDL 1.2 was found" CMAKE=cmake -- \
    -DSDL_INCLUDE_DIR="$scratch/none" -DCDTRACKS_SDL_SOURCE="$stub"
# SDL is built from a copy, configured as cmake/SDL_config.h says.
cmp -s "$scratch/build/sdl/source/include/SDL_config.h" "$top/cmake/SDL_config.h" ||
    fail "the copy of SDL's source that is built keeps the source's own SDL_config.h"
[ "$(cat "$stub/include/SDL_config.h")" = "the source's own" ] ||
    fail "the given SDL source was changed in place"
printf 'set(CMAKE_SYSTEM_NAME Linux)\nset(CMAKE_SYSTEM_PROCESSOR %s)\n' "$(uname -m)" >"$scratch/cross.cmake"
expect "a cross build" ok "$bundled a cross build links SDL in" -- \
    -DCMAKE_TOOLCHAIN_FILE="$scratch/cross.cmake" -DCDTRACKS_SDL_SOURCE="$stub"

# The source, when none is given: one fetched earlier (here a stand-in for
# Debian's), named in the notice; then the one the folder was configured with.
debian=$scratch/sources/src/libsdl1.2-1.2.15+dfsg2
stub_source "$debian"
mkdir -p "$debian/debian"
echo "libsdl1.2 (1.2.15+dfsg2-8) unstable; urgency=medium" >"$debian/debian/changelog"
expect "a source fetched earlier" ok \
    "cdtracks SDL source: $debian: Debian's libsdl1.2 source, fetched earlier" \
    CMAKE=cmake SDL_SOURCES_DIR="$scratch/sources" -- -DCDTRACKS_SDL=bundled
grep -qx "Debian's source package libsdl1.2=1.2.15+dfsg2-8:" \
    "$scratch/build/SDL-NOTICE.txt" || fail "SDL-NOTICE.txt does not name Debian's source"
again=$(CMAKE="$scratch/cmake" "$top/scripts/configure.sh" "$scratch/build" -DCDTRACKS_SDL=bundled 2>&1) &&
    echo "$again" | grep -qx "cdtracks SDL source: $debian: the one $scratch/build was configured with" &&
    echo "ok: configured again, the same source" || fail "configured again: $again"

# The release tarball, unpacked only whole: one cut short (after its
# src/SDL.c) fails and leaves nothing that a later configure would take for
# a source; the whole one then unpacks. SDL_SHA256 vouches for each here.
release_tree=$scratch/release-tree
stub_source "$release_tree/SDL-1.2.15"
head -c 200000 /dev/urandom >"$release_tree/SDL-1.2.15/zz-last"
(cd "$release_tree" && tar -czf ../whole.tar.gz SDL-1.2.15/COPYING SDL-1.2.15/include SDL-1.2.15/src \
    SDL-1.2.15/zz-last)
head -c 150000 "$scratch/whole.tar.gz" >"$scratch/cut.tar.gz"
sha() { sha256sum <"$1" | cut -d ' ' -f 1; }
sources=$scratch/release-sources
mkdir -p "$sources"
cp "$scratch/cut.tar.gz" "$sources/SDL-1.2.15.tar.gz"
expect "a release tarball cut short" error "did not unpack whole into an SDL 1.2.15 source" \
    SDL_SOURCES_DIR="$sources" SDL_SHA256="$(sha "$scratch/cut.tar.gz")" -- -DCDTRACKS_SDL=bundled
[ "$(ls "$sources")" = SDL-1.2.15.tar.gz ] ||
    fail "a release tarball cut short left in $sources: $(ls "$sources" | tr '\n' ' ')"
cp "$scratch/whole.tar.gz" "$sources/SDL-1.2.15.tar.gz"
expect "the whole release tarball, after one cut short" ok \
    "cdtracks SDL source: $sources/SDL-1.2.15: SDL's release tarball, downloaded earlier" \
    SDL_SOURCES_DIR="$sources" SDL_SHA256="$(sha "$scratch/whole.tar.gz")" -- -DCDTRACKS_SDL=bundled
cmp -s "$sources/SDL-1.2.15/zz-last" "$release_tree/SDL-1.2.15/zz-last" ||
    fail "the whole release tarball did not replace the one cut short"

# SDL's download out of reach and Debian's source not fetched (a stand-in
# apt-get that fails): each release is asked for once, this machine's first.
mkdir -p "$scratch/bin"
cat >"$scratch/bin/apt-get" <<'STUB'
#!/bin/sh
for arg; do
    case $arg in
    indextargets) echo "Debian http://deb.invalid/debian/ stable main"; exit 0 ;;
    Dir::Etc::SourceList=*) list=${arg#*=} ;;
    update) awk '{ print $4 }' "$list" >>"$APT_ASKED"; exit 1 ;;
    esac
done
exit 1
STUB
printf '#!/bin/sh\nexit 0\n' >"$scratch/bin/dpkg-source"
chmod +x "$scratch/bin/apt-get" "$scratch/bin/dpkg-source"
: >"$scratch/asked"
expect "Debian's source out of reach too" error \
    "apt fetched no libsdl1.2 source from http://deb.invalid/debian/, suites" \
    PATH="$scratch/bin:$PATH" APT_ASKED="$scratch/asked" SDL_SOURCES_DIR="$scratch/apt-sources" \
    SDL_URL="file://$scratch/nowhere/SDL-1.2.15.tar.gz" -- -DCDTRACKS_SDL=bundled
this=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release 2>/dev/null | tr -d '"')
if [ ! -s "$scratch/asked" ] || [ -n "$(sort "$scratch/asked" | uniq -d)" ] ||
    { [ -n "$this" ] && [ "$(head -n 1 "$scratch/asked")" != "$this" ]; }; then
    fail "Debian's source: the suites asked for, in order: $(tr '\n' ' ' <"$scratch/asked")(this machine's: $this)"
else
    echo "ok: Debian's source: each suite asked for once: $(tr '\n' ' ' <"$scratch/asked")"
fi

# Bad input: each stops with what is wrong and how to mend it.
expect "an unknown choice" error \
    "CDTRACKS_SDL is 'static'; use one of: system the SDL 1.2 installed on this machine bundled" -- \
    -DCDTRACKS_SDL=static
expect "SDL 2 headers" error "the SDL headers in $sdl2 are SDL 2.26.5; cdtracks needs SDL 1.2." -- \
    -DSDL_INCLUDE_DIR="$sdl2"
expect "system without any SDL 1.2" error "SDL=system, but no SDL 1.2 was found." -- \
    -DCDTRACKS_SDL=system -DSDL_INCLUDE_DIR="$scratch/none"
expect "system for a fully static build" error \
    "a fully static build links SDL in: use SDL=bundled or auto, not system" -- \
    -DCDTRACKS_SDL=system -DCDTRACKS_STATIC=ON
expect "a source that does not exist" error "($scratch/nowhere) does not exist" -- \
    -DCDTRACKS_SDL=bundled -DCDTRACKS_SDL_SOURCE="$scratch/nowhere"
expect "a source of something else" error "is not an SDL 1.2 source: it has no include/SDL_version.h of SDL 1.2" CMAKE=cmake -- \
    -DCDTRACKS_SDL=bundled -DCDTRACKS_SDL_SOURCE="$classic"
echo "not SDL" >"$scratch/SDL-1.2.15.tar.gz"
expect "a tarball that is not the release" error "is not the SDL 1.2.15 release: its SHA-256 is" -- \
    -DCDTRACKS_SDL=bundled -DCDTRACKS_SDL_SOURCE="$scratch/SDL-1.2.15.tar.gz"

rm -rf "$scratch/build"
[ "$failures" -eq 0 ]
