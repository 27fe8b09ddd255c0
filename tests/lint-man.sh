#!/bin/sh
# Lints a man page: mandoc's lint where mandoc is installed, else groff's
# warnings. Any warning fails.
set -eu
page=$1
if command -v mandoc >/dev/null 2>&1; then
    exec mandoc -Tlint -W warning "$page"
fi
warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
