#!/bin/sh
# check-needed.sh BINARY: fails unless BINARY needs no shared library but the
# C library's own: libc, libm and the loader, and before glibc 2.34, which
# merged them into libc, also libpthread, libdl and librt.
# check-needed.sh --none BINARY: fails unless BINARY is fully static: no
# dynamic segment, no program interpreter.
# Either fails on a file that is not an ELF program. What the binary is and
# needs is scripts/elf.sh's to read.
set -eu
export LC_ALL=C
elf=$(dirname "$0")/../scripts/elf.sh

none=
if [ "${1:-}" = --none ]; then
    none=1
    shift
fi
[ $# -eq 1 ] || { echo "usage: check-needed.sh [--none] BINARY" >&2; exit 2; }
binary=$1
facts=$("$elf" "$binary")
if [ -n "$none" ]; then
    case ${facts#* } in
    static) echo "$binary is fully static"; exit 0 ;;
    static-pie) echo "$binary has a dynamic section" >&2 ;;
    *) echo "$binary names a program interpreter" >&2 ;;
    esac
    exit 1
fi
needed=$("$elf" --needed "$binary")
echo "$binary needs:" $needed
allowed="libc.so.* libm.so.* ld-linux*.so.*"
glibc=$(getconf GNU_LIBC_VERSION 2>/dev/null | sed -n 's/^glibc 2\.\([0-9]*\).*/\1/p')
if [ -n "$glibc" ] && [ "$glibc" -lt 34 ]; then
    allowed="$allowed libpthread.so.0 libdl.so.2 librt.so.1"
fi
for lib in $needed; do
    ok=0
    for pattern in $allowed; do
        # shellcheck disable=SC2254
        case $lib in $pattern) ok=1 ;; esac
    done
    [ $ok -eq 1 ] || { echo "unexpected: $lib" >&2; exit 1; }
done
