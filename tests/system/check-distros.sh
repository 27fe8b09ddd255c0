#!/bin/sh
# The README's quick start on other Debian releases, as a new user there
# would meet it: for Debian 11 (bullseye), Debian 13 (trixie) and Debian 13
# on 64-bit ARM (trixie:arm64), a minimal root made with debootstrap from the
# archive this machine's apt uses, and, in a fresh copy of it, a fresh clone
# of this repository (its committed HEAD) running `make demo` and `make
# check`. Checks that the demo prints the sample disc's 12 lines and that
# ctest ran tests and none failed, and says how long each took. Then runs
# make dist's static cdtracks for the root's processor (one of the
# DIST_BINARY arguments) in each root, and each DIST_BINARY in an empty root
# holding nothing but it: no drive there, so no output, status 0.
#
# A root of another processor runs through qemu-user: its interpreter is
# registered with binfmt_misc, with flag F (opened at once, so that it serves
# inside the roots), for this run only, and removed at the end, also when
# the run is interrupted. Where that cannot be done, the check says so and
# fails.
#
# Needs root (chroot, mounts, binfmt_misc), debootstrap, git and, for
# another processor, qemu-user-static. The pristine roots are kept in
# DISTRO_CACHE (default build-distro-cache) and copied for each try.
# Usage: check-distros.sh DIST_BINARY... [-- RELEASE[:ARCH]...]
#        (default: bullseye trixie trixie:arm64; ARCH as Debian names it)
# Environment: DISTRO_TIMEOUT, seconds for each step (default 900), and
# DISTRO_FOREIGN_TIMEOUT for a root of another processor (default 3600).
set -eu

[ $# -ge 1 ] || { echo "usage: $0 DIST_BINARY... [-- RELEASE[:ARCH]...]" >&2; exit 2; }
top=$(cd "$(dirname "$0")/../.." && pwd)
binaries=
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    binaries="$binaries $(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
    shift
done
[ $# -eq 0 ] || shift
releases=${*:-bullseye trixie trixie:arm64}
cache=${DISTRO_CACHE:-$top/build-distro-cache}
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"

die() { echo "check-distros: $*" >&2; exit 1; }
say() { echo "check-distros: $*" >&2; }

[ "$(id -u)" -eq 0 ] || die "needs root, for debootstrap, chroot and mounts"
for tool in debootstrap git chroot unshare timeout; do
    command -v $tool >/dev/null 2>&1 || die "$tool is missing: scripts/install-deps.sh distros installs it"
done
machine=$(dpkg --print-architecture)
for binary in $binaries; do
    [ -x "$binary" ] || die "$binary is not an executable"
done

# The Debian architecture a program is built for.
debian_arch() { # PROGRAM
    case $(LC_ALL=C readelf -h "$1" | sed -n 's/^ *Machine: *//p') in
    *X86-64*) echo amd64 ;;
    *80386*) echo i386 ;;
    AArch64) echo arm64 ;;
    ARM) echo armhf ;;
    *) echo unknown ;;
    esac
}

# The Debian archive this machine's apt uses (not its security archive).
archive=$(apt-get indextargets --format '$(REPO_URI) $(LABEL) $(RELEASE)' 'Identifier: Packages' |
    awk '$2 == "Debian" && $3 !~ /-/ { print $1; exit }')
[ -n "$archive" ] || die "this machine's apt uses no Debian archive to make roots from"

