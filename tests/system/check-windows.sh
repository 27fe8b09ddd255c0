#!/bin/sh
# The Windows cdtracks.exe of a `make dist-windows` zip, run under Wine
# against the emulated drive: Wine's drive D: is a CD-ROM drive backed by a
# plain file, and libcdemu.so, preloaded into the program's Wine process,
# answers the Linux CD-ROM ioctls that Wine makes on that file's
# descriptors (it knows them by the file's identity: Wine's server opens
# the drive). Each disc of tests/discs and tests/discs/real is listed
# exactly as the Linux build lists it (which is checked against the disc's
# .expected file), but for the line ends: CRLF, Windows' text convention.
#
# Every Wine program runs under Wine's 64-bit loader, whether or not 32-bit
# Wine is installed beside it (wine_loader, below). The check's life (its
# scratch folder, time limits, Wine's server ended on any exit, Ctrl-C) is
# tests/system/lifecycle.sh's.
#
# Also checks what the zip holds and which DLLs the exe imports.
# Usage: check-windows.sh ZIP LINUX_BUILD
# LINUX_BUILD holds the Linux cdtracks and the emulator (make build).
# Environment: WINE_CACHE, where the Wine prefix is kept (default: the zip's
# folder, wine/); WINE_TIMEOUT, seconds for any one Wine command (120).
set -eu

[ $# -eq 2 ] || { echo "usage: $0 ZIP LINUX_BUILD" >&2; exit 2; }
top=$(cd "$(dirname "$0")/../.." && pwd)
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
linux=$(cd "$2" && pwd)
cache=${WINE_CACHE:-$(dirname "$zip")/wine}
limit=${WINE_TIMEOUT:-120}
# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
lifecycle check-windows

now() { date +%s.%N; }
seconds_since() { LC_ALL=C awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# The one Wine loader that runs every Wine program here, the exe among them:
# a 64-bit one, as the exe and the emulator are. Debian's `wine` is a script
# that starts the 32-bit loader wherever 32-bit Wine is installed: ld.so
# refuses the 64-bit emulator there, and that loader's reg.exe writes the
# 32-bit registry view, where D: is no CD-ROM drive. Debian keeps its
# loaders out of PATH, in /usr/lib/wine; Wine built as one WoW64 loader has
# only `wine`. The first of these that is an x86-64 program is the one.
wine_loader() {
    for _l in "$(command -v wine64 2>/dev/null)" /usr/lib/wine/wine64 /usr/lib/wine/wine \
        "$(command -v wine 2>/dev/null)"; do
        [ -n "$_l" ] && [ "$("$top/scripts/elf.sh" "$_l" 2>/dev/null)" = "x86_64 dynamic" ] &&
            { echo "$_l"; return 0; }
    done
    return 1
}

for tool in wineserver x86_64-w64-mingw32-objdump cmake; do
    command -v $tool >/dev/null 2>&1 || die "$tool is missing: scripts/install-deps.sh windows installs it"
done
loader=$(wine_loader) ||
    die "no 64-bit Wine loader (wine64, or wine as one): scripts/install-deps.sh windows installs it"
[ -x "$linux/cdtracks" ] && [ -x "$linux/cdemu/with-disc" ] ||
    die "$linux has no Linux cdtracks and emulator (make build)"

work=$(scratch)
# Wine, headless and quiet: its own messages would read as the program's.
# Whatever Wine starts, it starts with this loader (WINELOADER; its 32-bit
# programs with the loader of that name without "64").
# Its temporary files go with the check.
unset DISPLAY WAYLAND_DISPLAY
mkdir "$work/tmp"
export WINEPREFIX="$cache/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    WINELOADER="$loader" WINEARCH=win64 TMPDIR="$work/tmp"
# Wine's server ends, and with it every Wine program of the prefix: at the
# end, and at once when the check is stopped (Wine's programs take SIGTERM
# slowly, if at all).
wine_down() { limited 30 wineserver -k 2>/dev/null || true; }
at_exit wine_down
stop_wine() {
    kill -TERM "$(lc_running)" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
}
at_stop stop_wine

# case_of NAME STDOUT COMMAND...: a case of run_case, in a new empty working
# folder, COMMAND under the time limit.
case_of() {
    _co_name=$1 _co_stdout=$2
    shift 2
    run_case "$work" "$_co_name" "$_co_stdout" - timeout -k 5 "$limit" "$@"
}

# ---- the zip ----
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
dir=$work/zip/$(basename "$zip" .zip)
# The patches to SDL (all of cmake/*.patch are the Windows build's) are in
# the zip, and the notice names each and says what it changes.
patches=$(cd "$top/cmake" && LC_ALL=C ls -- *.patch)
contents="cdtracks.exe cdtracks.txt README.txt LICENSE SDL-COPYING SDL-NOTICE.txt $patches"
for f in $contents; do
    [ -f "$dir/$f" ] || case_fail "the zip lacks $f"
done
[ "$(ls "$dir" | wc -l)" -eq "$(echo "$contents" | wc -w)" ] ||
    case_fail "the zip holds more: $(ls "$dir" | tr '\n' ' ')"
# (The notice is in CR LF, as the zip's text files are.)
tr -d '\r' <"$dir/SDL-NOTICE.txt" >"$work/notice"
for f in $patches; do
    cmp -s "$dir/$f" "$top/cmake/$f" && grep -qxF "  $f:" "$work/notice" &&
        grep -qxF "    $(head -n 1 "$top/cmake/$f")" "$work/notice" ||
        case_fail "the zip's $f is not cmake/$f, or SDL-NOTICE.txt does not describe it"
done
for f in cdtracks.txt README.txt LICENSE SDL-COPYING SDL-NOTICE.txt; do
    awk '!/\r$/ { bad = 1 } END { exit bad }' "$dir/$f" || case_fail "$f has lines without CR LF"
done
exe=$dir/cdtracks.exe
# (objdump's English, and the C locale's letters and order; Wine keeps this
# machine's locale.)
headers=$(LC_ALL=C x86_64-w64-mingw32-objdump -p "$exe")
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | LC_ALL=C tr 'a-z' 'A-Z' | LC_ALL=C sort)
[ -n "$imports" ] || case_fail "cdtracks.exe imports no DLL: objdump read no import table"
for dll in $imports; do
    case $dll in
    KERNEL32.DLL|USER32.DLL|GDI32.DLL|WINMM.DLL|MSVCRT.DLL|ADVAPI32.DLL|SHELL32.DLL) ;;
    *) case_fail "cdtracks.exe imports $dll, which not every Windows has" ;;
    esac
