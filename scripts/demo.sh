#!/bin/sh
# Runs cdtracks on the machine's CD-ROM drive, or, when there is none, on the
# sample disc in tests/discs/sample.disc through the emulated drive.
# Usage: demo.sh BUILD_DIR [CDTRACKS]
# CDTRACKS defaults to the one built in BUILD_DIR.
set -eu

build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
cdtracks=${2:-$build/cdtracks}

# SDL_CDROM is a ':'-separated list.
for dev in $(echo "${SDL_CDROM:-}" | tr : ' ') /dev/cdrom /dev/sr0; do
    if [ -b "$dev" ] || [ -c "$dev" ]; then
        echo "Listing the disc in the CD-ROM drive ($dev), track lengths in CD frames, 75 a second:" >&2
        out=$(mktemp "${TMPDIR:-/tmp}/cdtracks-demo.XXXXXX")
        trap 'rm -f "$out"' EXIT
        trap 'exit 130' INT TERM
        status=0
        "$cdtracks" >"$out" || status=$?
        cat "$out"
        if [ "$status" -eq 0 ] && [ ! -s "$out" ]; then
            echo "Nothing printed: no disc, or no drive that SDL can read here" \
                "(TROUBLESHOOTING in the manual: man -l docs/cdtracks.1, or docs/cdtracks.md)." >&2
        fi
        exit "$status"
    fi
done

echo "No CD-ROM drive here: listing the sample disc through the emulated drive" >&2
echo "(tests/discs/sample.disc). Track lengths in CD frames, 75 a second:" >&2
# The emulated drive is built when it is first needed.
if ! log=$("${CMAKE:-cmake}" --build "$build" --target emulator 2>&1); then
    echo "$log" >&2
    echo "demo: the emulated drive could not be built in $build" >&2
    exit 1
fi
exec "$build/cdemu/with-disc" "$top/tests/discs/sample.disc" "$cdtracks"
