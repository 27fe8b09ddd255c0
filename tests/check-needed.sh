#!/bin/sh
# Fails unless BINARY needs no shared library but libc, libm and the loader.
set -eu
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "$1 needs:" $needed
for lib in $needed; do
    case $lib in
    libc.so.*|libm.so.*|ld-linux*.so.*) ;;
    *) echo "unexpected: $lib" >&2; exit 1 ;;
    esac
done