mkdir -p "$cache"
work=$(mktemp -d "$cache/try.XXXXXX")
mounted=
binfmt=/proc/sys/fs/binfmt_misc
registered=
binfmt_mounted=
# A root's /dev is the machine's, bound in: it is let go before anything is
# removed, and removal never leaves the root's own file system.
release_mounts() {
    for m in $mounted; do
        umount -R "$m" 2>/dev/null || umount -lR "$m" 2>/dev/null || true
    done
    mounted=
}
# Lets this run's interpreters go, and binfmt_misc itself if this run
# mounted it and nothing else is registered there.
unregister() {
    for name in $registered; do
        [ -e "$binfmt/$name" ] && echo -1 >"$binfmt/$name" ||
            echo "check-distros: cannot remove $binfmt/$name" >&2
    done
    registered=
    if [ -n "$binfmt_mounted" ] && [ -z "$(ls "$binfmt" | grep -v -x -e register -e status)" ]; then
        umount "$binfmt" || true
    fi
    binfmt_mounted=
}
cleanup() {
    release_mounts
    unregister
    if grep -q " $work/" /proc/mounts; then
        echo "check-distros: mounts are left under $work; not removing it" >&2
    else
        rm -rf --one-file-system "$work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Registers qemu-user's interpreter for ARCH's programs with binfmt_misc,
# under a name of this run's, unless that is done; a failure says why and
# stops. The magic and mask are those qemu-user-static's own entry uses.
register() { # ARCH
    case $1 in
    arm64) qemu=aarch64 ;;
    armhf) qemu=arm ;;
    *) die "no qemu-user interpreter is known for $1" ;;
    esac
    name=cdtracks-qemu-$qemu-$$
    case " $registered " in *" $name "*) return 0 ;; esac
    interpreter=$(command -v qemu-$qemu-static) ||
        die "qemu-$qemu-static is missing: scripts/install-deps.sh distros installs it"
    conf=/usr/lib/binfmt.d/qemu-$qemu.conf
    [ -f "$conf" ] || die "$conf is missing: it gives the magic that marks $1 programs"
    if [ ! -e "$binfmt/register" ]; then
        mount -t binfmt_misc binfmt_misc "$binfmt" ||
            die "cannot mount binfmt_misc on $binfmt, so $1 programs cannot run here"
        binfmt_mounted=1
    fi
    # :name:type:offset:magic:mask:interpreter:flags
    IFS=: read -r _ _ type offset magic mask _ <"$conf"
    if ! printf ':%s:%s:%s:%s:%s:%s:F\n' "$name" "$type" "$offset" "$magic" "$mask" \
        "$interpreter" >"$binfmt/register"; then
        die "cannot register $interpreter with binfmt_misc ($binfmt/register), so $1 programs cannot run here"
    fi
    registered="$registered $name"
    say "registered $interpreter for $1 programs with binfmt_misc as $name, for this run"
}

# The seconds a step may take: a root of another processor runs emulated.
limit_for() { # ARCH
    if [ "$1" = "$machine" ]; then echo "${DISTRO_TIMEOUT:-900}"; else echo "${DISTRO_FOREIGN_TIMEOUT:-3600}"; fi
}

# Makes the pristine root of a release once; a failure says why and stops.
pristine() { # RELEASE ARCH
    root=$cache/$1
    [ "$2" = "$machine" ] || root=$root-$2
    [ -f "$root/.complete" ] && return 0
    say "making a Debian $1 $2 root from $archive (once; kept in $root)"
    rm -rf --one-file-system "$root" "$root.part"
    start=$(date +%s)
    if ! timeout --kill-after=10 "$(limit_for "$2")" debootstrap --arch="$2" --variant=minbase \
        --include=ca-certificates,git,make "$1" "$root.part" "$archive" >"$root.log" 2>&1; then
        tail -n 15 "$root.log" >&2
        rm -rf --one-file-system "$root.part"
        die "cannot make a Debian $1 $2 root (the log is $root.log)"
    fi
    mv "$root.part" "$root"
    touch "$root/.complete"
    say "made the Debian $1 $2 root in $(($(date +%s) - start)) s"
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
for entry in $releases; do
    release=${entry%%:*}
    arch=$machine
    [ "$entry" = "$release" ] || arch=${entry#*:}
    [ "$arch" = "$machine" ] || register "$arch"
    limit=$(limit_for "$arch")
    pristine "$release" "$arch"
    pristine_root=$root
    [ "$arch" = "$machine" ] || release=$release-$arch
    root=$work/$release
    say "$release: a fresh copy of the root, a fresh clone, make demo and make check"
    cp -a "$pristine_root" "$root"
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
        grep -h -e '^-- cdtracks SDL:' -e '^cdtracks SDL source:' "$demo/stdout" "$demo/stderr" |
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

    # make dist's binary for this processor in this root: no drive, nothing
    # printed.
    mkdir "$root/cdtracks-run"
    for binary in $binaries; do
        [ "$(debian_arch "$binary")" = "$arch" ] || continue
        cp "$binary" "$root/usr/local/bin/cdtracks-dist"
        run_case "$work" "$release.dist" - "$root/cdtracks-run" unshare --root="$root" --wd=/cdtracks-run /usr/local/bin/cdtracks-dist
        expect_case "$work" "$release.dist" 0 "" ""
    done

    release_mounts
done

# In an empty root: the binary and nothing else, not even /dev or /proc (nor
# qemu-user: binfmt_misc's flag F has it open already).
for binary in $binaries; do
    arch=$(debian_arch "$binary")
    [ "$arch" = "$machine" ] || [ "$arch" = i386 ] || register "$arch"
    empty=$work/empty-$arch
    mkdir "$empty"
    cp "$binary" "$empty/cdtracks"
    run_case "$work" "empty-root-$arch" - "$empty" unshare --root="$empty" --wd=/ /cdtracks
    expect_case "$work" "empty-root-$arch" 0 "" "" cdtracks
done

cases_summary check-distros
