#!/bin/sh
# Runs each CDTRACKS given against Linux's own CD-ROM drivers: Debian's kernel
# in QEMU, and an initramfs whose /init (tests/system/vm-init) runs the binaries.
# The drives: two virtio-scsi CD-ROM drives, one holding an ISO 9660 image
# made here and one without a medium; and every described disc
# (tests/discs/**/NAME.disc, and DISCS/NAME.disc) in a USB CD-ROM drive that
# cdemu-usb serves inside the guest, below the kernel's usb-storage, sr and
# cdrom drivers. Compares on this side, byte for byte: on the data drive,
# each run with what cd-discid reads on the same drive; on each described
# disc, each run with what the same binary (or VM_REFERENCE) does on the
# same disc through the emulated drive (libcdemu.so, or cdemu-run for a
# static binary), with NAME.expected and with what cd-discid reads in the
# guest; the probe (cdemu-probe), field for field, on the kernel's device,
# through libcdemu.so and in the disc's record, NAME.probe (the empty
# virtio drive's is tests/discs/empty-sr.probe); and the probe's
# description of the disc (--describe) with the disc's own, both
# normalised, or where the description makes the drive fail, with the
# failure the emulated drive gives. Needs QEMU for the guest's processor,
# busybox-static, genisoimage and cd-discid; the kernel package (and, for a
# guest of another processor, busybox-static) is fetched with apt-get
# download and kept, unpacked, in the cache folder (never installed here).
# A guest of another processor has no cd-discid: its data disc must read as
# the image's length, and its discs as the reference runs and NAME.expected
# say.
# Usage: check-vm.sh CDTRACKS...
# Environment: VM_ARCH, the guest's processor and Debian's kernel for it:
# x86_64 (default; amd64), i686 (686), aarch64 (arm64) or armhf (armmp).
# Binaries of another processor than this machine's must be static.
# DISCS (a folder of NAME.disc and NAME.expected, or one NAME.disc),
# VM_CDEMU (the emulated drive's build folder, default build/cdemu, with
# with-disc and cdemu-probe), VM_GUEST_CDEMU (where cdemu-usb and
# cdemu-probe-static for the guest's processor are, default VM_CDEMU),
# VM_REFERENCE (the binary whose runs through the emulated drive each
# CDTRACKS must match; default each CDTRACKS itself), VM_RECORD (1: write
# each record that is missing or differs from what the kernel answers,
# rather than fail; only for the x86-64 guest, whose records they are),
# VM_CACHE (default
# build-vm-cache), VM_TIMEOUT (seconds, default 120 and 5 a disc), VM_ACCEL
# (QEMU's accelerator, default tcg), VM_KEEP (a folder to keep the guest's
# runs, the drives' logs among them, and the emulated drive's runs in).
set -eu
# apt's, ldd's and cd-discid's output is read below.
export LC_ALL=C

[ $# -gt 0 ] || { echo "usage: $0 CDTRACKS..." >&2; exit 2; }
top=$(cd "$(dirname "$0")/../.." && pwd)
cache=${VM_CACHE:-$top/build-vm-cache}
cdemu=${VM_CDEMU:-$top/build/cdemu}
guest_cdemu=${VM_GUEST_CDEMU:-$cdemu}
# The guest's modules (tests/system/vm-modules, which vm-init loads);
# those that a kernel has built in are left out.
modules=$(awk '$1 !~ /^#/ && NF >= 2 { print $2 }' "$top/tests/system/vm-modules")
[ -n "$modules" ] || die "tests/system/vm-modules names no module"
# shellcheck source=tests/system/lifecycle.sh
. "$top/tests/system/lifecycle.sh"
# shellcheck source=tests/system/cases.sh
. "$top/tests/system/cases.sh"
lifecycle check-vm
work=$(scratch)
referencing=
stop_references() {
    [ -z "$referencing" ] || { kill "$referencing" 2>/dev/null; wait "$referencing"; } || true
}
keep_runs() {
    if [ -n "${VM_KEEP:-}" ] && [ -d "$work/results" ]; then
        mkdir -p "$VM_KEEP" && rm -rf "$VM_KEEP/runs" "$VM_KEEP/reference" &&
            cp -R "$work/results/runs" "$work/reference" "$work/console.log" "$VM_KEEP/"
    fi
}
at_exit keep_runs
at_exit stop_references

# The guest: Debian's architecture and kernel flavour, QEMU's program,
# machine and processor, and the kernel's console.
case ${VM_ARCH:-x86_64} in
x86_64)  debian=amd64 flavour=amd64 qemu=qemu-system-x86_64 machine=pc cpu='' console=ttyS0 ;;
i686)    debian=i386 flavour=686 qemu=qemu-system-i386 machine=pc cpu='' console=ttyS0 ;;
aarch64) debian=arm64 flavour=arm64 qemu=qemu-system-aarch64 machine=virt cpu=cortex-a57 console=ttyAMA0 ;;
# (highmem=off: a 32-bit kernel without large physical addresses cannot
# reach PCI's configuration space where QEMU puts it, above 4 GiB.)
armhf)   debian=armhf flavour=armmp qemu=qemu-system-arm machine=virt,highmem=off cpu=cortex-a15 console=ttyAMA0 ;;
*) die "VM_ARCH=$VM_ARCH: x86_64, i686, aarch64 or armhf" ;;
esac
recording=
case ${VM_RECORD:-} in
'' | 0) ;;
1)
    [ "${VM_ARCH:-x86_64}" = x86_64 ] ||
        die "VM_RECORD: the records are the x86-64 guest's; another guest is checked against them"
    recording=yes
    ;;
