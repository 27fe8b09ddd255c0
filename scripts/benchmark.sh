#!/bin/sh
# Measures what one track listing costs, on the sample disc through the
# emulated drive, for cdtracks (as distributions build it, with the static
# C++ runtime option, and with the classic SDL built from source and linked
# in), the floor program bench/floor.c (the SDL calls a listing needs and
# nothing else) and Debian's cd-discid. Prints a table
# and writes it, with the machine and versions, to docs/performance.md.
# It measures; it never fails on a timing.
# Usage: benchmark.sh [RUNS]   (wall-time runs per program, default 300)
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
runs=${1:-300}
out=docs/performance.md

scripts/install-deps.sh bench
for variant in dynamic static bundled; do
    sdl=system flag=OFF
    [ $variant = static ] && flag=ON
    [ $variant = bundled ] && sdl=bundled
    scripts/configure.sh "build-bench-$variant" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCDTRACKS_TESTS=OFF -DCDTRACKS_SDL=$sdl -DCDTRACKS_STATIC_CXX_RUNTIME=$flag >/dev/null
    cmake --build "build-bench-$variant" -j "$(nproc)" >/dev/null
done

work=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
ln -s /dev/null "$work/drive"
export CDEMU_DEVICE="$work/drive" CDEMU_DISC="$top/tests/discs/sample.disc" SDL_CDROM="$work/drive"
export LD_PRELOAD="$top/build-bench-dynamic/tests/cdemu/libcdemu.so"

# name|command
programs="cdtracks|$top/build-bench-dynamic/cdtracks
cdtracks, static C++ runtime|$top/build-bench-static/cdtracks
cdtracks, SDL linked in|$top/build-bench-bundled/cdtracks
floor (C, SDL calls only)|$top/build-bench-dynamic/bench/cdtracks_floor
cd-discid --musicbrainz|cd-discid --musicbrainz $work/drive"

instructions() {
    # shellcheck disable=SC2086
    valgrind --tool=callgrind --callgrind-out-file=/dev/null $1 2>&1 >/dev/null |
        sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}

# Wall time drifts on a busy machine; the runs are taken in rounds that take
# turns between the programs, and the median is over all of a program's runs.
rounds=5
time_rounds() {
    r=0
    while [ $r -lt $rounds ]; do
        n=0
        echo "$programs" | while IFS='|' read -r name command; do
            n=$((n + 1))
            hyperfine -N --style none --warmup 10 --runs $((runs / rounds)) \
                --export-json "$work/h.json" "$command" >/dev/null 2>&1
            python3 -c 'import json,sys; print("\n".join(str(t) for t in json.load(open(sys.argv[1]))["results"][0]["times"]))' \
                "$work/h.json" >>"$work/times.$n"
        done
        r=$((r + 1))
    done
}

wall_ms() { # program number
    sort -g "$work/times.$1" | awk '{ t[NR] = $1 } END { printf "%.2f\n", (NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2) * 1000 }'
}

peak_kib() {
    i=0
    while [ $i -lt 21 ]; do
        # shellcheck disable=SC2086
        /usr/bin/time -f %M -o "$work/t" $1 >/dev/null 2>&1
        cat "$work/t"
        i=$((i + 1))
    done | sort -n | sed -n 11p
}

drive_calls() {
    rm -f "$work/calls"
    # shellcheck disable=SC2086
    CDEMU_LOG="$work/calls" $1 >/dev/null 2>&1
    grep -vc '^SDL_' "$work/calls"
}

time_rounds
n=0
echo "$programs" | while IFS='|' read -r name command; do
    n=$((n + 1))
    printf '%s|%s|%s|%s|%s\n' "$name" "$(instructions "$command")" "$(wall_ms $n)" \
        "$(peak_kib "$command")" "$(drive_calls "$command")"
done >"$work/results"

floor_ir=$(sed -n 's/^floor[^|]*|\([0-9]*\)|.*/\1/p' "$work/results")
floor_ms=$(sed -n 's/^floor[^|]*|[0-9]*|\([0-9.]*\)|.*/\1/p' "$work/results")
table=$(awk -F'|' -v fi="$floor_ir" -v fm="$floor_ms" '
    BEGIN { print "| program | instructions | vs floor | wall time, median | vs floor | peak RSS | drive calls |"
            print "|---|---:|---:|---:|---:|---:|---:|" }
    { printf "| %s | %d | %.3fx | %.2f ms | %.2fx | %d KiB | %d |\n", $1, $2, $2 / fi, $3, $3 / fm, $4, $5 }' \
    "$work/results")

discid_ir=$(sed -n 's/^cd-discid[^|]*|\([0-9]*\)|.*/\1/p' "$work/results")
versus_discid() { awk -F'|' -v n="$1" -v d="$discid_ir" '$1 == n { printf "%.3fx", $2 / d }' "$work/results"; }
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

Built with \`-DCDTRACKS_SDL=bundled\` (what \`make dist\` ships, and what
\`auto\` builds where the system's SDL 1.2 is sdl12-compat), cdtracks links
the classic SDL 1.2.15, built with only its core, threads, timers and CD-ROM
code, and the C++ runtime into itself and needs only libc. The loader then
has next to nothing to bind: one listing costs $(versus_discid 'cdtracks, SDL linked in') of cd-discid's
instructions, and the drive sees the same $(calls 'cdtracks, SDL linked in') calls as from the
default build.
DOC
cat "$out"
