#!/usr/bin/env bash
# The real-kernel stage: boots Debian's own kernel (linux-image-amd64) in QEMU from an initramfs
# built here and runs the built drivewright in it against drives that the kernel itself drives:
# QEMU's scsi-cd behind virtio-scsi, an LSI 53C895A and a USB mass-storage bridge, an ide-cd on
# the AHCI controller, and the kernel's scsi_debug module as a CD-ROM drive, built from the
# kernel's own source with tests/kernel/scsi_debug-write-buffer.patch (a switch for the unit
# attentions it raises after a mode-4 WRITE BUFFER, and a log line for each WRITE BUFFER).
#
#   bash tests/kernel/run.sh
#
# Prints one line per check ("PASS name" or "FAIL name: why"), then "N passed, N failed"; exits
# non-zero on any failure. Everything it needs comes from scripts/install-deps.sh. Files go to
# build/kernel/ (the serial log: build/kernel/serial.log); the built module and the initramfs
# part made of modules and busybox are kept there, so a second run only boots. KVM is used when a
# short probe boot with it ends in time, plain emulation (TCG) otherwise; DRIVEWRIGHT_KERNEL_ACCEL
# =tcg or =kvm chooses. DRIVEWRIGHT_KERNEL_PROGRAM runs another build of the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/tests/kernel
work=$root/build/kernel
program=${DRIVEWRIGHT_KERNEL_PROGRAM:-$root/build/native/drivewright}
mkimage=$root/build/native/mkimage
boot_seconds=${DRIVEWRIGHT_KERNEL_TIMEOUT:-600}
mkdir -p "$work"

die() {
  echo "FAIL kernel-stage: $*"
  echo "0 passed, 1 failed"
  exit 1
}

# --- The kernel: the image linux-image-amd64 points to, its modules, headers and source -------
image_package=$(dpkg-query -W -f='${Depends}' linux-image-amd64 2>/dev/null | sed 's/[ ,(].*//') ||
  die "linux-image-amd64 is not installed (scripts/install-deps.sh installs it)"
