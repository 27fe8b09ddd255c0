# The life of a system check, shared by every one of them: its scratch
# folders, the commands it runs under a time limit, and its clean-up, which
# runs however the check ends (its last line, an error under set -e, SIGINT,
# SIGTERM or SIGHUP) and leaves nothing behind. Sourced, by any POSIX shell,
# busybox's among them.
#
#   lifecycle NAME         starts the check's life: its traps, and its
#                          scratch root, ${TMPDIR:-/tmp}/cdtracks-NAME.XXXXXX,
#                          removed at the end
#   scratch [LABEL]        prints the path of a new empty folder in the
#                          scratch root
#   at_exit FUNCTION       FUNCTION runs at the end, once the running command
#                          has ended, before the scratch root is removed (the
#                          last registered first)
#   at_stop FUNCTION       FUNCTION, not a SIGTERM, stops the running command
#                          at the end
#   lc_running             prints the process id of the running command
#   limited SECONDS CMD... CMD under timeout (SIGKILL 5 s after SIGTERM); its
#                          status, 124 where it timed out
#   lc_run CMD...          CMD with nothing added; its status
#   die MESSAGE            "NAME: MESSAGE" on standard error, status 1
#   say MESSAGE            "NAME: MESSAGE" on standard error
#
# A signal reaches a shell only once the command it waits for in the
# foreground has ended, and timeout puts itself in a process group of its
# own, where a terminal's Ctrl-C never reaches it. So lc_run and limited run
# their command in the background, standard input kept, and wait for it,
# which a signal interrupts; the trap stops that command (SIGTERM, which
# timeout passes on to its whole group) before the clean-ups run.
# shellcheck shell=sh

lc_name=check
lc_root=
lc_cleanups=
lc_stop=
lc_child=

say() { echo "$lc_name: $*" >&2; }
die() { say "$@"; exit 1; }

# lc_run COMMAND...: runs COMMAND (a shell function too) in the background,
# with this shell's standard input, and waits for it; returns its status.
lc_run() {
    # (A background command's standard input would be /dev/null: it gets
    # this shell's through descriptor 9, where there is one to give.)
    if [ -e /proc/self/fd/0 ]; then exec 9<&0; else exec 9</dev/null; fi
    "$@" <&9 9<&- &
    lc_child=$!
    exec 9<&-
    # (wait returns early when a trapped signal comes; the trap then ends
    # the check, and with it this loop.)
    while :; do
        _lc_status=0
        wait "$lc_child" || _lc_status=$?
        kill -0 "$lc_child" 2>/dev/null || break
    done
    lc_child=
    return "$_lc_status"
}

# timeout, the program found on PATH: busybox's shell may run an applet of
# its own for the name, which takes other options in some versions.
lc_timeout=timeout
_lc_ifs=$IFS
IFS=:
for _lc_dir in $PATH; do
    if [ -x "$_lc_dir/timeout" ]; then
        lc_timeout=$_lc_dir/timeout
        break
    fi
done
IFS=$_lc_ifs

lc_running() { echo "$lc_child"; }

limited() { # SECONDS COMMAND...
    _lc_limit=$1
    shift
    lc_run "$lc_timeout" -k 5 "$_lc_limit" "$@"
}

# The end, whatever brought it: the running command stopped, the clean-ups
# run, the scratch root removed; the status is the check's own (128 + the
# signal's number after a signal).
lc_end() {
    # (A name of its own: a clean-up that runs limited or lc_run sets
    # theirs.)
    _lc_end_status=$?
    trap - EXIT
    # (Caught, not ignored: the commands the clean-ups run would inherit an
    # ignored signal, and timeout's SIGTERM would not stop them.)
    trap : INT TERM HUP
    if [ -n "$lc_child" ]; then
        if [ -n "$lc_stop" ]; then
            "$lc_stop" || true
        else
            kill -TERM "$lc_child" 2>/dev/null || true
        fi
        wait "$lc_child" 2>/dev/null || true
    fi
    for _lc_f in $lc_cleanups; do
        "$_lc_f" || true
    done
    [ -z "$lc_root" ] || rm -rf "$lc_root"
    exit "$_lc_end_status"
}

lifecycle() { # NAME
    lc_name=$1
    trap lc_end EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    lc_root=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-$lc_name.XXXXXX") || die "cannot make a scratch folder"
}

scratch() { # [LABEL]
    mktemp -d "$lc_root/${1:-scratch}.XXXXXX" || die "cannot make a scratch folder"
}

at_exit() { # FUNCTION
    lc_cleanups="$1 $lc_cleanups"
}

at_stop() { # FUNCTION
    lc_stop=$1
}
