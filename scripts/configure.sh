#!/bin/sh
# Configures a build folder: cmake -S . -B BUILD_DIR CMAKE_ARGS...
# When cmake stops because the bundled SDL has no source (CDTRACKS_SDL_SOURCE
# unset and SDL's download out of reach), fetches Debian's SDL 1.2 source
# with scripts/fetch-sdl-source.sh and configures once more with it.
# Usage: configure.sh BUILD_DIR [CMAKE_ARGS...]
set -eu

build=$1
shift
top=$(cd "$(dirname "$0")/.." && pwd)
cmake=${CMAKE:-cmake}

rm -f "$build/sdl-source-missing"
if "$cmake" -S "$top" -B "$build" "$@"; then
    exit 0
fi
[ -f "$build/sdl-source-missing" ] || exit 1
echo "configure: SDL's download is out of reach; trying Debian's SDL 1.2 source" >&2
source=$("$top/scripts/fetch-sdl-source.sh" "$top/build-sdl-source")
exec "$cmake" -S "$top" -B "$build" "$@" -DCDTRACKS_SDL_SOURCE="$source"
