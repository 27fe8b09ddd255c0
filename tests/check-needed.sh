#!/bin/sh
# check-needed.sh BINARY: fails unless BINARY needs no shared library but the
# C library's own: libc, libm and the loader, and before glibc 2.34, which
# merged them into libc, also libpthread, libdl and librt.
# check-needed.sh --none BINARY: fails unless BINARY is fully static: no
# dynamic section, no program interpreter.
set -eu
if [ "$1" = --none ]; then
    readelf -d "$2" | grep -q "no dynamic section" || { echo "$2 has a dynamic section" >&2; exit 1; }
    if readelf -l "$2" | grep -q INTERP; then echo "$2 names a program interpreter" >&2; exit 1; fi
    echo "$2 is fully static"
    exit 0
fi
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "$1 needs:" $needed
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
