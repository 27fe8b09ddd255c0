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
    "$emulator/with-disc" --"$1" --log "$work/calls" "$top/tests/discs/sample.disc" $2 >/dev/null 2>&1
    grep -vc '^SDL_' "$work/calls"
}

time_rounds
n=0
echo "$programs" | while IFS='|' read -r name way command; do
    n=$((n + 1))
    printf '%s|%s|%s|%s|%s\n' "$name" "$(instructions "$way" "$command")" "$(wall_ms $n)" \
        "$(peak_kib "$way" "$command")" "$(drive_calls "$way" "$command")"
done >"$work/results"

# ---- The report: figures only. What they mean is in docs/DEVELOPING.md
# (Performance), which says nothing that a run could make wrong; every
# sentence here that rests on a figure is made from the figures of this run.
LC_ALL=C
export LC_ALL
floor='floor (C, SDL calls only)'
field() { awk -F'|' -v n="$1" -v f="$2" '$1 == n { print $f }' "$work/results"; } # NAME FIELD
floor_ir=$(field "$floor" 2)
floor_ms=$(field "$floor" 3)
peer_ir=$(field 'cd-discid --musicbrainz' 2)
traced_peer_ir=$(field 'cd-discid --musicbrainz, traced' 2)
# A row's instructions against cd-discid's reached the same way: a traced
# row (no wall time) against the traced cd-discid.
table=$(awk -F'|' -v fi="$floor_ir" -v fm="$floor_ms" -v pi="$peer_ir" -v ti="$traced_peer_ir" '
    BEGIN { print "| program | instructions | vs floor | vs cd-discid | wall time, median | vs floor | peak RSS | drive calls |"
            print "|---|---:|---:|---:|---:|---:|---:|---:|" }
    $3 == "-" { printf "| %s | %d | %.3fx | %.3fx | (traced) | | (traced) | %d |\n", $1, $2, $2 / fi, $2 / ti, $5; next }
    { printf "| %s | %d | %.3fx | %.3fx | %.2f ms | %.2fx | %d KiB | %d |\n", $1, $2, $2 / fi, $2 / pi, $3, $3 / fm, $4, $5 }' \
    "$work/results")

floor_calls=$(field "$floor" 5)
other_calls=$(awk -F'|' -v f="$floor_calls" '
    /^cdtracks/ && $5 != f { printf "%s%s: %d", sep, $1, $5; sep = "; " }' "$work/results")
if [ -z "$other_calls" ]; then
    calls="Every build of cdtracks made as many drive calls as the floor, $floor_calls."
else
    calls="The floor made $floor_calls drive calls; these builds of cdtracks made another number ($other_calls)."
fi
tracks=$(wc -l <"$top/tests/discs/sample.expected" | tr -d ' ')
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
cat >"$out" <<DOC
# Performance

What one listing of the sample disc (\`tests/discs/sample.disc\`, $tracks tracks)
costs, through the emulated drive: the figures of the last \`make bench\`,
on $(date -u +%Y-%m-%d). \`scripts/benchmark.sh\` writes this file whole;
what each row and column stands for is in
[DEVELOPING.md](DEVELOPING.md#performance).

$table

$calls

Instructions: \`valgrind --tool=callgrind\`. Wall time: \`hyperfine -N\`,
median of $runs runs, taken in $rounds rounds that take turns between the
programs, each after 10 warm-up runs. Peak RSS: \`/usr/bin/time -f %M\`,
median of 21 runs.

Machine: $cpu, $(nproc) cores, Linux $(uname -r); load average (1, 5, 15
minutes) when the runs ended: $(cut -d " " -f 1-3 /proc/loadavg).
Versions: $(g++ --version | head -n 1); SDL $(dpkg-query -W -f='${Version}' libsdl1.2debian);
cd-discid $(dpkg-query -W -f='${Version}' cd-discid); $(valgrind --version); $(hyperfine --version).
DOC
cat "$out"