done
printf '%s\n' "$headers" | grep -q 'Subsystem.*Windows CUI' ||
    case_fail "cdtracks.exe is not a console program"
echo "check-windows: cdtracks.exe imports" $imports

# ---- the Wine prefix, made once and kept ----
# It is kept for the Wine that made it: another loader or version makes it
# anew.
limited "$limit" "$loader" --version >"$work/wine" 2>&1 || die "$loader --version failed: $(cat "$work/wine")"
printf '%s\n' "$loader" >>"$work/wine"
start=$(now)
prefix="kept from an earlier run"
if ! cmp -s "$work/wine" "$cache/.complete"; then
    prefix=made
    say "making a Wine prefix in $WINEPREFIX for $(tr '\n' ' ' <"$work/wine")(once)"
    rm -rf "$cache"
    mkdir -p "$cache"
    limited "$limit" "$loader" wineboot -u >"$cache/wineboot.log" 2>&1 ||
        { tail -n 20 "$cache/wineboot.log" >&2; die "wineboot could not make a prefix"; }
    limited "$limit" wineserver -w || die "Wine's server did not end after wineboot (status $?)"
    cp "$work/wine" "$cache/.complete"
    prefix="made in $(seconds_since "$start") s"
fi
# Drive D:, a CD-ROM drive whose device is a plain file: the emulator's.
# (Wine's mount manager reads the drives from the 64-bit view of the
# registry: /reg:64.)
device=$cache/cdrom-device
: >"$device"
mkdir -p "$cache/d-root"
drive() { # on|off
    if [ "$1" = on ]; then
        ln -sfn "$cache/d-root" "$WINEPREFIX/dosdevices/d:"
        ln -sfn "$device" "$WINEPREFIX/dosdevices/d::"
        limited "$limit" "$loader" reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f /reg:64 >/dev/null ||
            die "reg add could not make D: a CD-ROM drive (status $?)"
    else
        rm -f "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/d::"
        limited "$limit" "$loader" reg delete 'HKLM\Software\Wine\Drives' /v d: /f /reg:64 >/dev/null 2>&1 || true
    fi
    # The drives are read when Wine's server starts: start it anew, and keep
    # it up between runs.
    limited "$limit" wineserver -k 2>/dev/null || true
    limited "$limit" wineserver -w || die "Wine's server did not end (status $?)"
    limited "$limit" wineserver -p || die "Wine's server did not start (status $?)"
}

# The exe, with DISC in the emulated drive, in a new empty working folder;
# WRAPPER, where given, runs it.
on_windows() { # NAME DISC [WRAPPER...]
    _n=$1
    printf '%s' "$2" >"$work/$_n.disc"
    shift 2
    case_of "$_n" - "$@" "$linux/cdemu/with-disc" --device "$device" --log "$work/$_n.calls" \
        "$work/$_n.disc" "$loader" "$exe"
}

