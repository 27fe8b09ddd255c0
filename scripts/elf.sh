#!/bin/sh
# What the project needs to know of an ELF program, from its headers:
#   elf.sh FILE           "MACHINE LINKAGE", e.g. "aarch64 static"
#   elf.sh --needed FILE  the shared libraries it names, a line each
# MACHINE is its processor as the release files name it: x86_64, i686,
# aarch64, armhf (32-bit ARM, hard-float), armel (32-bit ARM, soft-float),
# or other. LINKAGE is dynamic (it names a program interpreter: the loader
# runs, LD_PRELOAD is read), static (no interpreter and no dynamic
# section), or static-pie (no interpreter, but a dynamic section: it
# relocates itself).
# Status 1, saying why, for a file that is not a readable ELF program;
# status 2 when it cannot tell (no readelf here, or wrong usage), so that a
# caller never takes a machine without binutils for a file that is no
# program.
set -eu
export LC_ALL=C

needed=
if [ "${1:-}" = --needed ]; then
    needed=1
    shift
fi
[ $# -eq 1 ] || { echo "usage: elf.sh [--needed] FILE" >&2; exit 2; }
command -v readelf >/dev/null 2>&1 || { echo "elf.sh: readelf is missing (Debian: binutils)" >&2; exit 2; }
[ -f "$1" ] && [ -r "$1" ] || { echo "elf.sh: cannot read $1" >&2; exit 1; }
headers=$(readelf -hlW -- "$1" 2>/dev/null) || { echo "elf.sh: $1 is not an ELF file" >&2; exit 1; }
# The types of its program headers, a word each.
types=" $(printf '%s\n' "$headers" | awk '$1 ~ /^[A-Z_]+$/ && $2 ~ /^0x/ { print $1 }' | tr '\n' ' ')"
case $types in
*" LOAD "*) ;;
*) echo "elf.sh: $1 has no loadable segment: not a program" >&2; exit 1 ;;
esac

if [ -n "$needed" ]; then
    readelf -dW -- "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'
    exit 0
fi

field() { printf '%s\n' "$headers" | sed -n "s/^ *$1: *//p" | head -n 1; }
case $(field Machine) in
*X86-64*) machine=x86_64 ;;
*80386*) machine=i686 ;;
AArch64) machine=aarch64 ;;
ARM) case $(field Flags) in
     *hard-float*) machine=armhf ;;
     *soft-float*) machine=armel ;;
     *) machine=other ;;
     esac ;;
*) machine=other ;;
esac
case $types in
*" INTERP "*) linkage=dynamic ;;
*" DYNAMIC "*) linkage=static-pie ;;
*) linkage=static ;;
esac
echo "$machine $linkage"
