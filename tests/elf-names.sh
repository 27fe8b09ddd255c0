#!/bin/sh
# scripts/elf.sh names a program's processor as the release tarballs do.
# The two 32-bit ARM releases share readelf's Machine, ARM, and differ in
# the float ABI of the header's flags: hard-float is armhf, soft-float
# armel, and a header that says neither is no release's. The programs are
# ELF headers written here: one loadable segment, nothing else.
# Usage: elf-names.sh ELF_SH SCRATCH
set -eu
export LC_ALL=C

elf_sh=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

bytes() { # VALUE...
    for b; do printf '%b' "\\0$(printf %03o "$b")"; done
}
le16() { bytes $(($1 % 256)) $(($1 / 256 % 256)); }
le32() { le16 $(($1 % 65536)); le16 $(($1 / 65536)); }

# A 32-bit little-endian executable for MACHINE (e_machine) with FLAGS.
elf32() { # FILE MACHINE FLAGS
    {
        bytes 127 69 76 70 1 1 1 0 0 0 0 0 0 0 0 0
        le16 2; le16 "$2"; le32 1; le32 32768; le32 52; le32 0; le32 "$3"
        le16 52; le16 32; le16 1; le16 0; le16 0; le16 0
        # PT_LOAD: the whole file at 0x8000, read and execute.
        le32 1; le32 0; le32 32768; le32 32768; le32 84; le32 84; le32 5; le32 4096
    } >"$1"
}

failed=0
check() { # NAME MACHINE FLAGS EXPECTED
    elf32 "$dir/$1" "$2" "$3"
    got=$(sh "$elf_sh" "$dir/$1" 2>&1) || got="status $?: $got"
    if [ "$got" = "$4" ]; then
        echo "ok: $1: $got"
    else
        echo "FAILED: $1: expected '$4', got '$got'"
        failed=1
    fi
}
# e_machine: 3 x86, 40 ARM, 8 MIPS. ARM flags: EABI version 5 (0x05000000)
# with hard-float (0x400) or soft-float (0x200), or an EABI 4 header.
check i686 3 0 "i686 static"
check armhf 40 $((0x5000400)) "armhf static"
check armel 40 $((0x5000200)) "armel static"
check arm-eabi4 40 $((0x4000000)) "other static"
check mips 8 0 "other static"
exit $failed
