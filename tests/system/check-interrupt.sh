#!/bin/sh
# Interrupts each make TARGET once it is under way, as a terminal's Ctrl-C
# does (SIGINT to the foreground process group), and checks that it stopped
# within INTERRUPT_LIMIT seconds (default 15), leaving no process behind
# (QEMU and Wine included), no temporary folder (in a TMPDIR of its own) and
# no mount. Under way means: for check, ctest runs; for check-vm, QEMU; for
# check-windows, Wine's server; for another target, its first second. Says
# how long each took to stop.
# Usage: check-interrupt.sh [TARGET...]   (default: check check-vm)
# Environment: INTERRUPT_START, seconds a target may take to get under way
# (default 900: it may build first); MAKEFLAGS and the make variables pass
# on to each make.
set -eu
export LC_ALL=C

top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
lifecycle check-interrupt
for tool in perl pgrep; do
    command -v $tool >/dev/null 2>&1 || die "$tool is missing"
done
limit=${INTERRUPT_LIMIT:-15}
start_limit=${INTERRUPT_START:-900}

# The make under test runs in a session of its own, as a terminal's would,
# with SIGINT at its default (a shell's background job ignores it). A
# process that leaves the session's process group (timeout does) stays in
# the session: the session is what must end.
session=
end_session() {
    [ -n "$session" ] || return 0
    pkill -KILL -s "$session" 2>/dev/null || true
    for pid in $(marked); do kill -KILL "$pid" 2>/dev/null || true; done
}
at_exit end_session

# The processes of the make under test: its session's, and those that left
# it (ctest.sh's session, Wine's server), known by a variable of this run's
# in their environment. A zombie is none (the session's first process is
# this shell's child, left so until waited for).
marked() {
    grep -lzxF "CDTRACKS_INTERRUPTED=$tmp" /proc/[0-9]*/environ 2>/dev/null |
        sed 's|^/proc/\([0-9]*\)/environ$|\1|'
}
alive() { ps -o stat= -s "$session" | grep -qv '^Z' || [ -n "$(marked)" ]; }
# Tenths of a second since boot.
tenths() { awk '{ printf "%d\n", $1 * 10 }' /proc/uptime; }

interrupt() { # TARGET
    case $1 in
    check) marker=ctest ;;
    check-vm) marker=qemu-system- ;;
    check-windows) marker=wineserver ;;
    *) marker= ;;
    esac
    tmp=$(scratch "$1")
    log=$tmp.log
    perl -e 'use POSIX; POSIX::setsid() or die "setsid: $!"; $SIG{INT} = "DEFAULT"; exec @ARGV or die "$ARGV[0]: $!"' \
        env TMPDIR="$tmp" CDTRACKS_INTERRUPTED="$tmp" make -C "$top" --no-print-directory "$1" >"$log" 2>&1 </dev/null &
    session=$!
    waited=0
    until [ -z "$marker" ] || pgrep -s "$session" -f "$marker" >/dev/null; do
        if ! kill -0 "$session" 2>/dev/null; then
            tail -n 20 "$log" >&2
            case_fail "make $1 ended before it was under way (its output ends above)"
            session=
            return
        fi
        [ $waited -lt "$start_limit" ] || { case_fail "make $1: no $marker after $start_limit s"; return; }
        sleep 1
        waited=$((waited + 1))
    done
    sleep 2
    kill -INT "-$session"
    began=$(tenths)
    while alive && [ $(($(tenths) - began)) -le $((limit * 10)) ]; do
        sleep 0.1
    done
    took=$(($(tenths) - began))
    seconds=$((took / 10)).$((took % 10))
    if alive; then
        for pid in $(pgrep -s "$session") $(marked); do
            ps -o pid=,args= -p "$pid" | cut -c1-100 >&2 || true
        done
        case_fail "make $1: still running $limit s after SIGINT (the processes above)"
        end_session
    else
        case_pass
    fi
    status=0
    wait "$session" || status=$?
    [ $status -ne 0 ] && case_pass || case_fail "make $1: status 0 after SIGINT"
    session=
    left=$(ls -A "$tmp")
    [ -z "$left" ] && case_pass || case_fail "make $1: left in TMPDIR: $(echo "$left" | tr '\n' ' ')"
    mounts=$(grep -F -e "$top" -e "$tmp" /proc/mounts || true)
    [ -z "$mounts" ] && case_pass || case_fail "make $1: left mounted: $mounts"
    say "make $1 stopped ${seconds} s after SIGINT (under way: ${marker:-started})"
}

[ $# -gt 0 ] || set -- check check-vm
for target; do
    interrupt "$target"
done
cases_summary check-interrupt