*) die "VM_RECORD=$VM_RECORD: 1 writes the records, 0 or nothing checks them" ;;
esac
native=
[ "$debian" != "$(dpkg --print-architecture 2>/dev/null)" ] || native=yes

for tool in $qemu busybox genisoimage apt-get dpkg ${native:+cd-discid}; do
    command -v $tool >/dev/null 2>&1 ||
        die "$tool is missing: scripts/install-deps.sh vm (vm-arm for an ARM guest) installs it"
done

# apt for the guest's packages: this machine's own for its own processor;
# for another, a configuration of the cache's own (its package lists, for
# that processor alone) on the Debian archives this machine's apt uses,
# which leaves the machine's apt as it was.
private=$cache/apt-$debian
apt_for_guest() { # apt-get|apt-cache ARGUMENTS...
    tool=$1
    shift
    if [ -n "$native" ]; then
        $tool "$@"
    else
        $tool -o Dir::Etc::SourceList="$private/sources.list" -o Dir::Etc::SourceParts="$private/parts" \
            -o Dir::State::Lists="$private/lists" -o Dir::State::status="$private/status" \
            -o Dir::Cache="$private/cache" -o APT::Architecture=$debian -o APT::Architectures=$debian \
            -o Acquire::Languages=none "$@"
    fi
}
update_lists() {
    if [ -n "$native" ]; then
        [ "$(id -u)" -eq 0 ] || return 0
    else
        mkdir -p "$private/parts" "$private/lists/partial" "$private/cache/archives/partial"
        : >"$private/status"
        keyring=/usr/share/keyrings/debian-archive-keyring.gpg
        [ -f "$keyring" ] && signed="[signed-by=$keyring] " || signed=
        "$top/scripts/debian-archive.sh" |
            awk -v signed="$signed" '$1 ~ /^Debian/ { print "deb " signed $2 " " $3 " " $4 }' |
            sort -u >"$private/sources.list"
        [ -s "$private/sources.list" ] || die "this machine's apt uses no Debian archive to fetch $debian packages from"
    fi
    say "reading the archive's $debian packages"
    # An index the archive serves out of step (its size not the one its
    # Release file gives) fails the update though the others are read: the
    # check goes on with those, and a package that cannot be had then fails
    # it, in apt's words.
    apt_for_guest apt-get update -qq -o APT::Sandbox::User="$(id -un)" >&2 ||
        say "apt-get update failed (its words are above): going on with the lists it read"
}

# Debian's kernel, the one linux-image-FLAVOUR stands for.
kernel_package() {
    apt_for_guest apt-cache depends linux-image-$flavour 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1
}
package=$(kernel_package)
if [ -z "$package" ]; then
    update_lists
    package=$(kernel_package)
