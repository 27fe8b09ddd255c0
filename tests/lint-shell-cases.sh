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

# The cases: a tree of the files that must pass, and one of those that must
# not, each named in the lint's output; two runs of the lint, as shellcheck
# costs seconds a start where the tests run emulated.
# put TREE PATH CONTENT: a file of the case's tree.
put() {
    mkdir -p "$scratch/$1/$(dirname "$2")"
    printf '%s\n' "$3" >"$scratch/$1/$2"
}
rm -rf "$scratch"
put good clean.sh '#!/bin/sh
echo "$1"'
put good tools/run '#!/bin/sh
for f in "$@"; do echo "$f"; done'
put good tools/bash-run '#!/usr/bin/env bash
[[ -n ${1:-} ]] && echo yes'
put good build-x/configure.sh 'if then fi'
put good tools/gen.py '#!/usr/bin/python3
print((1, 2)'
put bad clean.sh '#!/bin/sh
echo "$1"'
# What must fail, PATH|WHY, and the files.
bad="tools/arrays|bash's arrays under sh
a/b/c/deep.sh|bash's quoting inside \${...} in double quotes
lib.sh|no first line, found by its name
tools/test|a bash test under sh
init|a shellcheck warning, busybox's"
put bad tools/arrays '#!/bin/sh
a=(1 2)'
put bad a/b/c/deep.sh '#!/bin/sh
echo "${1:-its own'"'"'s}"'
put bad lib.sh 'if then fi'
put bad tools/test '#!/usr/bin/env sh
[[ -n "$1" ]] && echo yes'
put bad init '#!/bin/busybox sh
ls | grep foo'

# lint TREE: the lint's status on it, its output in TREE.out.
lint() {
    status=0
    sh "$lint" "$scratch/$1" >"$scratch/$1.out" 2>&1 || status=$?
    [ $status -ne 77 ] || { cat "$scratch/$1.out"; exit 77; }
}
lint good
if [ $status -eq 0 ]; then
    echo "ok: clean scripts, found by first line or name; bash under bash; build folders and other languages left alone"
else
    echo "FAIL: the lint ended with status $status on what must pass:"; cat "$scratch/good.out"
    failures=$((failures + 1))
fi
lint bad
[ $status -eq 1 ] || { echo "FAIL: the lint ended with status $status, not 1, on what must fail"; failures=$((failures + 1)); }
while IFS='|' read -r path why; do
    if grep -qF "$path" "$scratch/bad.out"; then echo "ok: $why"; else
        echo "FAIL: $why: the lint did not name $path"; failures=$((failures + 1)); fi
done <<LIST
$bad
LIST
[ $failures -eq 0 ] || cat "$scratch/bad.out"

[ $failures -eq 0 ]
