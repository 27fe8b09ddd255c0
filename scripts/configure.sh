#!/bin/sh
# Configures a build folder, cmake -S . -B BUILD_DIR CMAKE_ARGS..., having
# decided first, here and only here, which SDL 1.2 cdtracks is built with
# and, where SDL is linked in, which source it is built from. It says so in
# a line each, and hands CMake the answer: -DCDTRACKS_SDL=system with the
# headers' folder, or -DCDTRACKS_SDL=bundled with a source folder.
#
# Usage: configure.sh BUILD_DIR [CMAKE_ARGS...]
# Of CMAKE_ARGS, it reads:
#   -DCDTRACKS_SDL=auto       (the default) system where the machine's SDL
#                             1.2 is the classic one, else bundled
#   -DCDTRACKS_SDL=system     the machine's SDL 1.2, as a shared library
#   -DCDTRACKS_SDL=bundled    the classic SDL 1.2.15 built from source and
#                             linked in, as cross and fully static builds
#                             (-DCMAKE_TOOLCHAIN_FILE, -DCDTRACKS_STATIC=ON)
#                             always are
#   -DCDTRACKS_SDL_SOURCE=PATH  that source: the release tarball
#                             SDL-1.2.15.tar.gz or an unpacked source folder
#   -DSDL_INCLUDE_DIR=DIR     the machine's SDL 1.2 headers (default
#                             /usr/local/include/SDL, then /usr/include/SDL)
# Without a source given, SDL is built from the one the folder was
# configured with; else one fetched earlier into SDL_SOURCES_DIR; else the
# release tarball downloaded there from SDL_URL (with curl or wget) and
# checked; else Debian's libsdl1.2 source (the release with Debian's
# patches) fetched there with apt, from the archive this machine's apt uses:
# its own release's, or, from Debian 13 and Ubuntu 24.04 on, whose SDL 1.2
# is sdl12-compat, an older release's.
# A source is unpacked or fetched into a folder of its own and renamed into
# place only when whole, so that one cut short is never taken for a source.
# Environment: CMAKE (default cmake), SDL_SOURCES_DIR (build-sdl-source),
# SDL_URL (SDL's own site) and SDL_SHA256 (the release tarball's SHA-256).
set -eu
export LC_ALL=C

[ $# -ge 1 ] || { echo "usage: configure.sh BUILD_DIR [CMAKE_ARGS...]" >&2; exit 2; }
build=$1
shift
top=$(cd "$(dirname "$0")/.." && pwd)
sources=${SDL_SOURCES_DIR:-$top/build-sdl-source}
url=${SDL_URL:-https://www.libsdl.org/release/SDL-1.2.15.tar.gz}
release_sha256=${SDL_SHA256:-d6d316a793e5e348155f0dd93b979798933fb98aa1edebcc108829d6474aad00}

die() { echo "configure: $*" >&2; exit 1; }
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }

sdl=auto source='' include='' linked_in=''
for arg; do
    case $arg in
    -DCDTRACKS_SDL=*) sdl=${arg#*=} ;;
    -DCDTRACKS_SDL_SOURCE=*) source=${arg#*=} ;;
    -DSDL_INCLUDE_DIR=*) include=${arg#*=} ;;
    -DCMAKE_TOOLCHAIN_FILE=*) linked_in="a cross build links SDL in" ;;
    -DCDTRACKS_STATIC=ON) linked_in="a fully static build links SDL in" ;;
    esac
done

# ---- which SDL ----

# The machine's SDL 1.2, as FindSDL takes it: the first folder with
# SDL_version.h, and what that says.
found='' compat=''
look_in() { # DIR...
    for dir; do
        [ -f "$dir/SDL_version.h" ] || continue
        version=$(awk '$1 == "#define" { v[$2] = $3 }
            END { print v["SDL_MAJOR_VERSION"] "." v["SDL_MINOR_VERSION"] "." v["SDL_PATCHLEVEL"] }' \
            "$dir/SDL_version.h")
        case $version in
        1.2.*) ;;
        *) [ "$sdl" = bundled ] || [ -n "$linked_in" ] || die "the SDL headers in $dir are SDL" \
            "$version; cdtracks needs SDL 1.2. Point -DSDL_INCLUDE_DIR at SDL 1.2's (Debian:" \
            "libsdl1.2-dev), or build with SDL=bundled." ;;
        esac
        include=$dir
        found="the SDL 1.2 found ($dir) is"
        # sdl12-compat, SDL 1.2's interface over SDL 2, counts from patch level 50.
        if [ "${version##*.}" -ge 50 ] 2>/dev/null; then
            compat=1
            found="$found sdl12-compat $version, which cannot read physical CD-ROM drives"
        else
            found="$found the classic SDL $version"
        fi
        return 0
    done
}
# (A folder given may hold blanks: one word.)
if [ -n "$include" ]; then look_in "$include"; else look_in /usr/local/include/SDL /usr/include/SDL; fi

