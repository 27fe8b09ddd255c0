#!/bin/sh
# Lints a man page: mandoc's lint, down to its style notes, where mandoc is
# installed, else groff's warnings. Any note fails. Whether a page named in
# SEE ALSO is installed, and the state of mandoc's database, belong to the
# machine, not to the page: those notes are left out.
set -eu
export LC_ALL=C
page=$1
if command -v mandoc >/dev/null 2>&1; then
    notes=$(mandoc -T lint -W style "$page" 2>&1 |
        grep -v -e 'STYLE: referenced manual not found' -e 'mandoc\.db' || true)
    [ -z "$notes" ] || { echo "$notes"; exit 1; }
    exit 0
fi
warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