kver=${image_package#linux-image-}
image_version=$(dpkg-query -W -f='${Version}' "$image_package")
source_package=linux-source-$(echo "$kver" | cut -d. -f1,2)
source_version=$(dpkg-query -W -f='${Version}' "$source_package" 2>/dev/null) || source_version=none
kernel=/boot/vmlinuz-$kver
modules=/lib/modules/$kver
headers=/usr/src/linux-headers-$kver
tarball=/usr/src/$source_package.tar.xz
for f in "$kernel" "$modules/modules.dep" "$headers/Makefile" "$tarball" "$program" "$mkimage"; do
  [ -e "$f" ] || die "$f is missing (scripts/install-deps.sh, then scripts/build.sh)"
done
[ "$source_version" = "$image_version" ] ||
  die "$source_package is $source_version, the kernel image $image_version: the module must be built from the image's own source"
for tool in qemu-system-x86_64 busybox cpio make gcc modprobe xorriso; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done

# --- The patched scsi_debug, built out of tree against the image's headers ---------------------
patch_file=$here/scsi_debug-write-buffer.patch
module_dir=$work/scsi_debug-$kver-$image_version-$(sha256sum "$patch_file" | cut -c1-12)
if [ ! -f "$module_dir/scsi_debug.ko" ]; then
  rm -rf "$module_dir" "$work/source"
  mkdir -p "$work/source" "$module_dir"
  # The module's own file and the two headers it includes from its folder.
  tar -xJf "$tarball" -C "$work/source" --strip-components=1 \
    "$source_package/drivers/scsi/scsi_debug.c" "$source_package/drivers/scsi/sd.h" \
    "$source_package/drivers/scsi/scsi_logging.h"
  (cd "$work/source" && patch -s -p1 <"$patch_file")
  cp "$work/source/drivers/scsi/"{scsi_debug.c,sd.h,scsi_logging.h} "$module_dir/"
  echo 'obj-m := scsi_debug.o' >"$module_dir/Kbuild"
  make -s -C "$headers" M="$module_dir" modules >"$module_dir/build.log" 2>&1 ||
    die "scsi_debug did not build: $(tail -n 5 "$module_dir/build.log")"
fi
magic=$(modinfo -F vermagic "$module_dir/scsi_debug.ko")
[ "${magic%% *}" = "$kver" ] || die "the built scsi_debug carries vermagic '$magic', not $kver"

# --- The initramfs: a cached part (busybox, the kernel's modules, the built module) and a part
# made for each run (init, the program and its libraries, setpriv, the upgrade images) ---------
wanted_modules=(sg sr_mod virtio_scsi virtio_pci sym53c8xx usb-storage xhci_pci ahci isofs
  crc-t10dif crct10dif_generic)
modules_key=$(echo "${wanted_modules[*]}" | sha256sum | cut -c1-8)
base=$work/base-$(basename "$module_dir")-$modules_key.cpio.gz
if [ ! -f "$base" ]; then
  tree=$work/base-tree
  rm -rf "$tree"
  mkdir -p "$tree/bin" "$tree/modules"
  cp "$(command -v busybox)" "$tree/bin/busybox"
  ln -s busybox "$tree/bin/sh"
  # Each module after those it needs, as modprobe would load them.
  for m in "${wanted_modules[@]}"; do modprobe -S "$kver" --show-depends "$m"; done |
    awk '$1 == "insmod" { print $2 }' | awk '!seen[$0]++' >"$work/module-paths"
  : >"$tree/modules/order"
  while read -r path; do
    name=$(basename "$path")
    cp "$path" "$tree/modules/$name"
    echo "$name" >>"$tree/modules/order"
  done <"$work/module-paths"
  cp "$module_dir/scsi_debug.ko" "$tree/modules/scsi_debug.ko"
  (cd "$tree" && find . | sort | cpio -o -H newc --quiet | gzip -1) >"$base.part"
  mv "$base.part" "$base"
fi

run=$work/run-tree
rm -rf "$run"
mkdir -p "$run/opt/dw"
# A program and the libraries it links, at the paths the dynamic loader looks for them.
copy_with_libraries() {
  local binary=$1 target=$2
  cp "$binary" "$run$target"
  ldd "$binary" | awk '/=> \// { print $3 } /^\t\/lib/ { print $1 }' | while read -r lib; do
    mkdir -p "$run$(dirname "$lib")"
    cp -L "$lib" "$run$lib"
  done
}
copy_with_libraries "$program" /opt/dw/drivewright
strip --strip-debug "$run/opt/dw/drivewright"  # the same program, without its debugging data
copy_with_libraries "$(command -v setpriv)" /opt/dw/setpriv
cp "$here/guest-init.sh" "$run/init"
chmod 755 "$run/init"
"$mkimage" --row "CD-ROM KV-62TS" --size 131072 --version 1.10 "$run/opt/dw/kv62ts-110.bin" >/dev/null
"$mkimage" --row "CD-ROM KV-62TS" --size 131072 --version 1.10 --break checksum \
  "$run/opt/dw/broken.bin" >/dev/null
(cd "$run" && find . | sort | cpio -o -H newc --quiet) >"$work/run.cpio"
# The uncompressed part first: the kernel reads on past it into the compressed one.
cat "$work/run.cpio" "$base" >"$work/initramfs.img"

# A disc to mount: an ISO 9660 image with one file.
mkdir -p "$work/disc"
echo "a data disc" >"$work/disc/readme.txt"
xorriso -as mkisofs -quiet -V DWTEST -o "$work/disc.iso" "$work/disc" 2>/dev/null

# --- The machine ------------------------------------------------------------------------------
korvane() { echo "vendor=KORVANE,product=CD-ROM KV-62TS,ver=$1"; }
boot() {
  local accel=$1 seconds=$2 log=$3 extra=$4
  rm -f "$log" "$work/qemu-trace.log"
  timeout -k 5 "$seconds" qemu-system-x86_64 -M q35 -accel "$accel" -cpu max -m 512 -smp 1 \
    -nodefaults -no-reboot -display none -monitor none -serial "file:$log" \
    -kernel "$kernel" -initrd "$work/initramfs.img" \
    -append "console=ttyS0 loglevel=3 panic=-1 $extra" \
    -trace "enable=scsi_req_parsed,file=$work/qemu-trace.log" \
    -device virtio-scsi-pci,id=vscsi \
    -drive "if=none,id=disc,file=$work/disc.iso,format=raw,media=cdrom,readonly=on" \
    -device "scsi-cd,bus=vscsi.0,scsi-id=1,drive=disc,$(korvane 1.01)" \
    -drive "if=none,id=disc2,file=$work/disc.iso,format=raw,media=cdrom,readonly=on" \
    -device lsi53c895a,id=lsi \
    -device "scsi-cd,bus=lsi.0,scsi-id=2,drive=disc2,$(korvane 1.02)" \
    -drive "if=none,id=disc3,file=$work/disc.iso,format=raw,media=cdrom,readonly=on" \
    -device qemu-xhci,id=xhci \
    -device usb-bot,bus=xhci.0,id=bot \
    -device "scsi-cd,bus=bot.0,scsi-id=0,lun=0,drive=disc3,$(korvane 1.03)" \
    -device ide-cd,bus=ide.0 \
    >"$work/qemu-$accel.out" 2>&1
}

accel=${DRIVEWRIGHT_KERNEL_ACCEL:-}
if [ -z "$accel" ]; then
  accel=tcg
  # /dev/kvm may open where a nested guest never runs: only a boot that ends in time counts.
  if [ -r /dev/kvm ] && [ -w /dev/kvm ] && boot kvm 60 "$work/probe.log" dwprobe &&
    grep -q 'dw-probe: booted' "$work/probe.log"; then
    accel=kvm
  fi
fi

start=$(date +%s)
boot "$accel" "$boot_seconds" "$work/serial.log" "" || true
seconds=$(($(date +%s) - start))
[ -f "$work/serial.log" ] || : >"$work/serial.log"

# --- The results: the guest's lines, and what QEMU saw the drives receive ---------------------
passed=0
failed=0
result() {
  if [ "$1" = PASS ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  echo "$1 $2"
}
while IFS= read -r line; do
  case $line in
    "dw-check: PASS "*) result PASS "${line#dw-check: PASS }" ;;
    "dw-check: FAIL "*) result FAIL "${line#dw-check: FAIL }" ;;
  esac
