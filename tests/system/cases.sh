# Runs and checks of a program, shared by the system tests (a virtual
# machine, other Debian releases, Wine). Sourced, by any POSIX shell,
# busybox's among them, after lifecycle.sh (its lc_run runs each case, so
# that a signal stops it). Each case keeps, in a folder of its own, what the
# run printed on standard output and standard error, its status and the names
# of the files it left in its working folder.
# shellcheck shell=sh

cases_passed=0
cases_failed=0

# case_pass; case_fail WHAT: counts a check, saying what failed.
case_pass() { cases_passed=$((cases_passed + 1)); }
case_fail() { echo "FAIL: $*" >&2; cases_failed=$((cases_failed + 1)); }

# run_case DIR NAME STDOUT WORKDIR COMMAND...: runs COMMAND in WORKDIR ("-":
# a new empty folder DIR/NAME/work) with standard output to STDOUT ("-":
# kept), and keeps the results in DIR/NAME.
run_case() {
    _case=$1/$2 _out=$3 _wd=$4
    shift 4
    mkdir -p "$_case"
    if [ "$_wd" = - ]; then
        _wd=$_case/work
        mkdir -p "$_wd"
        chmod 0777 "$_wd"
    fi
    [ "$_out" = - ] && _out=$_case/stdout
    : >"$_case/stdout"
    _status=0
    lc_run case_in "$_wd" "$@" >"$_out" 2>"$_case/stderr" || _status=$?
    echo $_status >"$_case/status"
    LC_ALL=C ls -A "$_wd" >"$_case/files"
}

# case_in DIR COMMAND...: COMMAND, in DIR, in place of this shell, so that
# stopping the case stops COMMAND. A shell function runs in this shell: it
# must exec its command for the same (check-distros' need not: its whole
# PID namespace is stopped).
case_in() {
    cd "$1" || exit
    shift
    case $(command -V "$1" 2>/dev/null) in
    *function*) "$@"; exit ;;
    esac
    exec "$@"
}

# expect_case DIR NAME STATUS STDOUT STDERR [FILES]: checks that the case
# ended with STATUS, printed exactly STDOUT and STDERR, and left exactly
# FILES (names a line; default none); says what differs and counts it.
expect_case() {
    _case=$1/$2 _name=$2 _why=
    printf '%s' "$4" >"$_case/want"
    cmp -s "$_case/stdout" "$_case/want" ||
        _why="$_why; stdout is '$(cat "$_case/stdout")', not '$4'"
    printf '%s' "$5" >"$_case/want"
    cmp -s "$_case/stderr" "$_case/want" ||
        _why="$_why; stderr is '$(cat "$_case/stderr")', not '$5'"
    _status=$(cat "$_case/status")
    if [ "$_status" != "$3" ]; then
        _why="$_why; status $_status, not $3"
        [ "$_status" != 124 ] || _why="$_why (timeout's: it timed out)"
    fi
    [ "$(cat "$_case/files")" = "${6:-}" ] || _why="$_why; left $(tr '\n' ' ' <"$_case/files")"
    if [ -z "$_why" ]; then case_pass; else case_fail "$_name$_why"; fi
}

# expect_same DIR NAME REF [LABEL]: checks that the case DIR/NAME printed,
# ended with and left exactly what the case in folder REF did; says (as
# LABEL, default NAME) what differs and counts it.
expect_same() {
    _case=$1/$2 _why="; it did not run"
    if [ -d "$_case" ]; then
        _why=
        for _f in stdout stderr status files; do
            cmp -s "$3/$_f" "$_case/$_f" ||
                _why="$_why; $_f differs: $(diff "$3/$_f" "$_case/$_f" | head -n 6 | tr '\n' ' ')"
        done
    fi
    if [ -z "$_why" ]; then case_pass; else case_fail "${4:-$2}$_why"; fi
}

# each_disc FUNCTION PLACE...: runs FUNCTION DISC, in this shell, on each
# described disc of the PLACEs in turn: a folder's NAME.disc files, its
# folders' among them, in the C locale's order, or one NAME.disc. Each disc
# must have its NAME.expected beside it, the listing to expect of it
# (expect_listing checks one): a disc without it, and a PLACE that is no
# disc or holds none, fail a check, and FUNCTION is not run for them. (Not
# nested: FUNCTION runs no each_disc of its own.)
each_disc() {
    _ed_function=$1 _ed_list=
    shift
    for _ed_place in "$@"; do
        if [ -d "$_ed_place" ]; then
            _ed_found=$(find "$_ed_place" -name '*.disc' -type f | LC_ALL=C sort)
        else
            _ed_found=
            case $_ed_place in *.disc) [ ! -f "$_ed_place" ] || _ed_found=$_ed_place ;; esac
        fi
        if [ -z "$_ed_found" ]; then
            case_fail "$_ed_place is no NAME.disc, nor a folder that holds one"
        else
            _ed_list="$_ed_list$_ed_found
"
        fi
    done
    # A path a line: blanks and letters beyond ASCII are kept, and no
    # pattern is expanded.
    _ed_ifs=$IFS _ed_noglob=
    case $- in *f*) _ed_noglob=yes ;; esac
    IFS='
'
    set -f
    for _ed_disc in $_ed_list; do
        IFS=$_ed_ifs
        [ -n "$_ed_noglob" ] || set +f
        if [ -f "${_ed_disc%.disc}.expected" ]; then
            "$_ed_function" "$_ed_disc"
        else
            case_fail "${_ed_disc%.disc}.expected is missing: the listing to expect of $_ed_disc"
        fi
    done
    IFS=$_ed_ifs
    [ -n "$_ed_noglob" ] || set +f
}

# expect_listing LABEL LISTING DISC: checks that the file LISTING is what
# DISC's NAME.expected says, byte for byte; says (as LABEL) what differs and
# counts it.
expect_listing() {
    if cmp -s "$2" "${3%.disc}.expected"; then
        case_pass
    else
        case_fail "$1: the listing differs from ${3%.disc}.expected:" \
            "$(diff "${3%.disc}.expected" "$2" | head -n 6 | tr '\n' ' ')"
    fi
}

# cases_ok: true while no check has failed.
cases_ok() { [ "$cases_failed" -eq 0 ]; }

# cases_summary LABEL: prints "LABEL: N passed, M failed"; fails if any did.
cases_summary() {
    echo "$1: $cases_passed passed, $cases_failed failed"
    cases_ok
}
