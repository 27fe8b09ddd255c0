#!/bin/sh
# check-needed.sh BINARY: fails unless BINARY needs no shared library but the
# C library's own: libc, libm and the loader, and before glibc 2.34, which
# merged them into libc, also libpthread, libdl and librt.
# check-needed.sh --none BINARY: fails unless BINARY is fully static: no
# dynamic segment, no program interpreter.
# Either fails on a file that is not an ELF program. readelf's tables are
# read in the C locale; its messages are not read at all.
set -eu
export LC_ALL=C

none=
if [ "$1" = --none ]; then
    none=1
    shift
fi
binary=$1
headers=$(readelf -lW "$binary") || { echo "$binary is not an ELF file" >&2; exit 1; }
# The types of its program headers, a word each.
types=" $(printf '%s\n' "$headers" | awk '$1 ~ /^[A-Z_]+$/ && $2 ~ /^0x/ { print $1 }' | tr '\n' ' ')"
case $types in
*" LOAD "*) ;;
*) echo "$binary has no loadable segment: not a program" >&2; exit 1 ;;
esac
if [ -n "$none" ]; then
    case $types in *" DYNAMIC "*) echo "$binary has a dynamic section" >&2; exit 1 ;; esac
    case $types in *" INTERP "*) echo "$binary names a program interpreter" >&2; exit 1 ;; esac
    echo "$binary is fully static"
    exit 0
fi
dynamic=$(readelf -dW "$binary")
needed=$(printf '%s\n' "$dynamic" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
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
