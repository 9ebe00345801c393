#!/usr/bin/env bash
# Shows the Windows program's window „Testfahrt vorbereiten“ with the sample
# wiring under Wine on a virtual screen, photographs it with its confirmation
# box into a PNG, as the README and doc/windows.md show it, and answers the box with Cancel:
# nothing is ever written. The program lies in a folder of its own beside the
# simulated inpout32.dll of the Windows build, never beside a real port
# library: the 32-bit program users get (build-windows/) where Wine can run
# it, else the 64-bit test build (build-windows-x64/) under wine64.
#   scripts/draw-window.sh [DPI [PNG [SCREEN]]]
#   96 dpi, doc/fenster-testfahrt-vorbereiten.png and a screen of 1024x768 by
#   default; e.g. 144 doc/fenster-144-dpi.png, or 120 doc/fenster-800x600-120-dpi.png 800x600
set -euo pipefail
cd "$(dirname "$0")/.."
dpi=${1:-96}
png=${2:-doc/fenster-testfahrt-vorbereiten.png}
size=${3:-1024x768}
build=build-windows
wine=wine
if ! wine --version > /dev/null 2>&1 || [ ! -f "$build/plottertest.exe" ]; then
  build=build-windows-x64
  wine=/usr/lib/wine/wine64
  export WINEARCH=win64
fi
if ! grep -aq SimulatedPortFiles "$build/inpout32.dll"; then
  echo "$build/inpout32.dll is no simulated port; build with: cmake --preset windows && cmake --build $build" >&2
  exit 1
fi
work=$(mktemp -d)
display=
cleanup() {
  [ -n "$display" ] && kill "$display" 2>/dev/null
  WINEPREFIX="$work/prefix" wineserver --kill 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/program"
cp "$build/plottertest.exe" "$build/inpout32.dll" "$work/program/"
cp Pinbelegung.txt "$work/program/"

# Its own display, whose process alone is ended afterwards, never another run's.
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3> "$work/display" 2>/dev/null &
display=$!
while [ ! -s "$work/display" ]; do
  kill -0 "$display" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
number=$(cat "$work/display")
export DISPLAY=":$number" WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=C.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
$wine wineboot --init > /dev/null 2>&1
$wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f > /dev/null 2>&1
wineserver --wait
# In a Wine desktop of its own, which draws the windows' frames and titles as Windows does.
$wine explorer /desktop=plottertest,"$size" "$work/program/plottertest.exe" > /dev/null 2>&1 &
program=$!
for _ in $(seq 300); do
  desktop=$(xdotool search --onlyvisible --name '^plottertest - Wine' 2>/dev/null | head -n1) && [ -n "$desktop" ] && break
  sleep 0.1
done
[ -n "${desktop:-}" ] || { echo "the Wine desktop did not appear" >&2; exit 1; }
# The window opens, then the box beside its picture.
sleep "${SETTLE:-6}"
import -window root "$work/screen.png"
# Only what is drawn: the desktop's empty background cut away.
convert "$work/screen.png" -fuzz 2% -trim +repage -bordercolor '#3a6ea5' -border 16 "$png"
xdotool windowfocus --sync "$desktop" key Escape
wait "$program"
echo "$png: $(identify -format %wx%h "$png") at $dpi dpi on a screen of $size"
