#!/bin/sh
# Measures what one track listing costs, on the sample disc through the
# emulated drive, for cdtracks (as distributions build it, with the static
# C++ runtime option, with the classic SDL built from source and linked in,
# and fully static as make dist ships it), the floor program bench/floor.c
# (the SDL calls a listing needs and nothing else) and Debian's cd-discid.
# Prints a table and writes it, with the machine and versions, to
# docs/performance.md. It measures; it never fails on a timing.
# Usage: benchmark.sh [RUNS]   (wall-time runs per program, default 300)
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
runs=${1:-300}
out=docs/performance.md

scripts/install-deps.sh bench
for variant in dynamic static bundled release; do
    set -- -DCDTRACKS_SDL=system
    [ $variant = static ] && set -- -DCDTRACKS_SDL=system -DCDTRACKS_STATIC_CXX_RUNTIME=ON
    [ $variant = bundled ] && set -- -DCDTRACKS_SDL=bundled
    [ $variant = release ] && set -- -DCDTRACKS_SDL=bundled -DCDTRACKS_STATIC=ON
    scripts/configure.sh "build-bench-$variant" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCDTRACKS_TESTS=OFF "$@" >/dev/null
    cmake --build "build-bench-$variant" -j "$(nproc)" >/dev/null
done
cmake --build build-bench-dynamic -j "$(nproc)" --target emulator cdtracks_floor >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
emulator=$top/build-bench-dynamic/cdemu

# name|way|command: the emulated drive reaches a program preloaded into it,
# or, for a static one, through the tracer cdemu-run. cd-discid is measured
# both ways, so that each way's row has a peer to compare with.
programs="cdtracks|preload|$top/build-bench-dynamic/cdtracks
cdtracks, static C++ runtime|preload|$top/build-bench-static/cdtracks
cdtracks, SDL linked in|preload|$top/build-bench-bundled/cdtracks
floor (C, SDL calls only)|preload|$top/build-bench-dynamic/bench/cdtracks_floor
cd-discid --musicbrainz|preload|cd-discid --musicbrainz $emulator/drive
cdtracks, fully static (make dist)|trace|$top/build-bench-release/cdtracks
cd-discid --musicbrainz, traced|trace|cd-discid --musicbrainz $emulator/drive"

# Runs a command with the sample disc in the drive, the way (preload or
# trace) given first; what is measured (valgrind, hyperfine, time) runs
# under the emulator with the program.
on_drive() {
    way=$1
    shift
    "$emulator/with-disc" --"$way" "$top/tests/discs/sample.disc" "$@"
}

instructions() { # way command
    # shellcheck disable=SC2086
    on_drive "$1" valgrind --tool=callgrind --callgrind-out-file=/dev/null $2 2>&1 >/dev/null |
        sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}

# Wall time drifts on a busy machine; the runs are taken in rounds that take
# turns between the programs, and the median is over all of a program's runs.
# A traced run's wall time and memory are mostly the tracer's: they are
# measured for the preloaded programs only.
rounds=5
time_rounds() {
    r=0
    while [ $r -lt $rounds ]; do
        n=0
        echo "$programs" | while IFS='|' read -r name way command; do
            n=$((n + 1))
            [ "$way" = preload ] || continue
            on_drive preload hyperfine -N --style none --warmup 10 --runs $((runs / rounds)) \
                --export-json "$work/h.json" "$command" >/dev/null 2>&1
            python3 -c 'import json,sys; print("\n".join(str(t) for t in json.load(open(sys.argv[1]))["results"][0]["times"]))' \
                "$work/h.json" >>"$work/times.$n"
        done
        r=$((r + 1))
    done
}

wall_ms() { # program number
    [ -f "$work/times.$1" ] || { echo -; return; }
    sort -g "$work/times.$1" | awk '{ t[NR] = $1 } END { printf "%.2f\n", (NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2) * 1000 }'
}

peak_kib() { # way command
    [ "$1" = preload ] || { echo -; return; }
    i=0
    while [ $i -lt 21 ]; do
        # shellcheck disable=SC2086
        on_drive preload /usr/bin/time -f %M -o "$work/t" $2 >/dev/null 2>&1
        cat "$work/t"
        i=$((i + 1))
    done | sort -n | sed -n 11p
}

drive_calls() { # way command
    rm -f "$work/calls"
    # shellcheck disable=SC2086
    CDEMU_LOG="$work/calls" on_drive "$1" $2 >/dev/null 2>&1
    grep -vc '^SDL_' "$work/calls"
}

time_rounds
n=0
echo "$programs" | while IFS='|' read -r name way command; do
    n=$((n + 1))
    printf '%s|%s|%s|%s|%s\n' "$name" "$(instructions "$way" "$command")" "$(wall_ms $n)" \
        "$(peak_kib "$way" "$command")" "$(drive_calls "$way" "$command")"
done >"$work/results"

