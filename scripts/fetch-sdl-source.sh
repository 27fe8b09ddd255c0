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
#
# Newer releases (Debian 13 on, Ubuntu 24.04 on) build their SDL 1.2 from
# sdl12-compat and have no classic source left. Then the newest older release
# of the same distribution that still has it is asked, on the same archive:
# the machine's entries for its own release are copied with that release's
# name instead.
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
etc=$(apt-config shell e Dir::Etc/d | sed "s/^e='\(.*\)'$/\1/")
etc=${etc:-/etc/apt/}

# Writes the private apt sources: the machine's deb entries as deb-src
# ones; with a RELEASE, only the entries of the machine's own release
# (THIS), renamed to RELEASE (trixie-updates becoming bookworm-updates).
sources() { # [THIS RELEASE]
    rm -rf "$apt" "$dir/src"
    mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial" "$dir/src"
    # deb822 files (*.sources) and one-line files (sources.list, *.list).
    for f in "$etc"sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v this="${1:-}" -v release="${2:-}" '
            function flush() {
                if (entry != "" && (release == "" || keep)) printf "%s\n", entry
                entry = ""; keep = 0
            }
            /^[[:space:]]*$/ { flush(); next }
            /^Types:/ { entry = entry "Types: deb-src\n"; next }
            /^Suites:/ && release != "" {
                line = "Suites:"
                for (i = 2; i <= NF; i++) {
                    s = $i
                    if (s == this || index(s, this "-") == 1) {
                        s = release substr(s, length(this) + 1); keep = 1
                    }
                    line = line " " s
                }
                entry = entry line "\n"; next
            }
            { entry = entry $0 "\n" }
            END { flush() }' "$f" >"$apt/sources.list.d/$(basename "$f")"
    done
    for f in "$etc"sources.list "$etc"sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk -v this="${1:-}" -v release="${2:-}" '
            /^[[:space:]]*deb[[:space:]]/ {
                $1 = "deb-src"
                if (release == "") { print; next }
                # The suite follows the URI, and the options in [...], if any.
                i = 2
                if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                i++
                if ($i == this || index($i, this "-") == 1) {
                    $i = release substr($i, length(this) + 1); print
                }
            }' "$f" >>"$apt/sources.list.d/machine.list"
    done
    grep -qs -e '^Types: deb-src' -e '^deb-src ' "$apt"/sources.list.d/*
}

aptget() {
    apt-get -q -o Dir::Etc::SourceList=/dev/null \
        -o Dir::Etc::SourceParts="$apt/sources.list.d" \
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" \
        -o Debug::NoLocking=true -o APT::Sandbox::User="$(id -un)" "$@"
}

# Fetches the source from the sources written; fails if it has none.
fetch() {
    aptget update >&2 || true
    (cd "$dir/src" && aptget source libsdl1.2 >&2) && unpacked
}

if ! sources; then
    echo "fetch-sdl-source: this machine's apt configuration names no archive" >&2
    exit 1
fi
echo "fetch-sdl-source: fetching Debian's libsdl1.2 source into $dir/src" >&2
fetch && exit 0

# Releases, oldest first, of the distributions whose archives have had it.
id=$( (. /etc/os-release && echo "${ID:-}") 2>/dev/null || true)
this=$( (. /etc/os-release && echo "${VERSION_CODENAME:-}") 2>/dev/null || true)
case $id in
debian) releases="buster bullseye bookworm trixie forky duke" ;;
ubuntu) releases="bionic focal jammy kinetic lunar mantic noble oracular plucky questing resolute" ;;
*)      releases= ;;
esac
older=
for r in $releases; do
    [ "$r" = "$this" ] && break
    older="$r $older"
done
if [ -z "$this" ] || [ -z "$older" ]; then
    echo "fetch-sdl-source: this machine's archive has no libsdl1.2 source, and no older" \
        "release of its distribution (${id:-unknown} ${this:-unknown}) is known to try" >&2
    exit 1
fi
for release in $older; do
    sources "$this" "$release" || break
    echo "fetch-sdl-source: $this has no classic libsdl1.2 source; trying $release's," \
        "on the same archive" >&2
    if fetch; then
        echo "fetch-sdl-source: using the libsdl1.2 source of $release" >&2
        exit 0
    fi
done
echo "fetch-sdl-source: apt fetched no unpacked libsdl1.2 source, from $this's suites" \
    "or from older ones" >&2
exit 1