fi
[ -n "$package" ] || die "apt knows no linux-image-$flavour (run apt-get update)"
# PACKAGE... into the empty folder download/root.
download=$cache/download-$debian
fetch() { # PACKAGE...
    rm -rf "$download"
    mkdir -p "$download"
    (cd "$download" && apt_for_guest apt-get download -q -o APT::Sandbox::User="$(id -un)" "$@" >&2) || {
        # The lists may be older than the archive.
        update_lists
        (cd "$download" && apt_for_guest apt-get download -q -o APT::Sandbox::User="$(id -un)" "$@" >&2)
    } || die "cannot download $*"
    for deb in "$download/"*.deb; do
        dpkg -x "$deb" "$download/root"
    done
}
kernel=$cache/$package
if [ ! -f "$kernel/vmlinuz" ] || [ "$(cat "$kernel/modules.wanted" 2>/dev/null)" != "$(echo $modules)" ]; then
    say "fetching $package"
    rm -rf "$kernel"
    mkdir -p "$kernel/modules"
    fetch "$package"
    # Debian 13's kernels keep their modules under /usr/lib and compress them.
    tree=$(find "$download/root" -name modules.builtin | head -n 1)
    [ -n "$tree" ] || die "$package has no modules"
    tree=$(dirname "$tree")
    for m in $modules; do
        ko=$(find "$tree" -name "$m.ko" -o -name "$m.ko.xz" | head -n 1)
        case $ko in
        *.xz) xz -dc "$ko" >"$kernel/modules/$m.ko" ;;
        ?*) cp "$ko" "$kernel/modules/" ;;
        *) grep -q "/$m\.ko\$" "$tree/modules.builtin" || die "$package has no module $m.ko" ;;
        esac
    done
    cp "$download/root/boot/vmlinuz-"* "$kernel/vmlinuz"
    echo $modules >"$kernel/modules.wanted"
    rm -rf "$download"
fi
# The guest's shell: this machine's busybox, or the archive's for the
# guest's processor.
busybox=$(command -v busybox)
if [ -z "$native" ]; then
    busybox=$cache/busybox-$debian/busybox
    if [ ! -x "$busybox" ]; then
        say "fetching busybox-static for $debian"
        fetch busybox-static
        mkdir -p "$cache/busybox-$debian"
        # (/usr/bin from Debian 13 on.)
        cp "$(ls "$download/root/bin/busybox" "$download/root/usr/bin/busybox" 2>/dev/null | head -n 1)" "$busybox"
        rm -rf "$download"
    fi
fi

# The guest's root: busybox, the modules, /init, and each program with the
# shared libraries it needs, at the paths the loader looks for them.
root=$work/root
mkdir -p "$root/bin" "$root/etc" "$root/dev" "$root/proc" "$root/sys" "$root/tmp" "$root/test" \
    "$root/modules" "$root/discs"
chmod 1777 "$root/tmp"
cp "$busybox" "$root/bin/busybox"
cp "$kernel/modules/"*.ko "$root/modules/"
cp "$top/tests/system/vm-init" "$root/init"
cp "$top/tests/system/vm-modules" "$root/modules/list"
cp "$top/tests/system/lifecycle.sh" "$top/tests/system/cases.sh" "$root/"
with_libraries() {
    cp "$1" "$root$2"
    # A static binary has none ("not a dynamic executable").
    ldd "$1" 2>/dev/null | grep -o '/[^ ]*' | while read -r lib; do
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
}
[ -z "$native" ] || with_libraries "$(command -v cd-discid)" /bin/cd-discid
n=0
for binary in "$@"; do
    [ -x "$binary" ] || die "$binary is not an executable"
    [ -n "$native" ] || "$top/tests/check-needed.sh" --none "$binary" >/dev/null ||
        die "$binary is not fully static: the $debian guest runs static binaries only"
    with_libraries "$binary" "/test/cdtracks-$n"
    n=$((n + 1))
done
for program in "$guest_cdemu/cdemu-usb" "$guest_cdemu/cdemu-probe-static" "$cdemu/cdemu-probe" \
    "$cdemu/with-disc" ${VM_REFERENCE:+"$VM_REFERENCE"}; do
    [ -x "$program" ] || die "$program is missing (make check-vm builds it)"
done
cp "$guest_cdemu/cdemu-usb" "$root/test/cdemu-usb"
cp "$guest_cdemu/cdemu-probe-static" "$root/test/cdemu-probe"

# The described discs, numbered in the guest: /discs/N.disc.
disc_count=0
add_disc() { # PATH
    [ $disc_count -lt 64 ] || die "more than 64 discs"
    cp "$1" "$root/discs/$disc_count.disc"
    echo "$1" >"$work/disc-$disc_count.path"
    disc_count=$((disc_count + 1))
}
each_disc add_disc "$top/tests/discs" ${DISCS:+"$DISCS"}
cases_ok || die "the discs above cannot be checked (DISCS: a folder of NAME.disc and NAME.expected, or one NAME.disc)"
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.gz"

