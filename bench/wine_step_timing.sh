#!/usr/bin/env bash
# Step timing of the Windows program under Wine: 100 steps a side on the
# simulated inpout32.dll, confirmed with xdotool on a virtual display; the
# pauses come from the DLL's write log (nanoseconds of the performance
# counter, taken inside Out32), which build/bench/step_timing reads.
#
#   bench/wine_step_timing.sh [WINDOWS_BUILD [WINE_LOADER]]
#   (default: build-windows-x64 under /usr/lib/wine/wine64; the Linux build's
#   build/bench/step_timing reads the log)
set -euo pipefail
build=$(cd "${1:-build-windows-x64}" && pwd)
loader=${2:-/usr/lib/wine/wine64}
bench=$(cd "$(dirname "$0")/.." && pwd)/build/bench/step_timing
[ -x "$bench" ] || { echo "wine_step_timing.sh: $bench is missing; build it with cmake --build build" >&2; exit 2; }
dir=$(mktemp -d)
trap 'WINEDEBUG=-all wineserver --kill 2>/dev/null || true; kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$dir"' EXIT

cp "$build/plottertest.exe" "$build/inpout32.dll" "$dir/"
sed '24s/.*/100\r/' "$(dirname "$0")/../Pinbelegung.txt" > "$dir/Pinbelegung.txt"
export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
case "$loader" in *64) export WINEARCH=win64 ;; esac
# Without randomness in its address space where the system allows it: Debian's
# Wine has no preloader, and a heap the kernel puts over Windows' shared page
# (0x7ffe0000) ends a start in Wine's loader (tests/wine_support.cpp).
fixed=()
setarch -R true 2>/dev/null && fixed=(setarch -R)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$dir/display" 2>/dev/null &
xvfb=$!
while [ ! -s "$dir/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$dir/display")"

windows_dir="Z:${dir//\//\\}"
# The program's CPU time (user and system, Wine's start-up included, wineserver
# not) is what `times` reports of the subshell's children once it has ended.
(
  PLOTTERTEST_PORT_LOG="$windows_dir\\log" PLOTTERTEST_PORT_VCD="$windows_dir\\trace.vcd" \
    "${fixed[@]}" "$loader" "$dir/plottertest.exe" 2> "$dir/stderr"
  times > "$dir/cpu"
) &
program=$!
box=$(timeout 120 xdotool search --sync --onlyvisible --name '^Tormal fahren$' | head -n1)
xdotool windowfocus --sync "$box" key Return
# A step that came late brings a box after the drive; it is answered, once a
# second being often enough to cost the pauses nothing. Then the window that
# shows the drive's end is closed, as a user closes it.
while kill -0 "$program" 2>/dev/null; do
  late=$(xdotool search --onlyvisible --name '^Testfahrt: Schritte zu spät$' 2>/dev/null | head -n1 || true)
  [ -n "$late" ] && xdotool windowfocus --sync "$late" key Return
  ended=$(xdotool search --onlyvisible --name '^Testfahrt beendet$' 2>/dev/null | head -n1 || true)
  [ -z "$late" ] && [ -n "$ended" ] && xdotool windowfocus --sync "$ended" key Return
  sleep 1
done
wait "$program"

# The pauses as build/bench/step_timing measures them, from the same log.
"$bench" --log "$dir/log" "unter Wine"
# What the drive read back: the simulated DLL counts its reads, of the data
# register one before the first write and one after each, of the inputs one
# before the first write and one in every later pause (the window, which says
# it, is gone by now).
reads=$(sed -n 's/^Simulierter Parallelport: [0-9]* Schreibzugriffe, \([0-9]*\) Lesezugriffe\.\r*$/\1/p' "$dir/stderr")
echo "  Rücklesen: ${reads:-0} Lesezugriffe des Ports (Daten- und Statusregister)"
drive_ms=$(awk 'NR == 1 { first = $3 } { last = $3 } END { print (last - first) / 1e6 }' "$dir/log")
# times prints e.g. "0m1.234s 0m0.056s" for user and system.
cpu_s=$(tail -n1 "$dir/cpu" | sed 's/\([0-9]*\)m\([0-9.]*\)s/\1 \2/g' | awk '{ print $1 * 60 + $2 + $3 * 60 + $4 }')
awk -v drive="$drive_ms" -v cpu="$cpu_s" 'BEGIN {
  printf "  CPU-Zeit: %.2f s mit dem Start von Wine, %.0f %% der Fahrt\n", cpu, 100 * cpu * 1000 / drive
}'
