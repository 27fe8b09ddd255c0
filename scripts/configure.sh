#!/bin/sh
# Configures a build folder: cmake -S . -B BUILD_DIR CMAKE_ARGS...
#
# A build that links SDL in (CDTRACKS_SDL=bundled, or auto where the
# machine's SDL 1.2 is sdl12-compat or missing) needs SDL's source. Unless
# the arguments give one (-DCDTRACKS_SDL_SOURCE) or the folder was configured
# with one, this decides it before CMake runs and says in one line which and
# why: a source already in build-sdl-source/, else SDL's release tarball
# downloaded there, else Debian's SDL 1.2 source fetched with apt
# (scripts/fetch-sdl-source.sh).
# Usage: configure.sh BUILD_DIR [CMAKE_ARGS...]
# Environment: SDL_SOURCES_DIR, the folder for SDL sources (build-sdl-source).
set -eu

build=$1
shift
top=$(cd "$(dirname "$0")/.." && pwd)
cmake=${CMAKE:-cmake}
sources=${SDL_SOURCES_DIR:-$top/build-sdl-source}

sdl=auto source= url=
for arg in "$@"; do
    case $arg in
    -DCDTRACKS_SDL=*) sdl=${arg#*=} ;;
    -DCDTRACKS_SDL_SOURCE=*) source=${arg#*=} ;;
    -DCDTRACKS_SDL_URL=*) url=${arg#*=} ;;
    esac
done

cached() { # NAME: its value in the folder's CMake cache, if any
    sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null
}

# Whether this build links SDL in. For auto, CMake's own choice
# (cmake/ChooseSDL.cmake), made by a configure of nothing else, or the one
# the folder made before.
bundled() {
    case $sdl in
    bundled) return 0 ;;
    auto) ;;
    *) return 1 ;;
    esac
    if [ "$(cached CDTRACKS_SDL)" = auto ] && [ -n "$(cached CDTRACKS_SDL_CHOICE)" ]; then
        choice=$(cached CDTRACKS_SDL_CHOICE)
    else
        rm -rf "$build/sdl-choice"
        "$cmake" -S "$top/cmake/sdl-choice" -B "$build/sdl-choice" "$@" >/dev/null 2>&1 || return 1
        choice=$(cat "$build/sdl-choice/choice")
        rm -rf "$build/sdl-choice"
    fi
    [ "$choice" = bundled ]
}

if [ -z "$source" ] && [ -z "$(cached CDTRACKS_SDL_SOURCE)" ] && bundled "$@"; then
    tarball=$sources/SDL-1.2.15.tar.gz
    debian=$(ls -d "$sources"/src/libsdl1.2-*/ 2>/dev/null | head -n 1)
    if [ -f "$tarball" ]; then
        source=$tarball
        why="SDL's release tarball, downloaded earlier"
    elif [ -n "$debian" ]; then
        source=${debian%/}
        why="Debian's libsdl1.2 source, fetched earlier"
    elif error=$("$cmake" -DDEST="$tarball" ${url:+-DURL="$url"} -P "$top/cmake/SdlDownload.cmake" 2>&1); then
        source=$tarball
        why="SDL's release tarball, downloaded from ${url:-SDL's site} and checked"
    else
        reason=$(echo "$error" | sed -n 's/^  *//p' | tr '\n' ' ' | sed 's/ *$//')
        mkdir -p "$sources"
        log=$sources/fetch.log
        if ! source=$("$top/scripts/fetch-sdl-source.sh" "$sources" 2>"$log"); then
            cat "$log" >&2
            echo "configure: no SDL 1.2 source: SDL's download is out of reach ($reason)," \
                "and apt fetched no Debian source either (above). Give one with" \
                "SDL_SOURCE=PATH (the release tarball SDL-1.2.15.tar.gz or a source folder)." >&2
            exit 1
        fi
        release=$(sed -n 's/^fetch-sdl-source: using the libsdl1.2 source of \(.*\)$/ (\1'"'"'s)/p' "$log")
        why="Debian's libsdl1.2 source$release, fetched with apt, because SDL's download is out of reach ($reason)"
    fi
    echo "cdtracks SDL source: $source: $why"
    set -- "$@" -DCDTRACKS_SDL_SOURCE="$source"
fi
exec "$cmake" -S "$top" -B "$build" "$@"