case $sdl in
system|bundled|auto) ;;
*) die "CDTRACKS_SDL is '$sdl'; use one of:
  system   the SDL 1.2 installed on this machine
  bundled  the classic SDL 1.2.15 built from source and linked in
  auto     system if that is the classic SDL 1.2, else bundled (the default)" ;;
esac
if [ -n "$linked_in" ]; then
    [ "$sdl" != system ] || die "$linked_in: use SDL=bundled or auto, not system"
    sdl=bundled why=$linked_in
elif [ "$sdl" = system ]; then
    [ -n "$found" ] || die "SDL=system, but no SDL 1.2 was found. Install it (Debian:" \
        "libsdl1.2-dev), or build with SDL=bundled or auto."
    why="as asked (CDTRACKS_SDL=system); $found"
    [ -z "$compat" ] || echo "configure: warning: cdtracks built on sdl12-compat finds no" \
        "physical drive: SDL=bundled builds one that does" >&2
elif [ "$sdl" = bundled ]; then
    why="as asked (CDTRACKS_SDL=bundled)"
elif [ -n "$found" ] && [ -z "$compat" ]; then
    sdl=system why=$found
else
    sdl=bundled why=${found:-no SDL 1.2 was found}
fi

if [ $sdl = system ]; then
    echo "cdtracks SDL: system: $why" >&2
    exec "${CMAKE:-cmake}" -S "$top" -B "$build" "$@" -DCDTRACKS_SDL=system -DSDL_INCLUDE_DIR="$include"
fi
echo "cdtracks SDL: bundled (the classic SDL 1.2.15 built from source and linked in): $why" >&2

# ---- which source ----

# Where a source is unpacked or fetched before it is renamed into place,
# whole: removed however this script ends before that.
unpacking='' fetching=''
trap 'rm -rf "$unpacking" "$fetching"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The folder's cache entry NAME, if it was configured.
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null; }

# The release tarball, checked and unpacked once into SOURCES; sets source.
unpack_release() { # TARBALL WHAT
    sum=$(sha256sum <"$1" | cut -d ' ' -f 1)
    [ "$sum" = "$release_sha256" ] || die "$2 is not the SDL 1.2.15 release: its SHA-256 is" \
        "$sum, not $release_sha256. Nothing was built from it: give the release tarball or an" \
        "unpacked source folder."
    source=$sources/SDL-1.2.15
    if [ ! -f "$source/src/SDL.c" ]; then
        # (One without it was cut short where it lay, as sources once were.)
        rm -rf "$source"
        mkdir -p "$sources"
        unpacking=$(mktemp -d "$sources/unpacking.XXXXXX")
        if ! tar -C "$unpacking" -xzf "$1" || [ ! -f "$unpacking/SDL-1.2.15/src/SDL.c" ]; then
            rm -rf "$unpacking"
            die "$2 did not unpack whole into an SDL 1.2.15 source; nothing was built from it"
        fi
        # (Another configure may have put one in place meanwhile: then that one.)
        mv -T "$unpacking/SDL-1.2.15" "$source" 2>/dev/null || [ -d "$source" ] ||
            { rm -rf "$unpacking"; die "cannot move the unpacked source to $source"; }
        rm -rf "$unpacking"
    fi
    release="$release_sha256 $url"
}