# A data disc: one file of 3,000,000 bytes in an ISO 9660 image.
mkdir "$work/files"
head -c 3000000 /dev/zero >"$work/files/data.bin"
genisoimage -quiet -V CDTRACKS -o "$work/disc.iso" "$work/files"
sectors=$(($(stat -c %s "$work/disc.iso") / 2048))
truncate -s 64M "$work/out.img"

# The emulated drive's answers on each disc, for each binary and the probe,
# and the probe on 'empty sr', made here while the guest runs.
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
references() {
    ref=$work/reference
    drive=$work/drive
    ln -s /dev/null "$drive"
    run_case "$ref" empty-probe - - env -i "$cdemu/with-disc" --device "$drive" \
        "$empty_sr" "$cdemu/cdemu-probe" "$drive"
    # (2>/dev/null: the shell's own word on a run that a signal ended.)
    i=0
    while [ $i -lt $disc_count ]; do
        disc=$(absolute "$(cat "$work/disc-$i.path")")
        run_case "$ref" disc-$i.probe - - env -i "$cdemu/with-disc" --device "$drive" \
            "$disc" "$cdemu/cdemu-probe" "$drive"
        run_case "$ref" disc-$i.describe - - env -i "$cdemu/with-disc" --device "$drive" \
            "$disc" "$cdemu/cdemu-probe" --describe "$drive"
        k=0
        for binary in "$@"; do
            run_case "$ref" disc-$i.cdtracks-$k - - env -i "$cdemu/with-disc" --device "$drive" \
                "$disc" "$(absolute "${VM_REFERENCE:-$binary}")" 2>/dev/null
            k=$((k + 1))
        done
        i=$((i + 1))
    done
}
cdemu=$(absolute "$cdemu")
# The empty virtio drive answers as this disc says, in its record too.
empty_sr=$top/tests/discs/empty-sr.disc
[ -f "$empty_sr" ] || die "$empty_sr is missing"
references "$@" &
referencing=$!

# Software emulation by default: it takes seconds, and a /dev/kvm that is
# there is not always one that works (a nested one here hung the guest).
accel=${VM_ACCEL:-tcg}
limit=${VM_TIMEOUT:-$((120 + 5 * disc_count))}
say "booting $package ($accel) with $# cdtracks binaries and $disc_count discs"
status=0
# (romfile=: the devices need no boot firmware of their own.)
limited "$limit" $qemu -M $machine ${cpu:+-cpu $cpu} -nodefaults -no-reboot -display none \
    -accel $accel -m 512 -kernel "$kernel/vmlinuz" -initrd "$work/initrd.gz" \
    -append "console=$console panic=-1 quiet" -serial "file:$work/console.log" \
    -device virtio-scsi-pci,id=scsi,romfile= \
    -drive if=none,id=disc,file="$work/disc.iso",media=cdrom,format=raw,readonly=on \
    -device scsi-cd,drive=disc,bus=scsi.0,scsi-id=0,lun=0 \
    -drive if=none,id=nodisc,media=cdrom \
    -device scsi-cd,drive=nodisc,bus=scsi.0,scsi-id=1,lun=0 \
    -drive if=none,id=out,file="$work/out.img",format=raw -device virtio-blk-pci,drive=out,romfile= ||
    status=$?
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    tail -n 20 "$work/console.log" >&2
    die "the guest did not finish within $limit s"
fi
[ $status -eq 0 ] || die "qemu failed with status $status"
wait $referencing || die "the runs on the emulated drive failed"
referencing=
mkdir "$work/results"
# (An output disk left as it was, all zeros, reads as an empty archive.)
tar -xf "$work/out.img" -C "$work/results" 2>/dev/null && [ -d "$work/results/runs" ] || {
    tail -n 20 "$work/console.log" >&2
    die "the guest wrote no results (kernel or /init failed; its console is above)"
}
runs=$work/results/runs

# The disc's drive must be the first one SDL finds.
grep -q '^sr0 [0-9]*:[0-9]*:0:' "$runs/drives" ||
    die "the disc's drive is not /dev/sr0: $(tr '\n' ' ' <"$runs/drives")"

