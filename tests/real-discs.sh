#!/bin/sh
# The real discs of tests/discs/real: the listing each description must give,
# and the disc ids its source published, worked out again from the
# description alone.
#
#   real-discs.sh expected DISC   what cdtracks must print for DISC
#   real-discs.sh ids DISC        the ids of DISC, a "KIND: VALUE" line each
#   real-discs.sh check DIR...    every DIR/*.disc against its .expected and
#                                 its "# KIND: VALUE" comments
#
# KIND is musicbrainz-id, musicbrainz-toc, cddb-id, accuraterip-id or
# msf-addresses; docs/real-discs.md says how each is worked out. check
# prints a line a disc and a count, and fails if any disc does not match.
set -u
LC_ALL=C
export LC_ALL

me=real-discs.sh

# The description as "first N", "track audio|data FRAMES" and
# "leadout FRAMES" lines, addresses in absolute frames. A real disc is a
# readable disc as its table of contents says: statements for drive states
# and failures have no place in it.
normalise() {
    awk -v file="$1" '
        function frames(a,    p) {
            if (a ~ /^[0-9]+$/) return a + 0
            if (split(a, p, ":") == 3 && p[1] p[2] p[3] ~ /^[0-9]+$/)
                return (p[1] * 60 + p[2]) * 75 + p[3]
            bad("not an address: " a)
        }
        function bad(why) {
            printf "%s: %s:%d: %s\n", me, file, NR, why > "/dev/stderr"
            failed = 1
            exit 1
        }
        { sub(/#.*/, "") }
        NF == 0 { next }
        $1 == "first" && NF == 2 && $2 ~ /^[0-9]+$/ { print "first", $2 + 0; next }
        $1 == "track" && NF == 3 && ($2 == "audio" || $2 == "data") {
            print "track", $2, frames($3); tracks++; next
        }
        $1 == "leadout" && NF == 2 { print "leadout", frames($2); leadout = 1; next }
        $1 == "status" { next }
        { bad("not a statement of a real disc: " $0) }
        END {
            if (failed) exit 1
            if (!tracks || !leadout) bad("a real disc has tracks and a lead-out")
        }' me="$me" "$1"
}

# The listing, as SDL 1.2 reads the table (normalised, on standard input):
# at most 99 tracks, each running to the next entry, the last one read to
# the lead-out.
listing_of() {
    awk '
        $1 == "track" { n++; start[n] = $3 }
        $1 == "leadout" { leadout = $2 }
        END {
            if (n > 99) n = 99
            start[n + 1] = leadout
            for (i = 1; i <= n; i++) print start[i + 1] - start[i]
        }'
}
listing() {
    # Apart, so that a description it cannot read fails the listing.
    table=$(normalise "$1") || return 1
    printf '%s\n' "$table" | listing_of
}

# The ids of the description: CDDB's, AccurateRip's, and MusicBrainz's
# table-of-contents string with the hexadecimal text its id digests.
# AccurateRip counts the audio tracks only, from 1, but ends at the disc's
# own lead-out; MusicBrainz leaves out an Enhanced CD's data session, ending
# 11,400 frames before it. The table, normalised, on standard input.
ids_but_digest() {
    awk '
        function hex(v, width,    s, d) {
            s = ""
            for (; v > 0; v = (v - d) / 16) { d = v % 16; s = substr("0123456789abcdef", d + 1, 1) s }
            while (length(s) < width) s = "0" s
            return s
        }
        function digits(v,    s) { for (s = 0; v > 0; v = int(v / 10)) s += v % 10; return s }
        $1 == "first" { first = $2 }
        $1 == "track" { n++; type[n] = $2; start[n] = $3 }
        $1 == "leadout" { leadout = $2 }
        END {
            if (first == "") first = 1
            lead_in = 150
            sum = 0
            for (i = 1; i <= n; i++) sum += digits(int(start[i] / 75))
            cddb = hex((sum % 255) * 16777216 + (int(leadout / 75) - int(start[1] / 75)) * 256 + n, 8)
            print "cddb-id: " cddb

            audio = 0; id1 = 0; id2 = 0
            for (i = 1; i <= n; i++) {
                if (type[i] != "audio") continue
                audio++
                lba = start[i] - lead_in
                id1 += lba
                id2 += (lba > 0 ? lba : 1) * audio
            }
            id1 += leadout - lead_in
            id2 += (leadout - lead_in) * (audio + 1)
            printf "accuraterip-id: %03d-%s-%s-%s\n", audio,
                hex(id1 % 4294967296, 8), hex(id2 % 4294967296, 8), cddb

            last = n; end = leadout
            if (type[n] == "data") {
                for (last = n; last > 0 && type[last] == "data"; last--) {}
                if (last > 0) end = start[last + 1] - 11400
                else last = n
            }
            toc = first " " (first + last - 1) " " end
            text = toupper(hex(first, 2) hex(first + last - 1, 2) hex(end, 8))
            for (t = 1; t <= 99; t++) {
                i = t - first + 1
                on = (i >= 1 && i <= last) ? start[i] : 0
                if (on) toc = toc " " on
                text = text toupper(hex(on, 8))
            }
            print "musicbrainz-toc: " toc
            print "musicbrainz-text: " text
            msf = ""
            for (i = 1; i <= n + 1; i++) {
                a = (i <= n) ? start[i] : leadout
                msf = msf (i > 1 ? " " : "") sprintf("%02d:%02d:%02d", int(a / 4500), int(a / 75) % 60, a % 75)
            }
            print "msf-addresses: " msf
        }'
}

# SHA-1's hexadecimal digest in base64, with MusicBrainz's "._-" for "+/=".
mb_base64() {
    awk '{
        alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._"
        out = ""
        # Three bytes (six hex digits) make four characters; the last two
        # bytes, padded with two zero bits, make three and the pad.
        for (i = 1; i <= 37; i += 6) {
            width = (i < 37) ? 6 : 4
            v = 0
            for (j = 0; j < width; j++) v = v * 16 + index("0123456789abcdef", substr($1, i + j, 1)) - 1
            chars = 4
            if (width == 4) { v *= 4; chars = 3 }
            group = ""
            for (k = 0; k < chars; k++) { group = substr(alphabet, v % 64 + 1, 1) group; v = int(v / 64) }
            out = out group
        }
        print out "-"
    }'
}

# Every id of the table (normalised, on standard input).
ids_of() {
    all=$(ids_but_digest) || return 1
    printf '%s\n' "$all" | grep -v '^musicbrainz-text: '
    printf '%s\n' "$all" | awk '/^musicbrainz-text: / { printf "%s", substr($0, 19) }' |
        sha1sum | mb_base64 | sed 's/^/musicbrainz-id: /'
}
ids() {
    table=$(normalise "$1") || return 1
    printf '%s\n' "$table" | ids_of
}

# One disc: its listing and every id its comments give. Prints what differs.
check_disc() {
    disc=$1
    expected=${disc%.disc}.expected
    problems=
    # (A process or two a step: where the tests run emulated, each process
    # costs a tenth of a second and more.)
    if ! table=$(normalise "$disc"); then
        echo "$disc: cannot be read"
        return 1
    fi
    computed=$(printf '%s\n' "$table" | listing_of)
    if [ ! -f "$expected" ]; then
        problems="$problems no ${expected##*/};"
    elif [ "$computed" != "$(cat "$expected")" ]; then
        problems="$problems ${expected##*/} is not the listing it describes;"
    fi
    computed_ids=$(printf '%s\n' "$table" | ids_of) || return 1
    # Each id the description's comments give, against the computed one of
    # its kind; a disc id of its source (not its table alone) pins the disc.
    problems="$problems$(printf '%s\n' "$computed_ids" | awk '
        NR == FNR {
            kind = $1; sub(/:$/, "", kind); value = $0; sub(/^[^:]*: /, "", value)
            computed[kind] = value; next
        }
        $1 ~ /^#/ {
            sub(/^# */, "")
            if ($1 !~ /^(musicbrainz-id|musicbrainz-toc|cddb-id|accuraterip-id|msf-addresses):$/) next
            kind = $1; sub(/:$/, "", kind); $1 = ""; sub(/^ +/, ""); sub(/ +$/, "")
            if ($0 == computed[kind]) { if (kind != "musicbrainz-toc") pinned++ }
            else printf " %s is %s, its source says %s;", kind, computed[kind], $0
        }
        END { if (!pinned) printf " no disc id of its source;" }' - "$disc")"
    if [ -n "$problems" ]; then
        echo "${disc##*/}:$problems"
        return 1
    fi
    echo "${disc##*/}: ok"
}

case ${1-} in
expected)
    [ $# -eq 2 ] || { echo "usage: $me expected DISC" >&2; exit 2; }
    listing "$2"
    ;;
ids)
    [ $# -eq 2 ] || { echo "usage: $me ids DISC" >&2; exit 2; }
    ids "$2"
    ;;
check)
    [ $# -ge 2 ] || { echo "usage: $me check DIR..." >&2; exit 2; }
    shift
    passed=0
    failed=0
    for dir in "$@"; do
        for disc in "$dir"/*.disc; do
            if [ ! -f "$disc" ]; then
                echo "$me: no disc in $dir" >&2
                failed=$((failed + 1))
            elif check_disc "$disc"; then
                passed=$((passed + 1))
            else
                failed=$((failed + 1))
            fi
        done
    done
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    ;;
*)
    echo "usage: $me expected DISC | ids DISC | check DIR..." >&2
    exit 2
    ;;
esac