# The Linux build with DISC in the emulated drive, as case linux-NAME, and
# what it printed as Windows prints it, with CRLF line ends, in
# $work/linux-NAME.crlf.
on_linux() { # NAME DISC
    printf '%s' "$2" >"$work/linux-$1.disc"
    case_of "linux-$1" - "$linux/cdemu/with-disc" "$work/linux-$1.disc" "$linux/cdtracks"
    sed 's/$/\r/' "$work/linux-$1/stdout" >"$work/linux-$1.crlf"
}

# The exe lists the disc DISC (a .disc file) as the Linux build does, and
# the Linux build lists it as its .expected says.
same_as_linux() { # DISC
    _name=disc-$(basename "$1" .disc)
    case $1 in */real/*) _name=real-${_name#disc-} ;; esac
    _disc=$(cat "$1")
    on_windows "$_name" "$_disc"
    on_linux "$_name" "$_disc"
    expect_listing "$_name: the Linux build" "$work/linux-$_name/stdout" "$1"
    _want=$(cat "$work/linux-$_name.crlf")
    expect_case "$work" "$_name" 0 "${_want:+$_want
}" ""
}

sample=$(cat "$top/tests/discs/sample.disc")
# No CD-ROM drive: Wine has no drive D:, so the disc the emulator holds is
# never asked for.
start=$(now)
drive off
on_windows no-drive "$sample"
cold=$(seconds_since "$start")
expect_case "$work" no-drive 0 "" ""
[ ! -s "$work/no-drive.calls" ] || case_fail "no-drive: a drive was asked: $(tr '\n' ' ' <"$work/no-drive.calls")"

drive on
start=$(now)
same_as_linux "$top/tests/discs/sample.disc"
warm=$(seconds_since "$start")
# The drive was stopped and closed at exit, while SDL still ran: MCI's
# close stops the drive, and does nothing once SDL has shut down.
[ "$(tail -n 1 "$work/disc-sample.calls")" = CDROMSTOP ] ||
    case_fail "sample: the drive was not closed at exit: $(tr '\n' ' ' <"$work/disc-sample.calls")"
# Every other disc of tests/discs, the real discs among them.
others_as_linux() { # DISC
    [ "$1" = "$top/tests/discs/sample.disc" ] || same_as_linux "$1"
}
each_disc others_as_linux "$top/tests/discs"
on_windows empty "empty
"
expect_case "$work" empty 0 "" ""
on_windows unreadable "fail CDROMREADTOCHDR EIO
$sample"
expect_case "$work" unreadable 0 "" ""
on_linux unreadable "fail CDROMREADTOCHDR EIO
$sample"
[ ! -s "$work/linux-unreadable/stdout" ] || case_fail "unreadable: the Linux build lists the disc"
# The drive's table cannot be read the first time: SDL falls back to
# reading it through MCI, which gives the last track one frame short.
on_windows fallback "fail CDROMREADTOCHDR EIO for 1
$sample"
expect_case "$work" fallback 0 "$(awk '{ line[NR] = $0 } END { line[NR]--; for (i = 1; i <= NR; i++) printf "%s\r\n", line[i] }' "$top/tests/discs/sample.expected")
" ""

# A report that cannot be written: standard output a pipe whose reader is
# gone. Status 1 and one line on standard error; its reason is the C
# runtime's. The reader is known to be gone once a write to the pipe fails.
# The pipe is made by a shell of its own that the time limit holds, as its
# process group, so that a signal stops all of it; it passes on the exe's
# status. (A reader that reads nothing is the point.)
# shellcheck disable=SC2016
closed_pipe='status=$1
shift
{
    trap "" PIPE
    while printf x 2>/dev/null; do :; done
    trap - PIPE
    s=0
    "$@" || s=$?
    echo "$s" >"$status"
} | true
exit "$(cat "$status")"'
on_windows closed-pipe "$sample" sh -c "$closed_pipe" sh "$work/closed-pipe.status"
pipe=$work/closed-pipe
if [ "$(cat "$pipe/status")" = 1 ] && [ "$(wc -l <"$pipe/stderr")" -eq 1 ] &&
    grep -q '^cdtracks: write error: ' "$pipe/stderr"; then
    case_pass
else
    case_fail "closed-pipe: status $(cat "$pipe/status"), stderr '$(cat "$pipe/stderr")'"
fi

# Nothing was written next to the exe (no stdout.txt, no stderr.txt).
[ "$(ls "$dir" | wc -l)" -eq "$(echo "$contents" | wc -w)" ] ||
    case_fail "files appeared next to the exe: $(ls "$dir" | tr '\n' ' ')"

echo "check-windows: Wine prefix $prefix; a first run, Wine's server starting, ${cold} s;" \
    "a run with the server up ${warm} s"
cases_summary check-windows
