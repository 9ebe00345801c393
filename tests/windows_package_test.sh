#!/bin/sh
# The Windows zip as a user unpacks it: one folder with the program, the
# sample wiring, the guide and the licence (CR LF), the simulated DLL in Simulation/
# only, and a program file whose resources carry the manifest and the version.
# Usage: windows_package_test.sh WINDOWS_BUILD VERSION
set -eu
version=$2
if [ ! -f "$1/plottertest.exe" ] || ! command -v i686-w64-mingw32-objdump > /dev/null; then
  echo "skipped: no Windows build in $1, or no MinGW-w64 binutils"
  exit 77
fi
build=$(cd "$1" && pwd)
. "$(dirname "$0")/scratch.sh"

build_target "$build" package
(cd "$scratch" && cmake -E tar xf "$build/plottertest-$version-win32.zip")
top="$scratch/plottertest-$version-win32"
listing=$(cd "$top" && find . ! -type d | sort | tr '\n' ' ')
[ "$listing" = "./LICENSE.txt ./LIESMICH.txt ./Pinbelegung.txt ./Simulation/inpout32.dll ./plottertest.exe " ] ||
  fail "the zip holds $listing"
cr=$(printf '\r')
for text in LICENSE.txt LIESMICH.txt Pinbelegung.txt; do
  lines=$(wc -l < "$top/$text")
  [ "$lines" -gt 0 ] && [ "$(grep -c "$cr\$" "$top/$text")" -eq "$lines" ] || fail "$text has lines without CR LF"
done

exe="$top/plottertest.exe"
resources=$(i686-w64-mingw32-objdump -p "$exe" | sed -n '/The .rsrc Resource Directory/,/Resources start/p')
for entry in "ID: 0x000010" "ID: 0x000018" "ID: 0x000407"; do  # RT_VERSION, RT_MANIFEST, German
  echo "$resources" | grep -q "Entry: $entry" || fail "no resource entry $entry in: $resources"
done
for part in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' 'level="asInvoker"' '>true/pm<' \
  '>PerMonitorV2<' '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
  grep -q -a -F "$part" "$exe" || fail "the manifest lacks $part"
done
# The version strings are UTF-16.
info=$(strings -el "$exe")
for pair in "FileVersion $version" "ProductVersion $version" "ProductName plottertest"; do
  echo "$info" | grep -A1 -x "${pair% *}" | tail -n1 | grep -q -x "${pair#* }" || fail "no $pair"
done
LC_ALL=C grep -q -a -P 'T\x00e\x00s\x00t\x00f\x00a\x00h\x00r\x00t\x00 \x00f\x00\xfc\x00r\x00' "$exe" ||
  fail "no German FileDescription"
echo "the zip of plottertest $version holds what it should"
