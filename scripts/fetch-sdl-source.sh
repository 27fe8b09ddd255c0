#!/bin/sh
# Fetches Debian's source of SDL 1.2 (source package libsdl1.2, Debian's
# patches applied) with apt into DIR and prints the path of the unpacked
# source, for -DCDTRACKS_SDL_SOURCE. For Debian-family machines that reach
# their distribution's archive but not SDL's own download.
# Usage: fetch-sdl-source.sh [DIR]   (default: build-sdl-source)
#
# The archive is the one this machine's apt already uses: its deb lines are
# copied as deb-src lines into a private apt setup under DIR, so the
# machine's own apt configuration is left as it is. apt checks the source
# against the archive's signature as usual. Needs apt-get and dpkg-source
# (package dpkg-dev); root is not needed.
set -eu

dir=${1:-build-sdl-source}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

for tool in apt-get dpkg-source; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "fetch-sdl-source: $tool is missing (Debian: apt-get install dpkg-dev)" >&2
        exit 1
    fi
done

# Prints the unpacked source's folder, if there is one.
unpacked() {
    for found in "$dir"/src/libsdl1.2-*/configure; do
        [ -f "$found" ] && dirname "$found" && return 0
    done
    return 1
}

unpacked && exit 0

apt=$dir/apt
rm -rf "$apt" "$dir/src"
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial" "$dir/src"

etc=$(apt-config shell e Dir::Etc/d | sed "s/^e='\(.*\)'$/\1/")
etc=${etc:-/etc/apt/}
# deb822 files (*.sources) and one-line files (sources.list, *.list).
for f in "$etc"sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt/sources.list.d/$(basename "$f")"
done
for f in "$etc"sources.list "$etc"sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$apt/sources.list.d/machine.list"
done
if ! grep -qs -e '^Types: deb-src' -e '^deb-src ' "$apt"/sources.list.d/*; then
    echo "fetch-sdl-source: this machine's apt configuration names no archive" >&2
    exit 1
fi

aptget() {
    apt-get -q -o Dir::Etc::SourceList=/dev/null \
        -o Dir::Etc::SourceParts="$apt/sources.list.d" \
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" \
        -o Debug::NoLocking=true -o APT::Sandbox::User="$(id -un)" "$@"
}

echo "fetch-sdl-source: fetching Debian's libsdl1.2 source into $dir/src" >&2
aptget update >&2
(cd "$dir/src" && aptget source libsdl1.2 >&2)
unpacked && exit 0
echo "fetch-sdl-source: apt fetched no unpacked libsdl1.2 source" >&2
exit 1
