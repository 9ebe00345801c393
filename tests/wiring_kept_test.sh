#!/bin/sh
# A rebuild, and a new configure, leave the wiring file beside the program as
# the user edited it, also when the sample in the sources is newer.
# Usage: wiring_kept_test.sh SOURCE_DIR
set -eu
source_dir=$1
. "$(dirname "$0")/scratch.sh"
build="$scratch/build"

cmake -S "$source_dir" -B "$build" -DPLOTTERTEST_TESTS=OFF > "$scratch/log" 2>&1
build_target "$build" sample_wiring
cmp "$source_dir/Pinbelegung.txt" "$build/Pinbelegung.txt"

printf 'Pin X-Achse Schritt\r\n9\r\n' > "$scratch/edited"
cp "$scratch/edited" "$build/Pinbelegung.txt"
touch -d 2001-01-01 "$build/Pinbelegung.txt"
cmake -S "$source_dir" -B "$build" >> "$scratch/log" 2>&1
build_target "$build" sample_wiring
cmp -s "$scratch/edited" "$build/Pinbelegung.txt" || fail "the rebuild replaced the edited Pinbelegung.txt"
echo "the edited wiring file survived the rebuild"
