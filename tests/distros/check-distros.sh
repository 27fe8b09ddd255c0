#!/bin/sh
# The README's quick start on other Debian releases, as a new user there
# would meet it: for Debian 11 (bullseye) and Debian 13 (trixie), a minimal
# root made with debootstrap from the archive this machine's apt uses, and,
# in a fresh copy of it, a fresh clone of this repository (its committed
# HEAD) running `make demo` and `make check`. Checks that the demo prints the
# sample disc's 12 lines and that ctest ran tests and none failed. Then runs
# DIST_BINARY (make dist's static cdtracks) in each root and in an empty root
# holding nothing but it: no drive there, so no output, status 0.
#
# Needs root (chroot, mounts), debootstrap and git. The pristine roots are
# kept in DISTRO_CACHE (default build-distro-cache) and copied for each try.
# Usage: check-distros.sh DIST_BINARY [RELEASE...]   (default: bullseye trixie)
# Environment: DISTRO_TIMEOUT, seconds for each step (default 900).
set -eu

[ $# -ge 1 ] || { echo "usage: $0 DIST_BINARY [RELEASE...]" >&2; exit 2; }
top=$(cd "$(dirname "$0")/../.." && pwd)
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
releases=${*:-bullseye trixie}
cache=${DISTRO_CACHE:-$top/build-distro-cache}
limit=${DISTRO_TIMEOUT:-900}
. "$top/tests/system/cases.sh"

die() { echo "check-distros: $*" >&2; exit 1; }
say() { echo "check-distros: $*" >&2; }

[ "$(id -u)" -eq 0 ] || die "needs root, for debootstrap, chroot and mounts"
for tool in debootstrap git chroot unshare timeout; do
    command -v $tool >/dev/null 2>&1 || die "$tool is missing: scripts/install-deps.sh distros installs it"
done
[ -x "$binary" ] || die "$binary is not an executable"

# The Debian archive this machine's apt uses (not its security archive).
archive=$(apt-get indextargets --format '$(REPO_URI) $(LABEL) $(RELEASE)' 'Identifier: Packages' |
    awk '$2 == "Debian" && $3 !~ /-/ { print $1; exit }')
[ -n "$archive" ] || die "this machine's apt uses no Debian archive to make roots from"

mkdir -p "$cache"
work=$(mktemp -d "$cache/try.XXXXXX")
mounted=
# A root's /dev is the machine's, bound in: it is let go before anything is
# removed, and removal never leaves the root's own file system.
release_mounts() {
    for m in $mounted; do
        umount -R "$m" 2>/dev/null || umount -lR "$m" 2>/dev/null || true
    done
    mounted=
}
cleanup() {
    release_mounts
    if grep -q " $work/" /proc/mounts; then
        echo "check-distros: mounts are left under $work; not removing it" >&2
    else
        rm -rf --one-file-system "$work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Makes the pristine root of a release once; a failure says why and stops.
pristine() { # RELEASE
    root=$cache/$1
    [ -f "$root/.complete" ] && return 0
    say "making a Debian $1 root from $archive (once; kept in $root)"
    rm -rf --one-file-system "$root" "$root.part"
    if ! timeout --kill-after=10 "$limit" debootstrap --variant=minbase \
        --include=ca-certificates,git,make "$1" "$root.part" "$archive" >"$cache/$1.log" 2>&1; then
        tail -n 15 "$cache/$1.log" >&2
        rm -rf --one-file-system "$root.part"
        die "cannot make a Debian $1 root (the log is $cache/$1.log)"
    fi
    mv "$root.part" "$root"
    touch "$root/.complete"
}

# Runs a command as root inside a root, with a new user's clean environment.
in_root() { # ROOT COMMAND...
    _root=$1
    shift
    timeout --kill-after=10 "$limit" chroot "$_root" env -i HOME=/root TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

if [ -n "$(git -C "$top" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    say "the working tree has uncommitted changes; the clones hold its HEAD only"
fi

sample=$(cat "$top/tests/discs/sample.expected")
for release in $releases; do
    pristine "$release"
    root=$work/$release
    say "$release: a fresh copy of the root, a fresh clone, make demo and make check"
    cp -a "$cache/$release" "$root"
    mount -t proc proc "$root/proc"
    mounted="$mounted $root/proc"
    # Bound in as slaves: letting them go must not unmount the machine's own.
    for fs in sys dev; do
        mount --rbind "/$fs" "$root/$fs"
        mount --make-rslave "$root/$fs"
        mounted="$mounted $root/$fs"
    done
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    git clone -q "$top" "$root/root/cdtracks"

    start=$(date +%s)
    run_case "$work" "$release.demo" - "$root/root/cdtracks" in_root "$root" sh -c 'cd /root/cdtracks && make demo'
    demo=$work/$release.demo
    if [ "$(cat "$demo/status")" = 0 ] && [ "$(tail -n 12 "$demo/stdout")" = "$sample" ]; then
        case_pass
        say "$release: make demo listed the sample disc ($(($(date +%s) - start)) s)"
        grep -h -e '^-- cdtracks SDL:' -e '^fetch-sdl-source: using' "$demo/stdout" "$demo/stderr" |
            sort -u | sed 's/^/    /' >&2
    else
        tail -n 30 "$demo/stdout" "$demo/stderr" >&2
        case_fail "$release: make demo ended with status $(cat "$demo/status") without the sample's 12 lines"
    fi

    start=$(date +%s)
    run_case "$work" "$release.check" - "$root/root/cdtracks" in_root "$root" sh -c 'cd /root/cdtracks && make check'
    check=$work/$release.check
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$check/stdout" | tail -n 1)
    total=$(echo "$summary" | sed -n 's/.* out of \([0-9]*\)$/\1/p')
    if [ "$(cat "$check/status")" = 0 ] && [ "${total:-0}" -gt 0 ] &&
        echo "$summary" | grep -q '^100% tests passed, 0 tests failed'; then
        case_pass
        say "$release: make check: $summary ($(($(date +%s) - start)) s)"
        sed -n '/did not run:/,/^$/p' "$check/stdout" | sed 's/^/    /' >&2
    else
        tail -n 40 "$check/stdout" "$check/stderr" >&2
        case_fail "$release: make check ended with status $(cat "$check/status"): ${summary:-no ctest summary}"
    fi

    # The release's compiler and CMake find nothing to warn about in ours
    # (SDL's own build keeps its output in its log files).
    warnings=$(grep -hE 'warning:|CMake (Deprecation )?Warning' "$demo/stdout" "$demo/stderr" \
        "$check/stdout" "$check/stderr" | sort -u)
    if [ -z "$warnings" ]; then case_pass; else case_fail "$release: the build warns:
$warnings"; fi

    # make dist's binary in this root: no drive, nothing printed.
    mkdir "$root/cdtracks-run"
    cp "$binary" "$root/usr/local/bin/cdtracks-dist"
    run_case "$work" "$release.dist" - "$root/cdtracks-run" unshare --root="$root" --wd=/cdtracks-run /usr/local/bin/cdtracks-dist
    expect_case "$work" "$release.dist" 0 "" ""

    release_mounts
done

# In an empty root: the binary and nothing else, not even /dev or /proc.
empty=$work/empty
mkdir "$empty"
cp "$binary" "$empty/cdtracks"
run_case "$work" empty-root - "$empty" unshare --root="$empty" --wd=/ /cdtracks
expect_case "$work" empty-root 0 "" "" cdtracks

cases_summary check-distros
