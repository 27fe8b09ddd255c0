#!/bin/sh
# The README's quick start on other Debian releases, as a new user there
# would meet it: for Debian 11 (bullseye), Debian 13 (trixie) and Debian 13
# on 64-bit ARM (trixie:arm64), a minimal root made with mmdebstrap from the
# archive this machine's apt uses, and, in a fresh copy of it, a fresh clone
# of this repository (its committed HEAD) running `make demo` and `make
# check` (in a root of another processor, but the source tree's own tests).
# Checks that the demo prints the sample disc's 12 lines and that
# ctest ran tests and none failed, and says how long each took. In a root of
# this machine's processor, `make package`'s package is then installed with
# apt, into that root: its cdtracks must list the sample disc through the
# emulated drive and `man cdtracks` show its page. Then runs make dist's
# static cdtracks for the root's processor (one of the DIST_BINARY
# arguments) in each root, and each DIST_BINARY in an empty root holding
# nothing but it: no drive there, so no output, status 0.
#
# Nothing of it stays on this machine, however the run ends. Its mounts (a
# root's /proc, /sys and /dev) are made in a mount namespace of its own, in
# a PID namespace of its own, which the kernel takes down, mounts and all,
# when the run ends: SIGKILL too, as every process of the run is killed with
# the shell that started it. A root of another processor runs through
# qemu-user: its interpreter is registered with binfmt_misc (flag F: opened
# at once, so that it serves inside the roots) under a name that ends in the
# run's id, the process id of that shell, and removed at the end. What a
# run killed with SIGKILL leaves, its entries and its work folder
# (DISTRO_CACHE/cdtracks-run-ID), the next run removes. Where the
# interpreter cannot be registered, the check says so and fails.
#
# Needs root (chroot, mounts, binfmt_misc), mmdebstrap, git, unshare,
# setpriv and nsenter (util-linux) and, for another processor,
# qemu-user-static. The pristine roots are kept in DISTRO_CACHE (default
# build-distro-cache) and copied for each try.
# Usage: check-distros.sh DIST_BINARY... [-- RELEASE[:ARCH]...]
#        (default: bullseye trixie trixie:arm64; ARCH as Debian names it)
# Environment: DISTRO_TIMEOUT, seconds for each step (default 900), and
# DISTRO_FOREIGN_TIMEOUT for a root of another processor (default 3600);
# DISTRO_KEEP, a folder to keep what each step printed in.
set -eu
export LC_ALL=C

[ $# -ge 1 ] || { echo "usage: $0 DIST_BINARY... [-- RELEASE[:ARCH]...]" >&2; exit 2; }
top=$(cd "$(dirname "$0")/../.." && pwd)
cache=${DISTRO_CACHE:-$top/build-distro-cache}

# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
lifecycle check-distros

[ "$(id -u)" -eq 0 ] || die "needs root, for mmdebstrap, chroot and mounts"
for tool in mmdebstrap git chroot unshare setpriv nsenter timeout readelf; do
    command -v $tool >/dev/null 2>&1 || die "$tool is missing: scripts/install-deps.sh distros installs it"
done

# This shell stays outside, and the run goes on in the namespaces, as its
# child: killed with it (setpriv's parent-death signal, then unshare's
# --kill-child), or stopped by it, as unshare itself passes on no signal.
if [ -z "${CDTRACKS_DISTROS_RUN:-}" ]; then
    CDTRACKS_DISTROS_RUN=$$
    export CDTRACKS_DISTROS_RUN
    mkdir -p "$cache"
    # Stops the run's shell, whose trap (the clean-up) runs only once the
    # command it waits for has ended, and then, from inside the run's PID
    # namespace, every other process there (kill -1), before the clean-up
    # starts any. (A SIGTERM to unshare would end it, and its child, the
    # run's shell, with SIGKILL: no clean-up.)
    stop() {
        for init in $(cat "/proc/$(lc_running)/task/$(lc_running)/children" 2>/dev/null); do
            kill -TERM "$init" 2>/dev/null || true
            nsenter --target "$init" --pid -- /bin/sh -c 'kill -TERM -1' 2>/dev/null || true
        done
    }
    at_stop stop
    status=0
    lc_run setpriv --pdeathsig KILL unshare --mount --propagation private --pid --fork --kill-child \
        /bin/sh "$0" "$@" || status=$?
    exit $status
fi
run=$CDTRACKS_DISTROS_RUN

binaries=
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    binaries="$binaries $(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
    shift
done
[ $# -eq 0 ] || shift
releases=${*:-bullseye trixie trixie:arm64}

machine=$(dpkg --print-architecture)
# The Debian architecture a program is built for.
debian_arch() { # PROGRAM
    facts=$("$top/scripts/elf.sh" "$1") || die "cannot tell what $1 is built for"
    case ${facts%% *} in
    x86_64) echo amd64 ;;
    i686) echo i386 ;;
    aarch64) echo arm64 ;;
    armhf) echo armhf ;;
    *) echo unknown ;;
    esac
}
for binary in $binaries; do
    [ -x "$binary" ] || die "$binary is not an executable"
    debian_arch "$binary" >/dev/null