done < <(tr -d '\r' <"$work/serial.log")

if grep -q 'dw-check: done' "$work/serial.log"; then
  result PASS "guest-ran-to-its-end"
else
  result FAIL "guest-ran-to-its-end: not within ${boot_seconds}s (${seconds}s; see $work/serial.log):\
 $(tr -d '\r' <"$work/serial.log" | tail -n 3 | tr '\n' ' ') QEMU: $(tail -n 2 "$work/qemu-$accel.out")"
fi

# WRITE BUFFER (opcode 0x3B, 59) as QEMU parsed it, by SCSI target: 1 is the virtio drive with
# the mounted disc, 2 the drive behind the LSI adapter.
write_buffers_to() {
  grep -c "scsi_req_parsed target $1 lun 0 tag [0-9]* command 59 " "$work/qemu-trace.log" || true
}
# chunks_to_target CHECK TARGET WANTED: where the guest ran CHECK, the drive at TARGET received
# WANTED WRITE BUFFER commands.
chunks_to_target() {
  grep -q "dw-check: $1 ran" "$work/serial.log" || return 0
  local n
  n=$(write_buffers_to "$2")
  if [ "$n" -eq "$3" ]; then
    result PASS "$1: $3 WRITE BUFFER"
  else
    result FAIL "$1: the drive received $n WRITE BUFFER, not $3"
  fi
}
chunks_to_target mounted-disc-refused 1 0
chunks_to_target refused-write-buffer-lsi 2 1

echo "kernel $kver ($image_version), $accel, guest run ${seconds}s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
