#!/bin/sh
# real-discs.sh check must fail a disc whose description is a frame away
# from what its source published: each kind of id on its own, the Enhanced
# CD's and the mixed-mode disc's conventions, a stale .expected, a disc
# that names no id at all, and a description that is no real disc's.
#
#   real-discs-test.sh REAL_DISCS_SH CORPUS SCRATCH
set -u
LC_ALL=C
export LC_ALL

[ $# -eq 3 ] || { echo "usage: real-discs-test.sh REAL_DISCS_SH CORPUS SCRATCH" >&2; exit 2; }
script=$1
corpus=$2
scratch=$3

# A copy of DISC with its Nth address moved by FRAMES, and only the id
# comments of KINDS left ("all" keeps them all), its .expected made anew
# from the moved description unless told to keep the old one, so that only
# the ids can tell.
#   variant DISC N FRAMES KINDS [stale]
variant() {
    rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
    out=$scratch/${1%.disc}.disc
    awk -v n="$2" -v d="$3" -v keep=" $4 " '
        /^# *[a-z-]+: / {
            kind = $2; sub(/:$/, "", kind)
            if (keep != " all " && index(keep, " " kind " ") == 0) next
        }
        ($1 == "track" || $1 == "leadout") { if (++seen == n) $NF = $NF + d }
        { print }' "$corpus/$1" >"$out"
    if [ "${5-}" = stale ]; then
        cp "$corpus/${1%.disc}.expected" "${out%.disc}.expected"
    else
        sh "$script" expected "$out" >"${out%.disc}.expected"
    fi
}

failures=0
fails() {
    what=$1
    if sh "$script" check "$scratch" >"$scratch.out" 2>&1; then
        echo "FAIL: the check passed $what"
        cat "$scratch.out"
        failures=$((failures + 1))
    else
        echo "ok: the check fails $what"
    fi
}

# The unchanged copies pass, so that what fails below fails for its change.
variant 6-tracks.disc 0 0 all
if ! sh "$script" check "$scratch" >"$scratch.out" 2>&1; then
    echo "FAIL: an unchanged disc does not pass"
    cat "$scratch.out"
    failures=$((failures + 1))
fi

variant 6-tracks.disc 3 1 musicbrainz-id
fails "a track a frame late, by its MusicBrainz id"
variant 10-tracks.disc 11 -1 accuraterip-id
fails "the lead-out a frame early, by its AccurateRip id"
variant 22-tracks.disc 23 75 cddb-id
fails "the lead-out a second late, by its CDDB id"
variant enhanced-cd-1.disc 13 1 musicbrainz-id
fails "an Enhanced CD's data session a frame late, by its MusicBrainz id"
variant enhanced-cd-1.disc 14 1 accuraterip-id
fails "an Enhanced CD's lead-out a frame late, by its AccurateRip id"
variant mixed-mode-1.disc 2 1 accuraterip-id
fails "a mixed-mode disc's first audio track a frame late, by its AccurateRip id"
variant mixed-mode-2.disc 1 1 musicbrainz-id
fails "a mixed-mode disc's data track a frame late, by its MusicBrainz id"
variant first-track-7.disc 2 1 msf-addresses
fails "a track a frame late, by its source's MSF column"
variant enhanced-cd-4.disc 5 1 "cddb-id musicbrainz-toc"
fails "a track a frame late, by its MusicBrainz TOC"
variant 6-tracks.disc 2 1 all stale
fails "a listing that is not the description's"
variant 6-tracks.disc 0 0 musicbrainz-toc
fails "a disc that names no id of its source"
variant 6-tracks.disc 0 0 all
echo "fail CDROMREADTOCHDR EIO" >>"$scratch/6-tracks.disc"
fails "a description with a drive failure, which no real disc has"

rm -rf "$scratch" "$scratch.out"
[ "$failures" -eq 0 ]
