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
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"

die() { echo "check-windows: $*" >&2; exit 1; }
now() { date +%s.%N; }
seconds_since() { LC_ALL=C awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

for tool in wine wineserver x86_64-w64-mingw32-objdump cmake; do
    command -v $tool >/dev/null 2>&1 || die "$tool is missing: scripts/install-deps.sh windows installs it"
done
[ -x "$linux/cdtracks" ] && [ -x "$linux/cdemu/with-disc" ] ||
    die "$linux has no Linux cdtracks and emulator (make build)"

work=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-windows.XXXXXX")
# Wine, headless and quiet: its own messages would read as the program's.
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX="$cache/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
wine_timeout() { timeout --kill-after=5 "$limit" "$@"; }

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
start=$(now)
prefix="kept from an earlier run"
if [ ! -f "$cache/.complete" ]; then
    prefix=made
    echo "check-windows: making a Wine prefix in $WINEPREFIX (once)" >&2
    rm -rf "$cache"
    mkdir -p "$cache"
    wine_timeout wineboot -u >"$cache/wineboot.log" 2>&1 ||
        { tail -n 20 "$cache/wineboot.log" >&2; die "wineboot could not make a prefix"; }
    wine_timeout wineserver -w
    touch "$cache/.complete"
    prefix="made in $(seconds_since "$start") s"
fi
# Drive D:, a CD-ROM drive whose device is a plain file: the emulator's.
device=$cache/cdrom-device
: >"$device"
mkdir -p "$cache/d-root"
drive() { # on|off
    if [ "$1" = on ]; then
        ln -sfn "$cache/d-root" "$WINEPREFIX/dosdevices/d:"
        ln -sfn "$device" "$WINEPREFIX/dosdevices/d::"
        wine_timeout wine reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f >/dev/null
    else
        rm -f "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/d::"
        wine_timeout wine reg delete 'HKLM\Software\Wine\Drives' /v d: /f >/dev/null 2>&1 || true
    fi
    # The drives are read when Wine's server starts: start it anew, and keep
    # it up between runs.
    wine_timeout wineserver -k 2>/dev/null || true
    wine_timeout wineserver -w
    wineserver -p
}

# The exe, with DISC in the emulated drive, in a new empty working folder.
on_windows() { # NAME DISC [STDOUT]
    printf '%s' "$2" >"$work/$1.disc"
    run_case "$work" "$1" "${3:--}" - env CDEMU_DEVICE="$device" CDEMU_LOG="$work/$1.calls" \
        timeout --kill-after=5 "$limit" "$linux/cdemu/with-disc" "$work/$1.disc" wine "$exe"
}

# What the Linux build prints for DISC, as Windows prints it: with CRLF
# line ends. (Command substitution drops the last line feed: the callers put
# it back.)
windows_listing_of() { # DISC
    mkdir -p "$work/linux"
    printf '%s' "$1" >"$work/linux/disc"
    (cd "$work/linux" && timeout --kill-after=5 "$limit" "$linux/cdemu/with-disc" "$work/linux/disc" \
        "$linux/cdtracks") | sed 's/$/\r/'
}

# The exe lists the disc DISC (a .disc file) as the Linux build does, and
# the Linux build lists it as its .expected says.
same_as_linux() { # DISC
    _name=disc-$(basename "$1" .disc)
    case $1 in */real/*) _name=real-${_name#disc-} ;; esac
    _disc=$(cat "$1")
    on_windows "$_name" "$_disc"
    _want=$(windows_listing_of "$_disc")
    [ "$_want" = "$(sed 's/$/\r/' "${1%.disc}.expected")" ] ||
        case_fail "$_name: the Linux build does not list it as ${1%.disc}.expected says"
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
for disc in "$top"/tests/discs/*.disc "$top"/tests/discs/real/*.disc; do
    [ "$(basename "$disc")" = sample.disc ] || same_as_linux "$disc"
done
on_windows empty "empty
"
expect_case "$work" empty 0 "" ""
on_windows unreadable "fail CDROMREADTOCHDR EIO
$sample"
expect_case "$work" unreadable 0 "" ""
[ -z "$(windows_listing_of "fail CDROMREADTOCHDR EIO
$sample")" ] || case_fail "unreadable: the Linux build lists the disc"
# The drive's table cannot be read the first time: SDL falls back to
# reading it through MCI, which gives the last track one frame short.
on_windows fallback "fail CDROMREADTOCHDR EIO for 1
$sample"
expect_case "$work" fallback 0 "$(awk '{ line[NR] = $0 } END { line[NR]--; for (i = 1; i <= NR; i++) printf "%s\r\n", line[i] }' "$top/tests/discs/sample.expected")
" ""

# A report that cannot be written: standard output a pipe whose reader is
# gone. Status 1 and one line on standard error; its reason is the C
# runtime's. The reader is known to be gone once a write to the pipe fails.
# (A reader that reads nothing is the point: shellcheck 0.7 takes it for a
# mistake.)
# shellcheck disable=SC2216
(
    trap '' PIPE
    while printf x 2>/dev/null; do :; done
    trap - PIPE
    on_windows closed-pipe "$sample" /dev/stdout
) | true
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
