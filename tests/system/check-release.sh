#!/bin/sh
# The release is reproducible: `make release` in two fresh clones of this
# repository's HEAD, in folders of different names and depths, must give the
# same files byte for byte; SHA256SUMS must check in each; and no file in
# the archives (the binaries among them) may hold the path of either clone.
# Says how long each make release took.
# Usage: check-release.sh
# Environment: RELEASE_CHECK_DIR, where the clones go (default
# build-release-check, removed at the end).
set -eu
# The file lists of the two releases are compared in one order.
export LC_ALL=C

top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
base=${RELEASE_CHECK_DIR:-$top/build-release-check}
mkdir -p "$base"
work=$(mktemp -d "$base/run.XXXXXX")
trap 'rm -rf "$work"; rmdir "$base" 2>/dev/null || true' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

say() { echo "check-release: $*" >&2; }

if [ -n "$(git -C "$top" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    say "the working tree has uncommitted changes; the clones hold its HEAD only"
fi
# The second clone sits one folder deeper, under another name.
first=$work/cdtracks
second=$work/elsewhere/cdtracks-second-clone
for clone in "$first" "$second"; do
    git clone -q "$top" "$clone"
    start=$(date +%s)
    # A fresh shell's make: nothing of this one's make carries over.
    if ! env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL -u SOURCE_DATE_EPOCH \
        make -C "$clone" release >"$clone.log" 2>&1; then
        tail -n 30 "$clone.log" >&2
        say "make release failed in $clone"
        exit 1
    fi
    say "make release in $clone: $(($(date +%s) - start)) s"
    if (cd "$clone/build-release" && sha256sum --quiet -c SHA256SUMS); then
        case_pass
    else
        case_fail "SHA256SUMS does not check in $clone/build-release"
    fi
done

files=$(cd "$first/build-release" && ls)
[ "$files" = "$(cd "$second/build-release" && ls)" ] && case_pass ||
    case_fail "the two releases hold different files: $(echo $files) and $(ls "$second/build-release" | tr '\n' ' ')"
for f in $files; do
    cmp -s "$first/build-release/$f" "$second/build-release/$f" && case_pass ||
        case_fail "$f differs between the two clones"
done

# Unpacked, nothing names either clone's folder (both lie under $work).
unpacked=$work/unpacked
mkdir "$unpacked"
for f in "$second"/build-release/*.tar.gz; do tar -C "$unpacked" -xzf "$f"; done
for f in "$second"/build-release/*.zip; do (cd "$unpacked" && unzip -q "$f"); done
held=$(grep -rlaF -e "$(basename "$work")" -e cdtracks-second-clone "$unpacked" || true)
[ -z "$held" ] && case_pass || case_fail "these name the folder they were built in: $held"
[ "$(ls "$unpacked" | wc -l)" -eq "$(echo "$files" | grep -vc SHA256SUMS)" ] && case_pass ||
    case_fail "the archives do not unpack into one folder each"

cases_summary check-release
