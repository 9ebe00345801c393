#!/usr/bin/env bash
# Draws, with the simulated port of the Linux build (build/), the way of the
# sample wiring and of one broken wiring into doc/, as doc/port.md shows them.
set -euo pipefail
cd "$(dirname "$0")/.."

# The simulated port only: a build for a real port has it in build/sim/, and
# the library beside the program there would drive the hardware.
port=build/libinpout32.so
[ -e build/sim/libinpout32.so ] && port=build/sim/libinpout32.so
if ! nm -D --defined-only "$port" | grep -qw SetSignalBits; then
  echo "$port is no simulated port; build with: cmake --preset default && cmake --build build" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp build/plottertest "$work/"
cp "$port" "$work/libinpout32.so"

# draw NAME SED-EXPRESSION: the sample wiring changed by the expression.
draw() {
  sed -e "$2" Pinbelegung.txt > "$work/Pinbelegung.txt"
  (cd "$work" && printf '\n' | PLOTTERTEST_PORT_VCD="$work/$1.vcd" ./plottertest > /dev/null 2> "$work/$1.log")
  cp "$work/$1.svg" doc/
  echo "doc/$1.svg: $(grep '^Weg:' "$work/$1.log")"
}

draw weg-beispiel ''
# Line 4, the X direction, on pin 10: not a data line.
draw weg-x-richtung-auf-pin-10 '4s/^3\r$/10\r/'
