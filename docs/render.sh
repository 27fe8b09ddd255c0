#!/bin/sh
# Renders the manual page, docs/cdtracks.1, into the copies kept beside it
# for readers without man(1): cdtracks.md for the web and cdtracks.txt,
# plain ASCII, for the Windows zip. The page is the one source; these are
# never edited by hand. Each copy, and the page that is installed, names
# the program's version in the page's footer (.Os cdtracks, which the page
# itself leaves without one): CMake's project version, read here from
# CMakeLists.txt and nowhere else.
# Usage: render.sh             rewrite both copies
#        render.sh --check     write nothing; fail, with the difference, when
#                              a copy is not what the page renders to now
#        render.sh --page OUT  write the page as it is installed to OUT
# The copies need mandoc; without it, --check exits 77 (skipped), or fails
# under CI (CI set), where the check must run.
# The page quotes code with .Sq Li, not .Ql: after a .Ql, mandoc 1.14's
# markdown escapes every later underscore, in code too, where the escape
# shows.
set -eu
LC_ALL=C
export LC_ALL

docs=$(cd "$(dirname "$0")" && pwd)
check=false
case ${1:-} in
--check) check=true ;;
--page) [ $# -eq 2 ] || { echo "usage: render.sh --page OUT" >&2; exit 2; } ;;
'') ;;
*) echo "usage: render.sh [--check | --page OUT]" >&2; exit 2 ;;
esac

# The page with its footer naming the version: "cdtracks 1.0.0".
versioned() { # OUT
    version=$(sed -n 's/^project(cdtracks VERSION \([0-9.]*\).*/\1/p' "$docs/../CMakeLists.txt")
    [ -n "$version" ] || { echo "render.sh: no project version in CMakeLists.txt" >&2; exit 1; }
    sed "s/^\.Os cdtracks\$/.Os cdtracks $version/" "$docs/cdtracks.1" >"$1"
    grep -qx "\.Os cdtracks $version" "$1" ||
        { echo "render.sh: docs/cdtracks.1 has no line '.Os cdtracks' to name the version in" >&2; exit 1; }
}
if [ "${1:-}" = --page ]; then
    versioned "$2"
    exit 0
fi

if ! command -v mandoc >/dev/null 2>&1; then
    echo "render.sh: mandoc is not installed (Debian: apt-get install mandoc)" >&2
    if $check && [ -z "${CI:-}" ]; then exit 77; fi
    $check && echo "render.sh: CI is set, where the rendered copies must be checked: failing" >&2
    exit 1
fi

# The footer names the version, not the system mandoc was built for: the
# copies are the same wherever they are made. Debian 11's mandoc (1.14.5)
# and 12's and 13's (1.14.6) render this page alike.
bs=$(printf '\b')
render() { # md|txt FILE
    case $1 in
    md) mandoc -T markdown "$page" >"$2" ;;
    # -T ascii marks bold and underline by overstriking, "X<BS>X" and
    # "_<BS>X": a text file wants the letter alone. Through a file, not a
    # pipe, so that a failing mandoc fails the script.
    txt) mandoc -T ascii "$page" >"$2.overstruck"
        sed "s/.$bs//g" "$2.overstruck" >"$2" ;;
    esac
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-render.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
page=$tmp/cdtracks.1
versioned "$page"
status=0
for format in md txt; do
    copy=$docs/cdtracks.$format
    render $format "$tmp/cdtracks.$format"
    if $check; then
        if ! cmp -s "$tmp/cdtracks.$format" "$copy"; then
            echo "render.sh: docs/cdtracks.$format is not what docs/cdtracks.1 renders to now;" \
                "docs/render.sh rewrites it:" >&2
            diff -u "$copy" "$tmp/cdtracks.$format" >&2 || true
            status=1
        fi
    else
        cp "$tmp/cdtracks.$format" "$copy"
    fi
done
exit $status