done

# The Debian archive this machine's apt uses (not its security archive).
archive=$("$top/scripts/debian-archive.sh" | awk '$1 == "Debian" && $3 !~ /-/ { print $2; exit }')
[ -n "$archive" ] || die "this machine's apt uses no Debian archive to make roots from"

binfmt=/proc/sys/fs/binfmt_misc
# Only inside this run's mount namespace: it goes with the run.
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true

# A run of this check that is still going, as process ID (not this one: an
# ID that is this run's own is a dead run's whose process id came back).
running() { # ID
    [ "$1" != "$run" ] && tr '\0' ' ' 2>/dev/null <"/proc/$1/cmdline" | grep -q check-distros
}
# Removes a work folder, unless something is mounted below it (which only
# the machine itself can have put there: a run's own mounts end with it).
remove_work() { # FOLDER
    if grep -qF " $1/" /proc/mounts; then
        say "mounts are left under $1; not removing it"
    else
        rm -rf --one-file-system "$1"
    fi
}
# What runs that are gone left: their interpreters' entries and work folders.
for entry in "$binfmt"/cdtracks-qemu-*; do
    [ -e "$entry" ] && ! running "${entry##*-}" || continue
    echo -1 >"$entry" && say "removed ${entry##*/}, left by a run that is gone, from binfmt_misc"
done
for folder in "$cache"/cdtracks-run-*; do
    [ -d "$folder" ] && ! running "${folder##*-}" || continue
    remove_work "$folder" && say "removed $folder, left by a run that is gone"
done

work=$cache/cdtracks-run-$run
mkdir "$work" "$work/cases"
mounted=
registered=
release_mounts() {
    for m in $mounted; do
        umount -R "$m" 2>/dev/null || umount -lR "$m" 2>/dev/null || true
    done
    mounted=
}
unregister() {
    for name in $registered; do
        [ -e "$binfmt/$name" ] && echo -1 >"$binfmt/$name" || say "cannot remove $binfmt/$name"
    done
    registered=
}
cleanup() {
    release_mounts
    unregister
    if [ -n "${DISTRO_KEEP:-}" ]; then
        mkdir -p "$DISTRO_KEEP" && cp -R "$work/cases/." "$DISTRO_KEEP/" || say "cannot keep the steps' output in $DISTRO_KEEP"
    fi
    remove_work "$work"
}
at_exit cleanup

# Registers qemu-user's interpreter for ARCH's programs with binfmt_misc,
# under a name of this run's, unless that is done; a failure says why and
# stops. The magic and mask are those qemu-user-static's own entry uses.
register() { # ARCH
    case $1 in
    arm64) qemu=aarch64 ;;
    armhf) qemu=arm ;;
    *) die "no qemu-user interpreter is known for $1" ;;
    esac
    name=cdtracks-qemu-$qemu-$run
    case " $registered " in *" $name "*) return 0 ;; esac
    interpreter=$(command -v qemu-$qemu-static) ||
        die "qemu-$qemu-static is missing: scripts/install-deps.sh distros installs it"
    conf=/usr/lib/binfmt.d/qemu-$qemu.conf
    [ -f "$conf" ] || die "$conf is missing: it gives the magic that marks $1 programs"
    [ -e "$binfmt/register" ] || die "cannot mount binfmt_misc on $binfmt, so $1 programs cannot run here"
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
    # (mmdebstrap: apt on this machine resolves and downloads, and dpkg in
    # the root unpacks all at once; a root of another processor runs through
    # the interpreter registered above, so mmdebstrap need not look for one.)
    # It keeps apt's lists, as Debian's installer leaves them.
    skip=
    [ "$2" = "$machine" ] || skip=--skip=check/qemu
    if ! timeout --kill-after=10 "$(limit_for "$2")" mmdebstrap --arch="$2" --variant=minbase ${skip:+"$skip"} \
        --skip=cleanup/apt/lists --include=ca-certificates,git,make "$1" "$root.part" "$archive" \
        >"$root.log" 2>&1; then
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