# cd-discid's reading: "1 150 LEADOUT", lengths counted from 150.
length=$sectors
if [ -n "$native" ]; then
    discid=$(cat "$runs/discid/stdout")
    [ "$(cat "$runs/discid/status")" = 0 ] || die "cd-discid failed in the guest: $(cat "$runs/discid/stderr")"
    leadout=$(echo "$discid" | awk 'NF == 3 && $1 == 1 && $2 == 150 { print $3 }')
    [ -n "$leadout" ] || die "cd-discid read no single-track disc: $discid"
    length=$((leadout - 150))
    [ $length -eq $sectors ] || die "cd-discid reads $length frames, the image has $sectors sectors"
    echo "check-vm: cd-discid reads one track of $length frames"
fi

expect() { expect_case "$runs" "$@"; }

# The records: what the probe printed on the kernel's device, after a first
# line that says where; only the answers are compared. One written in this
# run is compared, not written again: two drives may share it.
kernel_release=$(cat "$runs/kernel")
: >"$work/recorded"
answers() { grep -v '^#' "$1" || true; }
check_record() { # LABEL RUN RECORD
    if [ "$(cat "$2/status")" != 0 ] || [ -s "$2/stderr" ]; then
        case_fail "$1: the probe failed (status $(cat "$2/status")): $(head -n 3 "$2/stderr")"
    elif [ -f "$3" ] && answers "$3" | cmp -s - "$2/stdout"; then
        case_pass
    elif [ -n "$recording" ] && ! grep -qxF "$3" "$work/recorded"; then
        { echo "# cdemu-probe on Linux $kernel_release (make check-vm RECORD=1)"; cat "$2/stdout"; } >"$3"
        echo "$3" >>"$work/recorded"
        say "$1: record written: $3"
        case_pass
    elif [ -f "$3" ]; then
        case_fail "$1: the kernel's answers differ from the record $3 (<):" \
            "$(answers "$3" | diff - "$2/stdout" | head -n 6 | tr '\n' ' ')"
    else
        case_fail "$1: no record $3 (make check-vm RECORD=1 writes it)"
    fi
}

# The probe's description of a disc, normalised: a comment, or a failure,
# reads as none.
described() { # RUN
    [ "$(cat "$1/status")" = 0 ] && "$cdemu/cdemu-probe" --normalise "$1/stdout" 2>/dev/null
}
# A run's standard error, with the device it names as DEVICE.
unplaced() { # RUN
    sed 's|^cdemu-probe: [^:]*: |cdemu-probe: DEVICE: |' "$1/stderr"
}
# check_description LABEL RUN DISC [REFERENCE]: the description the probe
# wrote of DISC through the kernel must be DISC itself, normalised. Where
# DISC makes the drive fail (a fail or header statement, an empty tray's own
# errno), --describe sees it only in part: it must answer as it does on the
# emulated drive, REFERENCE: with the same failure, the device aside.
check_description() {
    want=$("$cdemu/cdemu-probe" --normalise "$3") || { case_fail "$1: cannot read $3"; return; }
    if [ $# -lt 4 ] || ! printf '%s\n' "$want" | grep -vx 'empty sr' | grep -Eq '^(fail|header|empty) '; then
        got=$(described "$2") || got=
        if [ "$got" = "$want" ]; then
            case_pass
        else
            printf '%s\n' "$want" >"$work/want"
            printf '%s\n' "$got" >"$work/got"
            case_fail "$1: the description read back is not the disc's own: status" \
                "$(cat "$2/status"); $(head -n 3 "$2/stderr")" \
                "$(diff "$work/want" "$work/got" | head -n 8 | tr '\n' ' ')"
        fi
        return
    fi
    if [ "$(cat "$2/status")" = "$(cat "$4/status")" ] && [ "$(described "$2")" = "$(described "$4")" ] &&
        [ "$(unplaced "$2")" = "$(unplaced "$4")" ]; then
        case_pass
    else
        case_fail "$1: the description read back is not the emulated drive's: status" \
            "$(cat "$2/status"), not $(cat "$4/status"); $(cat "$2/stderr") $(cat "$4/stderr")"
    fi
}

# QEMU's drive without a medium answers as 'empty sr' describes.
expect_same "$runs" empty-probe "$work/reference/empty-probe" "empty virtio drive: probe, as 'empty sr' says"
check_record "empty virtio drive" "$runs/empty-probe" "${empty_sr%.disc}.probe"
check_description "empty virtio drive: --describe" "$runs/empty-describe" "$empty_sr"

# The data drive described: QEMU's drive says audio status invalid.
printf 'track data 150\nleadout %s\nstatus invalid\n' $((150 + length)) >"$work/data.disc"
check_description "data virtio drive: --describe" "$runs/data-describe" "$work/data.disc"

line="$length
"
n=0
for binary in "$@"; do
    b=cdtracks-$n
    expect $b.no-drive 0 "" ""
    expect $b.default 0 "$line" ""
    expect $b.disc-drive 0 "$line" ""
    expect $b.empty-drive 0 "" ""
    expect $b.missing-device 0 "$line" ""
    expect $b.dev-full 1 "" "cdtracks: write error: No space left on device
"
    expect $b.unprivileged 0 "" ""
    echo "check-vm: $binary: 7 runs checked"
    n=$((n + 1))
done

# cd-discid's reading ("LAST OFFSET... LEADOUT", tracks asked from 1) as
# SDL lists it: tracks FIRST to LAST of the header, at most 99, the last
# running to the lead-out.
discid_listing() { # DISCID FIRST LAST
    echo "$1" | awk -v first="$2" -v last="$3" '{
        n = last - first + 1; if (n > 99) n = 99
        for (k = 0; k < n; k++) {
            next_offset = k + 1 < n ? $(first + k + 2) : $(NF)
            print next_offset - $(first + k + 1)
        }
    }'
}

