#!/bin/sh
# The system checks' shared life (tests/system/lifecycle.sh) and their
# cases (tests/system/cases.sh), under each shell that runs them (dash, bash,
# busybox sh): a check's status is its own even when its clean-up runs a
# command; SIGTERM stops a check whose case is running, with the case's
# program, within seconds, and leaves no scratch folder; and a case keeps
# its program's status, output, standard input and files; and every disc
# is held to its .expected.
# Usage: lifecycle-test.sh SOURCE_DIR SCRATCH_DIR
# Exits 77 (skipped), saying why, where dash or busybox is missing, except
# in CI, where that fails.
set -eu

[ $# -eq 2 ] || { echo "usage: lifecycle-test.sh SOURCE_DIR SCRATCH_DIR" >&2; exit 2; }
system=$(cd "$1/tests/system" && pwd)
rm -rf "$2"
mkdir -p "$2"
scratch=$(cd "$2" && pwd)
for tool in dash bash busybox; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "lifecycle-test: $tool is missing (Debian package $tool): the shells are not all tried" >&2
        [ -n "${CI:-}" ] && exit 1
        exit 77
    fi
done

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# A check's start: both files loaded, its life begun, its scratch root in
# the shell's own TMPDIR.
head='. "$1/lifecycle.sh"
. "$1/cases.sh"
lifecycle test
'

# busybox runs most of its applets by starting itself again, which fails
# where it runs under qemu-user (an emulated root): there its shell cannot
# run a case, whatever the life-cycle does, and is left out, saying why.
shells="dash bash"
if busybox sh -c 'cmp -s "$0" "$0"' /dev/null 2>/dev/null; then
    shells="$shells busybox"
else
    echo "lifecycle-test: busybox cannot run its own applets here (under emulation, as in a" \
        "root of another processor): busybox sh is not tried" >&2
fi

for shell in $shells; do
    [ "$shell" != busybox ] || shell="busybox sh"
    tmp=$scratch/$(echo "$shell" | tr ' ' -)
    mkdir -p "$tmp/tmp"

    # A failing check whose clean-up runs a command of its own ends with
    # the check's status, not the clean-up's.
    printf '%s' "$head"'
here=$2
down() { limited 5 true; : >"$here/cleaned"; }
at_exit down
false' >"$tmp/fails"
    status=0
    TMPDIR=$tmp/tmp $shell "$tmp/fails" "$system" "$tmp" || status=$?
    [ "$status" = 1 ] || fail "$shell: a failing check whose clean-up ran a command ended with $status, not 1"
    [ -f "$tmp/cleaned" ] || fail "$shell: the clean-up did not run"

    # SIGTERM while a case's program runs: the check ends at once (143),
    # the program with it, and the scratch root is gone.
    printf '%s' "$head"'
run_case "$2" long - - /bin/sh -c '\''echo $$ >"$0"; exec sleep 30'\'' "$2/long.pid"' >"$tmp/stopped"
    TMPDIR=$tmp/tmp $shell "$tmp/stopped" "$system" "$tmp" &
    check=$!
    tries=0
    until [ -s "$tmp/long.pid" ] || [ $tries -ge 100 ]; do sleep 0.1; tries=$((tries + 1)); done
    kill -TERM $check
    tries=0
    while kill -0 $check 2>/dev/null && [ $tries -lt 50 ]; do sleep 0.1; tries=$((tries + 1)); done
    if kill -0 $check 2>/dev/null; then
        fail "$shell: the check still ran 5 s after SIGTERM"
        kill -KILL $check 2>/dev/null || true
    fi
    status=0
    wait $check || status=$?
    [ "$status" = 143 ] || fail "$shell: the stopped check ended with $status, not 143"
    if [ -s "$tmp/long.pid" ] && kill -0 "$(cat "$tmp/long.pid")" 2>/dev/null; then
        fail "$shell: the case's program outlived the check"
        kill -KILL "$(cat "$tmp/long.pid")" 2>/dev/null || true
    fi
    [ -z "$(ls "$tmp/tmp")" ] || fail "$shell: the stopped check left $(ls "$tmp/tmp")"

    # A case: its program's status, output, standard input and files; the
    # check's working folder as it was; a folder that cannot be entered is a
    # failed case.
    printf '%s' "$head"'
cd "$2"
echo in | run_case "$2" kept - - /bin/sh -c '\''cat; echo err >&2; : >left; exit 3'\''
[ "$PWD" = "$2" ] || echo "working folder $PWD"
expect_case "$2" kept 3 "in
" "err
" left
run_case "$2" lost - "$2/no such folder" true 2>/dev/null
[ "$(cat "$2/lost/status")" != 0 ] || echo "a folder that cannot be entered ran"
cases_summary cases' >"$tmp/case"
    out=$(TMPDIR=$tmp/tmp $shell "$tmp/case" "$system" "$tmp" 2>&1) ||
        fail "$shell: a case: $out"
    [ "$out" = "cases: 1 passed, 0 failed" ] || fail "$shell: a case: $out"

    # Every disc against its .expected: a folder's discs, its folders'
    # among them, in order, whatever their names hold, then a disc named
    # alone; a disc without its .expected, a place that is none and a folder
    # without one fail, and are not run; patterns are expanded again after.
    d="$tmp/discs \303\274"
    mkdir -p "$d/sub" "$d/empty"
    for disc in "a b" "sub/c*" lone; do : >"$d/$disc.disc"; done
    printf '1\n' >"$d/a b.expected"
    printf '2\n' >"$d/sub/c*.expected"
    printf '%s' "$head"'
d=$2
seen() { printf "%s\n" "${1#"$d/"}" >>"$d/seen"; }
each_disc seen "$d" "$d/a b.disc" "$d/none" "$d/empty" 2>/dev/null
set -- "$d"/a*.expected
[ -f "$1" ] || echo "no pattern expanded after each_disc"
printf "1\n" >"$d/listing"
expect_listing right "$d/listing" "$d/a b.disc"
expect_listing wrong "$d/listing" "$d/sub/c*.disc" 2>/dev/null
cases_summary discs' >"$tmp/discs"
    out=$(TMPDIR=$tmp/tmp $shell "$tmp/discs" "$system" "$d" 2>&1) || true
    [ "$out" = "discs: 1 passed, 4 failed" ] || fail "$shell: every disc: $out"
    [ "$(cat "$d/seen" 2>/dev/null)" = "a b.disc
sub/c*.disc
a b.disc" ] || fail "$shell: every disc: each_disc ran for $(tr '\n' ' ' <"$d/seen")"
done
[ $failed -eq 0 ] && echo "lifecycle-test: $shells: 4 checks each passed"
exit $failed
