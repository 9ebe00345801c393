#!/usr/bin/env bash
# The ppdev port library against the real kernel driver. A stock Debian kernel
# boots under QEMU (plain emulation, no KVM) on a PC with ISA parallel ports
# at 0x378 and 0x278, loads its own parport, parport_pc and ppdev modules, and
# runs the built program with that library in several cases. QEMU's trace of
# memory_region_ops_write shows every byte written to the ports' registers
# with its I/O address. Each case is framed by a byte written to 0x37F (base
# + 7, which the emulated port ignores) through /dev/port, which keeps the
# driver's own probe writes apart from the program's.
#
# Last, it runs the priority tests' rows that the build machine may skip.
# Usage: kernel_test.sh BUILD_DIR PROGRAM PORT_LIBRARY PRIORITY_TESTS
# Exit status 77 (skipped) when QEMU, a static busybox or the kernel cannot be had.
set -euo pipefail
build=$(cd "$1" && pwd)
program=$2
library=$3
priority_tests=$4
cache="$build/kernel-cache"  # the kernel and three modules, about 8 MB, kept between runs
skip() {
  echo "skipped: $*"
  exit 77
}

command -v qemu-system-x86_64 > /dev/null || skip "qemu-system-x86_64 is not installed (scripts/install-deps.sh)"
busybox=/bin/busybox
[ -x "$busybox" ] && ! ldd "$busybox" > /dev/null 2>&1 || skip "no static busybox in /bin (busybox-static)"