instructions_of() { awk -F'|' -v n="$1" '$1 == n { print $2 }' "$work/results"; }
floor_ir=$(instructions_of 'floor (C, SDL calls only)')
floor_ms=$(sed -n 's/^floor[^|]*|[0-9]*|\([0-9.]*\)|.*/\1/p' "$work/results")
table=$(awk -F'|' -v fi="$floor_ir" -v fm="$floor_ms" '
    BEGIN { print "| program | instructions | vs floor | wall time, median | vs floor | peak RSS | drive calls |"
            print "|---|---:|---:|---:|---:|---:|---:|" }
    $3 == "-" { printf "| %s | %d | %.3fx | (traced) | | (traced) | %d |\n", $1, $2, $2 / fi, $5; next }
    { printf "| %s | %d | %.3fx | %.2f ms | %.2fx | %d KiB | %d |\n", $1, $2, $2 / fi, $3, $3 / fm, $4, $5 }' \
    "$work/results")

# versus PROGRAM PEER: PROGRAM's instructions as a multiple of PEER's.
versus() { awk -v a="$(instructions_of "$1")" -v b="$(instructions_of "$2")" 'BEGIN { printf "%.3fx", a / b }'; }
ratio() { awk -F'|' -v n="$1" -v fi="$floor_ir" -v fm="$floor_ms" '$1 == n { printf "%.3fx in instructions and %.2fx in wall time", $2 / fi, $3 / fm }' "$work/results"; }
calls() { awk -F'|' -v n="$1" '$1 == n { print $5 }' "$work/results"; }

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
cat >"$out" <<DOC
# Performance

What one listing of the sample disc (12 tracks, \`tests/discs/sample.disc\`)
costs, through the emulated drive, measured by \`scripts/benchmark.sh\` on
$(date -u +%Y-%m-%d).

$table

- Instructions: \`valgrind --tool=callgrind\`, the whole process, loader
  included; repeatable run to run.
- Wall time: \`hyperfine -N\`, median of $runs runs, taken in $rounds rounds
  that take turns between the programs, each after 10 warm-up runs.
- Peak RSS: \`/usr/bin/time -f %M\`, median of 21 runs.
- Drive calls: opens, closes and ioctls the emulated drive served.
- "(traced)": reached through \`cdemu-run\`; see [Fully static](#fully-static).

Machine: $cpu, $(nproc) cores, Linux $(uname -r).
Versions: $(g++ --version | head -n 1); SDL $(dpkg-query -W -f='${Version}' libsdl1.2debian);
cd-discid $(dpkg-query -W -f='${Version}' cd-discid); $(valgrind --version); $(hyperfine --version).

## Reading

Almost all of each process is the dynamic loader binding SDL 1.2's
thirty-odd shared libraries; the listing itself is a few thousand
instructions. cdtracks as distributions build it is $(ratio cdtracks) of
the floor. The difference is the C++ runtime: the binary needs only a few
symbols of libstdc++ (\`operator new\`, \`std::string\`'s out-of-line members,
the exception personality), but loading libstdc++.so and libgcc_s.so means
binding all of their relocations against the same long library list.
Nothing else in cdtracks costs measurably more than the floor, and it asks
the drive for nothing more: $(calls cdtracks) drive calls against the
floor's $(calls 'floor (C, SDL calls only)').

With \`-DCDTRACKS_STATIC_CXX_RUNTIME=ON\` the few runtime pieces it uses are
linked into the binary and those two libraries are not loaded: it is then
$(ratio 'cdtracks, static C++ runtime') of the floor. Distributions prefer
the shared runtime (one copy to patch, smaller packages), so the default
stays dynamic, and the Debian package is built that way; the option is there
for a user who runs cdtracks in tight loops.

cd-discid does not load SDL at all, which is why it is an order of magnitude
cheaper; it makes the same table-of-contents calls without SDL's discovery
probe and status queries.

## SDL linked in

Built with \`-DCDTRACKS_SDL=bundled\` (what \`auto\` builds where the
system's SDL 1.2 is sdl12-compat), cdtracks links the classic SDL 1.2.15,
built with only its core, threads, timers and CD-ROM code, and the C++
runtime into itself and needs only libc. The loader then has next to
nothing to bind: one listing costs $(versus 'cdtracks, SDL linked in' 'cd-discid --musicbrainz') of cd-discid's
instructions, and the drive sees the same $(calls 'cdtracks, SDL linked in') calls as from the
default build.

## Fully static

\`make dist\` links the C library in as well (\`-DCDTRACKS_STATIC=ON\`): no
loader runs at all, and the C library's start-up is the only cost besides
the listing. A static program loads no preloaded library, so these rows
reach the drive through the emulator's tracer, \`cdemu-run\`, which answers
the drive's system calls from outside the program; cd-discid is measured
that way too, for a like-for-like peer. callgrind counts the instructions
of the traced program alone, tracer excluded (\`cdemu-run valgrind
--tool=callgrind PROGRAM\`). A traced run's wall time and memory are mostly
the tracer's stops and the tracer itself, so they are not given.

One listing costs the static cdtracks $(versus 'cdtracks, fully static (make dist)' 'cd-discid --musicbrainz, traced') of cd-discid's instructions
through the tracer, and $(versus 'cdtracks, fully static (make dist)' 'cd-discid --musicbrainz') of cd-discid's with the emulator preloaded
(which adds loading the emulator to cd-discid's count). The drive sees the
same $(calls 'cdtracks, fully static (make dist)') calls as from every other build.
DOC
cat "$out"
