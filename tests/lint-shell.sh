#!/bin/sh
# Lints every shell script of a source tree, in every folder: a file whose
# first line starts it with sh, dash, ash, busybox sh or bash, and any file
# named *.sh (one that is only sourced has no first line to say so). A
# POSIX one must parse under dash, bash and busybox sh, a bash one (its
# first line says bash) under bash; each must pass shellcheck at severity
# warning, with the files it sources (shellcheck runs in SOURCE_DIR, so a
# `# shellcheck source=PATH` directive names PATH from there). Build folders
# (build/, build-*/) hold other projects' scripts and are left out.
# Usage: lint-shell.sh SOURCE_DIR
# Exits 77 (skipped), saying why, where shellcheck, dash or busybox is
# missing, except in CI, where that fails.
set -eu
export LC_ALL=C

[ $# -eq 1 ] || { echo "usage: lint-shell.sh SOURCE_DIR" >&2; exit 2; }
cd "$1"
for tool in shellcheck dash bash busybox; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "lint-shell: $tool is missing (Debian package $tool): the scripts are not linted" >&2
        [ -n "${CI:-}" ] && exit 1
        exit 77
    fi
done

# The tree's files, a line each: git's (tracked, and new ones it does not
# ignore) where SOURCE_DIR is a checkout's top, else all but the build
# folders.
if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
    files=$(git ls-files --cached --others --exclude-standard)
else
    files=$(find . \( -path './build' -o -path './build-*' -o -name .git \) -prune -o -type f -print |
        sed 's|^\./||' | sort)
fi

# sh, bash or nothing: how FILE is run.
dialect() { # FILE
    first=$(head -n 1 -- "$1" | tr -d '\r')
    case $first in
    '#!'*) ;;
    *) case $1 in *.sh) echo sh ;; esac; return 0 ;;
    esac
    # The interpreter's name, past env and busybox.
    # shellcheck disable=SC2086
    set -- ${first#??}
    case ${1##*/} in env | busybox) shift ;; esac
    case ${1:-} in
    */sh | sh | */dash | dash | */ash | ash) echo sh ;;
    */bash | bash) echo bash ;;
    esac
}
parses() { # SHELL FILE
    if [ "$1" = busybox ]; then busybox sh -n "$2"; else "$1" -n "$2"; fi
}

failed=0
set --
while IFS= read -r f; do
    [ -f "$f" ] || continue
    case $(dialect "$f") in
    sh) shells="dash bash busybox" ;;
    bash) shells=bash ;;
    *) continue ;;
    esac
    set -- "$@" "$f"
    for shell in $shells; do
        if ! why=$(parses "$shell" "$f" 2>&1 </dev/null); then
            [ "$shell" != busybox ] || shell="busybox sh"
            echo "lint-shell: $f does not parse under $shell: $why" >&2
            failed=1
        fi
    done
done <<EOF
$files
EOF
[ $# -gt 0 ] || { echo "lint-shell: no shell script found in $PWD" >&2; exit 1; }
shellcheck -x -S warning -f gcc -- "$@" >&2 || failed=1
if [ $failed -ne 0 ]; then
    echo "lint-shell: $# scripts; those above fail" >&2
    exit 1
fi
echo "lint-shell: $# scripts parse under their shells and pass shellcheck"
