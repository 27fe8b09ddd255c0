#!/bin/sh
# The release is reproducible: `make release` in a fresh clone of this
# repository's HEAD, in a folder of another name and depth, must give the
# same files, byte for byte, as the release made here (RELEASE_DIR, by make
# release, from a working tree without uncommitted changes); SHA256SUMS must
# check in both; and no file in the archives (the binaries among them) may
# hold the path of either folder. Says how long the clone's make release took.
# Usage: check-release.sh RELEASE_DIR
# Environment: RELEASE_CHECK_DIR, where the clone goes (default
# build-release-check, removed at the end).
set -eu
# The file lists of the two releases are compared in one order.
export LC_ALL=C

[ $# -eq 1 ] || { echo "usage: check-release.sh RELEASE_DIR" >&2; exit 2; }
top=$(cd "$(dirname "$0")/../.." && pwd)
here=$(cd "$1" && pwd)
# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
lifecycle check-release
base=${RELEASE_CHECK_DIR:-$top/build-release-check}
mkdir -p "$base"
work=$(mktemp -d "$base/run.XXXXXX")
remove_work() { rm -rf "$work"; rmdir "$base" 2>/dev/null || true; }
at_exit remove_work

if [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
    say "the working tree has uncommitted changes: the release in $1 is not HEAD's, which the clone holds"
    exit 1
fi
clone=$work/elsewhere/cdtracks-second-clone
git clone -q "$top" "$clone"
start=$(date +%s)
# A fresh make, but for the date of the release files, which is this one's.
if ! lc_run env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -C "$clone" release >"$clone.log" 2>&1; then
    tail -n 30 "$clone.log" >&2
    say "make release failed in $clone"
    exit 1
fi
say "make release in $clone: $(($(date +%s) - start)) s"
there=$clone/build-release

for dir in "$here" "$there"; do
    if (cd "$dir" && sha256sum --quiet -c SHA256SUMS); then case_pass; else case_fail "SHA256SUMS does not check in $dir"; fi
done
files=$(cd "$here" && ls)
[ "$files" = "$(cd "$there" && ls)" ] && case_pass ||
    case_fail "the two releases hold different files: $(echo "$files" | tr '\n' ' ') and $(cd "$there" && ls | tr '\n' ' ')"
for f in $files; do
    cmp -s "$here/$f" "$there/$f" && case_pass || case_fail "$f differs between $here and the clone"
done

# Unpacked, nothing names either folder.
unpacked=$work/unpacked
mkdir "$unpacked"
for f in "$there"/*.tar.gz; do tar -C "$unpacked" -xzf "$f"; done
for f in "$there"/*.zip; do (cd "$unpacked" && unzip -q "$f"); done
held=$(grep -rlaF -e "$top" -e "$clone" "$unpacked" || true)
[ -z "$held" ] && case_pass || case_fail "these name the folder they were built in: $held"
[ "$(find "$unpacked" -mindepth 1 -maxdepth 1 | wc -l)" -eq "$(echo "$files" | grep -vc SHA256SUMS)" ] &&
    case_pass || case_fail "the archives do not unpack into one folder each"

cases_summary check-release