if [ ! -f "$cache/vmlinuz" ]; then
  work=$(mktemp -d)  # the package unpacked: about 470 MB
  trap 'rm -rf "$work"' EXIT
  package() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }'; }
  name=$(package)
  [ -n "$name" ] || { apt-get update -q > /dev/null 2>&1 || true; name=$(package); }
  [ -n "$name" ] || skip "apt-cache knows no linux-image-amd64"
  (cd "$work" && apt-get download "$name" > /dev/null 2>&1) || skip "apt-get download $name failed"
  dpkg-deb -x "$work"/*.deb "$work/unpacked"
  mkdir -p "$work/cache"
  cp "$work"/unpacked/boot/vmlinuz-* "$work/cache/vmlinuz"
  for module in parport parport_pc ppdev; do
    # /lib/modules on Debian 12, /usr/lib/modules on Debian 13.
    file=$(find "$work/unpacked" -path "*/lib/modules/*" -name "$module.ko*" | head -n1)
    case "$file" in
      *.ko) cat "$file" ;;
      *.ko.xz) xz -dc "$file" ;;
      *.ko.zst) zstd -dc "$file" ;;
      *.ko.gz) gzip -dc "$file" ;;
      *) skip "$name has no module $module" ;;
    esac > "$work/cache/$module.ko"
  done
  rm -rf "$cache"
  mv "$work/cache" "$cache"
  rm -rf "$work"
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
mkdir -p "$root/bin" "$root/dev" "$root/proc" "$root/sys" "$root/modules"
cp "$busybox" "$root/bin/busybox"
cp "$cache"/*.ko "$root/modules/"
cp "$priority_tests" "$root/priority_tests"
for lib in $(ldd "$program" "$library" "$priority_tests" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\/.*[^:]$/ { print $1 }' | sort -u); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done

# Y on pins 2/3 (bits 1, 2), X on pins 4/5 (bits 4, 8).
# A third argument: a stop input's value, "PIN LEVEL", after line 24.
wiring() {
  printf '%s\r\n' "X Schritt" 4 "X Richtung" 5 "X Faktor" 80 "Y Schritt" 2 "Y Richtung" 3 "Y Faktor" 80 \
    "Z Schritt" 6 "Z Richtung" 7 "Z Faktor" 400 Bemerkung Test Portadresse "$1" Schritte "$2"
  [ -z "${3:-}" ] || printf '%s\r\n' "Endschalter X rechts" "$3"
}
# QEMU's port holds its status register at BUSY, ACK, SELECT and ERROR set
# (hw/char/parallel.c): pin 11 reads 0 at the connector, as BUSY is
# inverted, pin 12 0 and pins 10, 13 and 15 1.
cases=(three_steps second_port no_port zero_steps interrupted second_copy input_active input_inactive)
addresses=(888 0x278 0x3BC 888 888 888 888 888)
steps=(3 3 3 0 100 100 3 3)
inputs=("" "" "" "" "" "" "11 0" "11 1")
for i in "${!cases[@]}"; do
  dir="$root/cases/${cases[$i]}"
  mkdir -p "$dir"
  cp "$program" "$dir/plottertest"
  cp "$library" "$dir/libinpout32.so"
  wiring "${addresses[$i]}" "${steps[$i]}" "${inputs[$i]}" > "$dir/Pinbelegung.txt"
  echo > "$dir/answers"
done

cat > "$root/init" << 'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in parport parport_pc ppdev; do insmod /modules/$module.ko || echo "PLOTTERTEST insmod $module failed"; done
mark() { printf '\252' | dd of=/dev/port bs=1 seek=895 count=1 conv=notrunc 2> /dev/null; }
for case in $(ls /cases); do
  cd /cases/$case
  mark
  if [ $case = interrupted ] || [ $case = second_copy ]; then
    ./plottertest < answers > drive 2>&1 &
    # The drive has begun once the ppdev library holds the port, at its first
    # write; emulation may take its time to get there.
    for try in $(seq 300); do
      ls -l /proc/$!/fd 2> /dev/null | grep -q parport && break
      sleep 0.1
    done
    # Fields 40 and 41 of stat: the real-time priority and the policy (SCHED_RR 2).
    echo "PLOTTERTEST $case scheduling $(awk '{ print $41, $40 }' /proc/$!/stat)"
    # A second copy meanwhile: ppdev's exclusive claim refuses it before it writes anything.
    [ $case = second_copy ] && { ./plottertest < answers > out 2>&1; echo $? > second; }
    kill -INT $!
    wait $!
    status=$?
    [ $case = second_copy ] && status=$(cat second) || mv drive out
  else
    ./plottertest < answers > out 2>&1
    status=$?
  fi
  mark
  echo "PLOTTERTEST $case status $status"
  sed "s/^/PLOTTERTEST $case: /" out
done
# The priority tests' rows for a user whom RLIMIT_RTPRIO allows a real-time
# class: root here may raise that limit, where the build machine's may not.
/priority_tests --gtest_filter='*RTPRIO*' > /priority.out 2>&1
echo "PLOTTERTEST priority status $?"
sed "s/^/PLOTTERTEST priority: /" /priority.out
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | "$busybox" cpio -o -H newc > "$scratch/initrd" 2> /dev/null)

# 512 MB: the initrd, a copy of the program and its library for each case, is unpacked into RAM.
timeout 300 qemu-system-x86_64 -accel tcg -m 512 -nographic -no-reboot -kernel "$cache/vmlinuz" \
  -initrd "$scratch/initrd" -append 'console=ttyS0 quiet panic=-1' \
  -parallel "file:$scratch/lpt1" -parallel "file:$scratch/lpt2" \
  -trace memory_region_ops_write -D "$scratch/trace.log" < /dev/null > "$scratch/console.log" 2>&1 || {
  cat "$scratch/console.log"
  echo "FAILED: QEMU did not end by itself"
  exit 1
}

# "case address:value ..." of the data registers, per case, in the order `ls` ran them.
ran=($(ls "$root/cases"))
awk -v names="${ran[*]}" '
  BEGIN { split(names, name, " ") }
  /name .parallel./ && match($0, /addr 0x[0-9a-f]+ value 0x[0-9a-f]+/) {
    split(substr($0, RSTART, RLENGTH), field, " ")
    address = substr(field[2], 3); value = substr(field[4], 3)
    if (address == "37f") { marks++; next }
    if (marks % 2 == 1 && (address == "378" || address == "278")) writes[name[(marks + 1) / 2]] = writes[name[(marks + 1) / 2]] " " address ":" value
  }
  END { print "marks", marks; for (n in name) print name[n] writes[name[n]] }' "$scratch/trace.log" > "$scratch/writes"

failed=0
check() {  # case, what, expected, actual
  if [ "$3" != "$4" ]; then
    echo "FAILED: $1: $2: expected \"$3\", got \"$4\""
    failed=1
  fi
}
writes() { awk -v c="$1" '$1 == c { $1 = ""; print substr($0, 2) }' "$scratch/writes"; }
status() { sed -n "s/^PLOTTERTEST $1 status \([0-9]*\).*/\1/p" "$scratch/console.log"; }
pulses() {  # address, steps, then per side "first low pattern": what the drive writes
  local address=$1 count=$2 out="" first low pattern
  shift 2
  for side in "$@"; do
    read -r first low pattern <<< "$side"
    for ((k = 0; k < count; k++)); do out+="$address:$([ "$k" -eq 0 ] && echo "$first" || echo "$low") $address:$pattern "; done
  done
  echo "$out$address:0"
}
# Each pulse first switches only the step lines off; the directions stand through the step edges.
sides=("2 2 3" "a 8 c" "8 0 1" "0 0 4")

