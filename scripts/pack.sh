#!/bin/sh
# Packs the release archive of a make dist or make dist-windows build:
#   BUILD_DIR/cdtracks-VERSION-linux-MACHINE.tar.gz  a fully static Linux
#                    cdtracks; MACHINE read from the binary (scripts/elf.sh)
#   BUILD_DIR/cdtracks-VERSION-windows-x86_64.zip    cdtracks.exe; its text
#                    files with Windows' CR LF line ends
# holding, in a folder of the archive's name, what the build's install rules
# give the component "dist": the binary as built and tested, its manual, a
# README of its own, the licences and SDL-NOTICE.txt. Prints its path.
#
# The archive is the same, byte for byte, wherever and whenever it is made
# from the same commit: members sorted, owned by root, writable by their
# owner only, dated SOURCE_DATE_EPOCH (make sets it from the last commit);
# gzip stores no name or time; the zip holds no owner or extra time fields,
# its times in UTC.
# Usage: SOURCE_DATE_EPOCH=SECONDS pack.sh BUILD_DIR
set -eu
export LC_ALL=C

[ $# -eq 1 ] || { echo "usage: pack.sh BUILD_DIR" >&2; exit 2; }
build=$1
top=$(cd "$(dirname "$0")/.." && pwd)
die() { echo "pack: $*" >&2; exit 1; }
[ -n "${SOURCE_DATE_EPOCH:-}" ] || die "SOURCE_DATE_EPOCH is not set: the date of the archive's files." \
    "make sets it from the last commit, with git, in a git clone; elsewhere set it (seconds since 1970)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null)
[ -n "$version" ] || die "$build is not a configured build folder"
if [ -f "$build/cdtracks.exe" ]; then
    name=cdtracks-$version-windows-x86_64
else
    facts=$("$top/scripts/elf.sh" "$build/cdtracks") || exit 1
    [ "${facts#* }" = static ] || die "$build/cdtracks is not fully static (make dist builds one)"
    [ "${facts% *}" != other ] || die "$build/cdtracks is for a processor without a release name"
    name=cdtracks-$version-linux-${facts% *}
fi

stage=$build/dist
rm -rf "$stage" "$build"/cdtracks-*-linux-*.tar.gz "$build"/cdtracks-*-windows-*.zip
cmake --install "$build" --component dist --prefix "$stage/$name" >/dev/null
chmod -R u+rw,go=u-w "$stage"
if [ -f "$build/cdtracks.exe" ]; then
    for f in "$stage/$name"/*; do
        case $f in
        *.exe | *.patch) ;;
        *) awk '{ sub(/\r$/, ""); printf "%s\r\n", $0 }' "$f" >"$f.crlf" && mv "$f.crlf" "$f" ;;
        esac
    done
    find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    # -X: no owner and no extra time fields; the time kept is MS-DOS's, local.
    (cd "$stage" && find "$name" | sort | TZ=UTC zip -q -X -@ "../$name.zip")
    echo "$build/$name.zip"
else
    tar -C "$stage" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
        --mtime="@$SOURCE_DATE_EPOCH" -cf - "$name" | gzip -9 -n >"$build/$name.tar.gz"
    echo "$build/$name.tar.gz"
fi
