#!/bin/sh
# A rebuild, and a new configure, leave the wiring file beside the program as
# the user edited it, also when the sample in the sources is newer.
# Usage: wiring_kept_test.sh SOURCE_DIR
set -eu
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
build="$scratch/build"

cmake -S "$source_dir" -B "$build" -DPLOTTERTEST_TESTS=OFF > "$scratch/log" 2>&1
cmake --build "$build" --target sample_wiring >> "$scratch/log" 2>&1
cmp "$source_dir/Pinbelegung.txt" "$build/Pinbelegung.txt"

printf 'Pin X-Achse Schritt\r\n9\r\n' > "$scratch/edited"
cp "$scratch/edited" "$build/Pinbelegung.txt"
touch -d 2001-01-01 "$build/Pinbelegung.txt"
cmake -S "$source_dir" -B "$build" >> "$scratch/log" 2>&1
cmake --build "$build" --target sample_wiring >> "$scratch/log" 2>&1
if ! cmp "$scratch/edited" "$build/Pinbelegung.txt"; then
  echo "FAILED: the rebuild replaced the edited Pinbelegung.txt"
  exit 1
fi
echo "the edited wiring file survived the rebuild"
