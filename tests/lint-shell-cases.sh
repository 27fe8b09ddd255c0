#!/bin/sh
# lint-shell.sh itself, each case on a tree of its own that holds a clean
# script and one more file: it fails, naming the file, on what would break a
# shell or that shellcheck warns of, wherever the script is and whether its
# first line or its name tells it; it leaves build folders, other languages
# and bash in a bash script alone.
# Usage: lint-shell-cases.sh LINT_SHELL SCRATCH_DIR
set -u
export LC_ALL=C
lint=$1
scratch=$2
failures=0

# expect WANT NAME PATH CONTENT: lint-shell.sh on the tree ends in WANT,
# pass or fail, and a failure names PATH.
expect() {
    tree=$scratch/$2
    rm -rf "$tree"
    mkdir -p "$tree/$(dirname "$3")"
    printf '#!/bin/sh\necho "$1"\n' >"$tree/clean.sh"
    printf '%s\n' "$4" >"$tree/$3"
    status=0
    sh "$lint" "$tree" >"$tree.out" 2>&1 || status=$?
    [ $status -ne 77 ] || { cat "$tree.out"; exit 77; }
    case $1:$status in
    pass:0) echo "ok: $2" ;;
    fail:1) if grep -qF "$3" "$tree.out"; then echo "ok: $2"; else
        echo "FAIL: $2: the lint failed without naming $3:"; cat "$tree.out"; failures=$((failures + 1)); fi ;;
    *) echo "FAIL: $2: the lint ended with status $status, not a $1:"; cat "$tree.out"; failures=$((failures + 1)) ;;
    esac
}

expect pass "a clean script, found by its first line" tools/run '#!/bin/sh
for f in "$@"; do echo "$f"; done'
expect fail "bash's arrays under sh" tools/run '#!/bin/sh
a=(1 2)'
expect fail "bash's quoting inside \${...} in double quotes" a/b/c/deep.sh '#!/bin/sh
echo "${1:-its own'"'"'s}"'
expect fail "no first line, found by its name" lib.sh 'if then fi'
expect fail "a bash test under sh" tools/test '#!/usr/bin/env sh
[[ -n "$1" ]] && echo yes'
expect fail "a shellcheck warning, busybox's" init '#!/bin/busybox sh
ls | grep foo'
expect pass "bash under bash" tools/run '#!/usr/bin/env bash
[[ -n ${1:-} ]] && echo yes'
expect pass "a build folder's script" build-x/configure.sh 'if then fi'
expect pass "another language" tools/gen.py '#!/usr/bin/python3
print((1, 2)'

[ $failures -eq 0 ]