# Downloads the release into SOURCES; fails with the reason in $reason.
download() {
    part=$sources/SDL-1.2.15.tar.gz.part
    mkdir -p "$sources"
    if command -v curl >/dev/null 2>&1; then
        reason=$(curl -fsSL --connect-timeout 30 --max-time 300 -o "$part" "$url" 2>&1) ||
            { rm -f "$part"; reason=${reason#curl: }; reason=${reason#(*) }; return 1; }
    elif command -v wget >/dev/null 2>&1; then
        reason=$(wget -q -T 30 -O "$part" "$url" 2>&1) ||
            { rm -f "$part"; reason="wget failed${reason:+: $reason}"; return 1; }
    else
        reason="neither curl nor wget is installed"
        return 1
    fi
    sum=$(sha256sum <"$part" | cut -d ' ' -f 1)
    [ "$sum" = "$release_sha256" ] ||
        { rm -f "$part"; reason="what it served is not the release: its SHA-256 is $sum"; return 1; }
    mv "$part" "$sources/SDL-1.2.15.tar.gz"
}

# The unpacked Debian source in FOLDER (default SOURCES/src, where only a
# whole one is put), if there is one.
debian_folder() { # [FOLDER]
    for d in "${1:-$sources/src}"/libsdl1.2-*/; do [ -f "$d/src/SDL.c" ] && echo "${d%/}" && return; done
}

# Fetches Debian's libsdl1.2 source with apt, through an apt setup of its
# own in SOURCES, from the archive the machine's apt uses: the suite of the
# machine's release, else older ones, newest first. apt checks it against
# the archive's signature. Each suite is asked for once. apt-get source
# unpacks into a folder of its own, renamed to SOURCES/src when whole. Sets
# suite; apt's output goes to SOURCES/fetch.log.
fetch_debian() {
    command -v dpkg-source >/dev/null 2>&1 || { reason="dpkg-source is missing (Debian: dpkg-dev)"; return 1; }
    archive=$("$top/scripts/debian-archive.sh" 2>/dev/null | awk '$1 == "Debian" || $1 == "Ubuntu" { print $1, $2; exit }')
    [ -n "$archive" ] || { reason="this machine's apt uses no Debian archive"; return 1; }
    # shellcheck disable=SC1091
    this=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    case $archive in
    Debian*) keyring=debian older="bookworm bullseye" ;;
    *) keyring=ubuntu older="jammy focal" ;;
    esac
    suites=
    for suite in $this $older; do
        case " $suites " in *" $suite "*) ;; *) suites="${suites:+$suites }$suite" ;; esac
    done
    apt=$sources/apt
    rm -rf "$apt" "$sources/src"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
    for suite in $suites; do
        echo "deb-src [signed-by=/usr/share/keyrings/$keyring-archive-keyring.gpg] ${archive#* } $suite main" \
            >"$apt/sources.list"
        set -- -q -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null \
            -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o Debug::NoLocking=true \
            -o APT::Sandbox::User="$(id -un)"
        echo "== $suite" >>"$sources/fetch.log"
        fetching=$(mktemp -d "$sources/fetching.XXXXXX")
        if apt-get "$@" update >>"$sources/fetch.log" 2>&1 &&
            (cd "$fetching" && apt-get "$@" source libsdl1.2) >>"$sources/fetch.log" 2>&1 &&
            [ -n "$(debian_folder "$fetching")" ] && mv -T "$fetching" "$sources/src"; then
            return 0
        fi
        rm -rf "$fetching"
    done
    reason="apt fetched no libsdl1.2 source from ${archive#* }, suites $suites ($sources/fetch.log)"
    return 1
}

tarball=$sources/SDL-1.2.15.tar.gz
release=
if [ -n "$source" ]; then
    [ -e "$source" ] || die "CDTRACKS_SDL_SOURCE ($source) does not exist. Give the path of" \
        "SDL-1.2.15.tar.gz or of an unpacked SDL 1.2 source folder."
    source=$(absolute "$source")
    from="as given (SDL_SOURCE)"
    [ -d "$source" ] || unpack_release "$source" "CDTRACKS_SDL_SOURCE ($source)"
elif [ -d "$(cached CDTRACKS_SDL_SOURCE)" ]; then
    source=$(cached CDTRACKS_SDL_SOURCE) release=$(cached CDTRACKS_SDL_RELEASE)
    from="the one $build was configured with"
elif [ -f "$tarball" ]; then
    unpack_release "$tarball" "$tarball"
    from="SDL's release tarball, downloaded earlier"
elif [ -n "$(debian_folder)" ]; then
    source=$(debian_folder) from="Debian's libsdl1.2 source, fetched earlier"
elif download; then
    unpack_release "$tarball" "$tarball"
    from="SDL's release tarball, downloaded from $url and checked"
else
    echo "configure: SDL's download is out of reach ($reason): fetching Debian's libsdl1.2 source" >&2
    unreachable=$reason
    fetch_debian || die "no SDL 1.2 source: SDL's download is out of reach ($unreachable), and" \
        "$reason. Give one with SDL_SOURCE=PATH (the release tarball SDL-1.2.15.tar.gz or a source folder)."
    source=$(debian_folder)
    from="Debian's libsdl1.2 source ($suite's), fetched with apt, because SDL's download is out of reach ($unreachable)"
fi
echo "cdtracks SDL source: $source: $from" >&2
# Whether it is the release, which only this checked: the notice says so.
exec "${CMAKE:-cmake}" -S "$top" -B "$build" "$@" -DCDTRACKS_SDL=bundled \
    -DCDTRACKS_SDL_SOURCE="$source" -DCDTRACKS_SDL_RELEASE="$release"
