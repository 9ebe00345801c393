#!/usr/bin/env bash
# Draws, with the simulated port of the Linux build (build/), the way of the
# sample wiring and of one broken wiring into doc/, as the README shows them.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp build/plottertest build/libinpout32.so "$work/"

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
