#!/bin/sh
# Runs each CDTRACKS given against Linux's own CD-ROM driver: Debian's kernel
# in QEMU with two virtio-scsi CD-ROM drives, one holding an ISO 9660 image
# made here and one without a medium, and an initramfs whose /init
# (tests/vm/init) runs the binaries in a set of situations. Compares on this
# side, byte for byte, what each run printed, its status and the files it
# left. cd-discid, run on the same drive in the guest, gives the length to
# expect. Needs qemu-system-x86, busybox-static, genisoimage and cd-discid;
# the kernel package is fetched with apt-get download and kept, unpacked,
# in the cache folder (never installed here).
# Usage: check-vm.sh CDTRACKS...
# Environment: VM_CACHE (default build-vm-cache), VM_TIMEOUT (seconds, 120),
# VM_ACCEL (QEMU's accelerator, default tcg).
set -eu

[ $# -gt 0 ] || { echo "usage: $0 CDTRACKS..." >&2; exit 2; }
top=$(cd "$(dirname "$0")/../.." && pwd)
cache=${VM_CACHE:-$top/build-vm-cache}
limit=${VM_TIMEOUT:-120}
modules="cdrom scsi_common scsi_mod sr_mod virtio_ring virtio_pci_modern_dev
         virtio_pci_legacy_dev virtio virtio_pci virtio_scsi virtio_blk"
work=$(mktemp -d "${TMPDIR:-/tmp}/cdtracks-vm.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
. "$top/tests/system/cases.sh"

die() { echo "check-vm: $*" >&2; exit 1; }

for tool in qemu-system-x86_64 busybox genisoimage cd-discid apt-get dpkg; do
    command -v $tool >/dev/null 2>&1 || die "$tool is missing: scripts/install-deps.sh vm installs it"
done

# Debian's kernel, the one linux-image-amd64 stands for.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1
}
package=$(kernel_package)
if [ -z "$package" ] && [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq >&2
    package=$(kernel_package)
fi
[ -n "$package" ] || die "apt knows no linux-image-amd64 (run apt-get update)"
kernel=$cache/$package
if [ ! -f "$kernel/vmlinuz" ]; then
    echo "check-vm: fetching $package" >&2
    rm -rf "$cache/download" "$kernel"
    mkdir -p "$cache/download" "$kernel/modules"
    (cd "$cache/download" && apt-get download -q -o APT::Sandbox::User="$(id -un)" "$package" >&2) ||
        die "cannot download $package"
    dpkg -x "$cache/download/"*.deb "$cache/download/root"
    for m in $modules; do
        ko=$(find "$cache/download/root/lib/modules" -name "$m.ko" | head -n 1)
        [ -n "$ko" ] || die "$package has no module $m.ko"
        cp "$ko" "$kernel/modules/"
    done
    cp "$cache/download/root/boot/vmlinuz-"* "$kernel/vmlinuz"
    rm -rf "$cache/download"
fi

# The guest's root: busybox, the modules, /init, and each program with the
# shared libraries it needs, at the paths the loader looks for them.
root=$work/root
mkdir -p "$root/bin" "$root/etc" "$root/dev" "$root/proc" "$root/sys" "$root/tmp" "$root/test" "$root/modules"
chmod 1777 "$root/tmp"
cp "$(command -v busybox)" "$root/bin/busybox"
cp "$kernel/modules/"*.ko "$root/modules/"
cp "$top/tests/vm/init" "$root/init"
cp "$top/tests/system/cases.sh" "$root/cases.sh"
with_libraries() {
    cp "$1" "$root$2"
    # A static binary has none ("not a dynamic executable").
    ldd "$1" 2>/dev/null | grep -o '/[^ ]*' | while read -r lib; do
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
}
with_libraries "$(command -v cd-discid)" /bin/cd-discid
n=0
for binary in "$@"; do
    [ -x "$binary" ] || die "$binary is not an executable"
    with_libraries "$binary" "/test/cdtracks-$n"
    n=$((n + 1))
done
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.gz"

# A data disc: one file of 3,000,000 bytes in an ISO 9660 image.
mkdir "$work/files"
head -c 3000000 /dev/zero >"$work/files/data.bin"
genisoimage -quiet -V CDTRACKS -o "$work/disc.iso" "$work/files"
sectors=$(($(stat -c %s "$work/disc.iso") / 2048))
truncate -s 64M "$work/out.img"

# Software emulation by default: it takes seconds, and a /dev/kvm that is
# there is not always one that works (a nested one here hung the guest).
accel=${VM_ACCEL:-tcg}
echo "check-vm: booting $package ($accel) with $# cdtracks binaries" >&2
status=0
timeout --kill-after=5 "$limit" qemu-system-x86_64 -nodefaults -no-reboot -display none \
    -accel $accel -m 512 -kernel "$kernel/vmlinuz" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet" -serial "file:$work/console.log" \
    -device virtio-scsi-pci,id=scsi \
    -drive if=none,id=disc,file="$work/disc.iso",media=cdrom,format=raw,readonly=on \
    -device scsi-cd,drive=disc,bus=scsi.0,scsi-id=0,lun=0 \
    -drive if=none,id=nodisc,media=cdrom \
    -device scsi-cd,drive=nodisc,bus=scsi.0,scsi-id=1,lun=0 \
    -drive if=none,id=out,file="$work/out.img",format=raw -device virtio-blk-pci,drive=out ||
    status=$?
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    tail -n 20 "$work/console.log" >&2
    die "the guest did not finish within $limit s"
fi
[ $status -eq 0 ] || die "qemu failed with status $status"
mkdir "$work/results"
tar -xf "$work/out.img" -C "$work/results" 2>/dev/null || {
    tail -n 20 "$work/console.log" >&2
    die "the guest wrote no results (kernel or /init failed; its console is above)"
}
runs=$work/results/runs

# The disc's drive must be the first one SDL finds.
grep -q '^sr0 [0-9]*:[0-9]*:0:' "$runs/drives" ||
    die "the disc's drive is not /dev/sr0: $(tr '\n' ' ' <"$runs/drives")"

# cd-discid's reading: "1 150 LEADOUT", lengths counted from 150.
discid=$(cat "$runs/discid/stdout")
[ "$(cat "$runs/discid/status")" = 0 ] || die "cd-discid failed in the guest: $(cat "$runs/discid/stderr")"
leadout=$(echo "$discid" | awk 'NF == 3 && $1 == 1 && $2 == 150 { print $3 }')
[ -n "$leadout" ] || die "cd-discid read no single-track disc: $discid"
length=$((leadout - 150))
[ $length -eq $sectors ] || die "cd-discid reads $length frames, the image has $sectors sectors"
echo "check-vm: cd-discid reads one track of $length frames"

expect() { expect_case "$runs" "$@"; }

line="$length
"
n=0
for binary in "$@"; do
    b=cdtracks-$n
    expect $b.default 0 "$line" ""
    expect $b.disc-drive 0 "$line" ""
    expect $b.empty-drive 0 "" ""
    expect $b.missing-device 0 "$line" ""
    expect $b.dev-full 1 "" "cdtracks: write error: No space left on device
"
    expect $b.unprivileged 0 "" ""
    echo "check-vm: $binary: 6 runs checked"
    n=$((n + 1))
done

cases_summary check-vm
