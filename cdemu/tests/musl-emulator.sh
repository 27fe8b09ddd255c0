#!/bin/sh
# Builds the emulated drive with musl (musl-gcc, Debian's musl-tools), as on
# a system whose C library is not glibc: glibc's own entry points must stay
# out of it. Warnings are errors. The tracer, linked statically against
# musl, then runs a program and ends as it did.
# Usage: musl-emulator.sh SOURCE_DIR SCRATCH_DIR
# Exits 77 (skipped) without musl-gcc, except in CI.
set -eu

top=$1
scratch=$2
if ! command -v musl-gcc >/dev/null 2>&1; then
    echo "musl-gcc is missing (Debian package musl-tools)" >&2
    [ -n "${CI:-}" ] && exit 1
    exit 77
fi
# musl-gcc searches musl's headers alone: give it the kernel's too.
rm -rf "$scratch"
mkdir -p "$scratch/include"
for dir in /usr/include/linux /usr/include/asm-generic "/usr/include/$(gcc -print-multiarch)/asm"; do
    ln -s "$dir" "$scratch/include/"
done
# with_ioctls ARGUMENT...: musl-gcc with them and the drive's ioctl layer.
with_ioctls() {
    musl-gcc -std=gnu11 -Wall -Wextra -Wpedantic -Werror -isystem "$scratch/include" \
        "$@" "$top/cdemu/ioctls.c" "$top/cdemu/disc.c"
}
with_ioctls -fPIC -shared -o "$scratch/libcdemu.so" "$top/cdemu/cdemu.c"
if [ "$(uname -m)" = x86_64 ]; then
    with_ioctls -static -o "$scratch/cdemu-run" "$top/cdemu/cdemu-run.c"
    status=0
    "$scratch/cdemu-run" sh -c 'exit 3' || status=$?
    [ $status -eq 3 ] || { echo "cdemu-run built with musl ended with status $status, not 3" >&2; exit 1; }
fi
echo "the emulated drive builds with musl"