i=0
while [ $i -lt $disc_count ]; do
    path=$(cat "$work/disc-$i.path")
    name=$(basename "$path" .disc)
    # (cases.sh counts them.)
    # shellcheck disable=SC2154
    failed=$cases_failed
    if [ "$(cat "$runs/disc-$i.attach")" != 0 ]; then
        case_fail "$name: no drive: $(sed "s|/discs/$i.disc|$path|" "$runs/disc-$i.device")"
        i=$((i + 1))
        continue
    fi
    if [ ! -d "$runs/disc-$i.probe" ]; then
        case_fail "$name: no drive appeared for $path; its log ends: $(tail -n 5 "$runs/disc-$i.device")"
        i=$((i + 1))
        continue
    fi
    grep -qx 'disc\|no disc' "$runs/disc-$i.ready" ||
        case_fail "$name: the drive was not ready: $(cat "$runs/disc-$i.ready")"
    expect_same "$runs" disc-$i.probe "$work/reference/disc-$i.probe" "$name: probe"
    check_record "$name" "$runs/disc-$i.probe" "${path%.disc}.probe"
    check_description "$name: --describe" "$runs/disc-$i.describe" "$path" "$work/reference/disc-$i.describe"

    # The header as the kernel read it, for cd-discid, which numbers from 1.
    header=$(sed -n 's/^CDROMREADTOCHDR 0: trk0 \([0-9]*\) trk1 \([0-9]*\)$/\1 \2/p' \
        "$runs/disc-$i.probe/stdout")
    # Where cd-discid fails, SDL lists nothing either; where SDL finds no
    # table (the drive reports an error, say), cd-discid, which does not
    # ask, may still read one; and it cannot read a track 0. A guest of
    # another processor has none.
    discid=$work/disc-$i.discid
    : >"$discid"
    witness=always
    if [ -z "$native" ]; then
        witness=none
    elif [ "$(cat "$runs/disc-$i.discid/status")" = 0 ]; then
        witness=listed
        # shellcheck disable=SC2086
        [ -n "$header" ] && [ "${header% *}" -ge 1 ] &&
            discid_listing "$(cat "$runs/disc-$i.discid/stdout")" $header >"$discid" ||
            witness=none
    fi
    k=0
    for binary in "$@"; do
        run=disc-$i.cdtracks-$k
        expect_same "$runs" $run "$work/reference/$run" "$name: $binary"
        expect_listing "$name: $binary" "$runs/$run/stdout" "$path"
        if [ $witness = always ] || { [ $witness = listed ] && [ -s "$runs/$run/stdout" ]; }; then
            cmp -s "$runs/$run/stdout" "$discid" && case_pass ||
                case_fail "$name: $binary: the listing differs from cd-discid's reading" \
                    "'$(cat "$runs/disc-$i.discid/stdout")':" \
                    "$(diff "$discid" "$runs/$run/stdout" | head -n 6 | tr '\n' ' ')"
        fi
        k=$((k + 1))
    done
    [ $failed = $cases_failed ] && echo "check-vm: $name: the kernel's drivers read it as the emulated drive does"
    i=$((i + 1))
done

cases_summary check-vm