cases=$work/cases
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
    # (The namespace's mounts are private: letting them go leaves the
    # machine's own alone.)
    mount -t proc proc "$root/proc"
    mounted="$mounted $root/proc"
    for fs in sys dev; do
        mount --rbind "/$fs" "$root/$fs"
        mounted="$mounted $root/$fs"
    done
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    # The root is thrown away after the run: dpkg need not make each file it
    # unpacks safe on disk, nor man-db index each page it installs. Where
    # every program runs emulated, both cost minutes.
    echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/cdtracks-check"
    echo "man-db man-db/auto-update boolean false" | in_root "$root" debconf-set-selections
    git clone -q "$top" "$root/root/cdtracks"

    start=$(date +%s)
    run_case "$cases" "$release.demo" - "$root/root/cdtracks" in_root "$root" sh -c 'cd /root/cdtracks && make demo'
    demo=$cases/$release.demo
    if [ "$(cat "$demo/status")" = 0 ] && [ "$(tail -n 12 "$demo/stdout")" = "$sample" ]; then
        case_pass
        say "$release: make demo listed the sample disc ($(($(date +%s) - start)) s)"
        grep -h -e '^-- cdtracks SDL:' -e '^cdtracks SDL source:' "$demo/stdout" "$demo/stderr" |
            sort -u | sed 's/^/    /' >&2
    else
        tail -n 30 "$demo/stdout" "$demo/stderr" >&2
        case_fail "$release: make demo ended with status $(cat "$demo/status") without the sample's 12 lines"
    fi

    # In a root of another processor, where every program runs emulated,
    # make check leaves out the tests of the source tree (TREE=no): no
    # processor changes them, the other roots run them, and emulated they
    # take more time than all the rest.
    tree=
    [ "$arch" = "$machine" ] || { tree=" TREE=no"; say "$release: make check$tree, emulated"; }
    start=$(date +%s)
    run_case "$cases" "$release.check" - "$root/root/cdtracks" in_root "$root" sh -c "cd /root/cdtracks && make check$tree"
    check=$cases/$release.check
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$check/stdout" | tail -n 1)
    total=$(echo "$summary" | sed -n 's/.* out of \([0-9]*\)$/\1/p')
    if [ "$(cat "$check/status")" = 0 ] && [ "${total:-0}" -gt 0 ] &&
        echo "$summary" | grep -q '^100% tests passed, 0 tests failed'; then
        case_pass
        say "$release: make check passed ($(($(date +%s) - start)) s); ctest's own closing:"
        sed -n '/^[0-9]*% tests passed, /,$p' "$check/stdout" >&2
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

    # The package this release builds, installed with apt into the root
    # (with man), as a user installs it: its cdtracks lists the sample disc
    # through the emulated drive of the build above, and man finds its page.
    # Under emulation it would take minutes for what the roots of this
    # machine's processor already prove.
    mkdir "$root/cdtracks-run"
    if [ "$arch" = "$machine" ]; then
        start=$(date +%s)
        run_case "$cases" "$release.package" - "$root/root/cdtracks" in_root "$root" sh -c '
            cd /root/cdtracks && make package >/dev/null &&
            DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o Dpkg::Use-Pty=0 \
                --no-install-recommends ./build/cdtracks_*.deb man-db'
        if [ "$(cat "$cases/$release.package/status")" = 0 ]; then
            case_pass
            say "$release: make package's package installed with apt ($(($(date +%s) - start)) s)"
        else
            tail -n 20 "$cases/$release.package/stdout" "$cases/$release.package/stderr" >&2
            case_fail "$release: make package and apt-get install ended with status $(cat "$cases/$release.package/status")"
        fi
        run_case "$cases" "$release.packaged" - "$root/cdtracks-run" in_root "$root" sh -c \
            'cd /cdtracks-run && exec /root/cdtracks/build/cdemu/with-disc /root/cdtracks/tests/discs/sample.disc /usr/bin/cdtracks'
        expect_case "$cases" "$release.packaged" 0 "$sample
" ""
        run_case "$cases" "$release.man" - - in_root "$root" sh -c \
            'man -w cdtracks && man cdtracks | grep -c "CD frames" >/dev/null && echo shown'
        expect_case "$cases" "$release.man" 0 "/usr/share/man/man1/cdtracks.1.gz
shown
" ""
    fi

    # make dist's binary for this processor in this root: no drive, nothing
    # printed.
    for binary in $binaries; do
        [ "$(debian_arch "$binary")" = "$arch" ] || continue
        cp "$binary" "$root/usr/local/bin/cdtracks-dist"
        run_case "$cases" "$release.dist" - "$root/cdtracks-run" unshare --root="$root" --wd=/cdtracks-run /usr/local/bin/cdtracks-dist
        expect_case "$cases" "$release.dist" 0 "" ""
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
    run_case "$cases" "empty-root-$arch" - "$empty" unshare --root="$empty" --wd=/ /cdtracks
    expect_case "$cases" "empty-root-$arch" 0 "" "" cdtracks
done

cases_summary check-distros
