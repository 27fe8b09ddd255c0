#!/bin/sh
# Runs a command with its output into LOG and shows, of that output, only
# what a reader needs: the project's own notes (which SDL, where its source
# came from) and any warning. When the command fails, shows LOG whole.
# Usage: quietly.sh LOG COMMAND [ARGUMENT...]
set -eu

log=$1
shift
mkdir -p "$(dirname "$log")"
if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "quietly: '$*' failed; its output is above and in $log" >&2
    exit 1
fi
grep -E -e '^(-- )?cdtracks SDL' -e '^(configure|fetch-sdl-source): ' -e '[Ww]arning|CMake Error' "$log" >&2 ||
    true