check all "marks around the cases" "marks $((2 * ${#ran[@]}))" "$(grep '^marks' "$scratch/writes")"
check three_steps "writes" "$(pulses 378 3 "${sides[@]}")" "$(writes three_steps)"
check three_steps "status" 0 "$(status three_steps)"
said() { sed -n "s/^PLOTTERTEST $1: //p" "$scratch/console.log" | tr -d '\r'; }
# The real driver reads back every value it was written (PPRDATA).
for case in three_steps second_port; do
  said "$case" | grep -q -x -F "Fertig: 12 Schritte gefahren, alle Datenleitungen auf 0; alle 25 Werte vom Port zurückgelesen." ||
    { echo "FAILED: $case: no word that every value was read back"; failed=1; }
done
check second_port "writes" "$(pulses 278 3 "${sides[@]}")" "$(writes second_port)"
check second_port "status" 0 "$(status second_port)"
check no_port "writes" "" "$(writes no_port)"
check no_port "status" 1 "$(status no_port)"
for port in "an 0x378 (888)" "an 0x278 (632)"; do
  grep "PLOTTERTEST no_port: .*Vorhandene Parallelports: " "$scratch/console.log" | grep -q -F "$port" ||
    { echo "FAILED: no_port: the message does not list the port $port"; failed=1; }
done
check zero_steps "writes" "378:0" "$(writes zero_steps)"
check zero_steps "status" 0 "$(status zero_steps)"
interrupted=$(writes interrupted)
check interrupted "status" 130 "$(status interrupted)"
check interrupted "last write" "378:0" "${interrupted##* }"
[ "$(echo "$interrupted" | wc -w)" -lt 801 ] || { echo "FAILED: interrupted: the drive ran to its end"; failed=1; }
scheduling() { sed -n "s/^PLOTTERTEST $1 scheduling \([0-9]* [0-9]*\).*/\1/p" "$scratch/console.log"; }
check interrupted "policy and priority as root" "2 10" "$(scheduling interrupted)"
check priority "status" 0 "$(status priority)"
check priority "rows run" "[  PASSED  ] 2 tests." "$(tr -d '\r' < "$scratch/console.log" | sed -n 's/^PLOTTERTEST priority: \(\[  PASSED  \]\)/\1/p')"
# The status lines through PPRSTATUS, as QEMU holds them, at every read of the drive.
check three_steps "inputs at the end" "Eingänge:|Pin 10 (ACK): 1|Pin 11 (BUSY): 0|Pin 12 (PAPER-OUT): 0|Pin 13 (SELECT): 1|Pin 15 (ERROR): 1" \
  "$(said three_steps | sed -n '/^Eingänge:/,/^Pin 15/p' | paste -sd '|')"
check input_active "writes" "" "$(writes input_active)"
check input_active "status" 3 "$(status input_active)"
said input_active | grep -q -F "Fahrt nicht begonnen: Endschalter X rechts (Pin 11) liest 0, hält an bei 0." ||
  { echo "FAILED: input_active: no word why the drive did not begin"; failed=1; }
check input_inactive "writes" "$(pulses 378 3 "${sides[@]}")" "$(writes input_inactive)"
check input_inactive "status" 0 "$(status input_inactive)"
check second_copy "status of the second copy" 1 "$(status second_copy)"
grep "PLOTTERTEST second_copy: " "$scratch/console.log" | grep -q "wird von einem anderen Treiber oder Programm benutzt" ||
  { echo "FAILED: second_copy: the second copy does not say that the port is in use"; failed=1; }

if [ "$failed" -ne 0 ]; then
  echo "--- console"
  cat "$scratch/console.log"
  echo "--- data register writes"
  cat "$scratch/writes"
  exit 1
fi
echo "the ppdev library drove the emulated ports as the wiring files say ($(echo "$interrupted" | wc -w) writes before the interruption)"
