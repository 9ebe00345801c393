#!/bin/sh
# The Linux archive, the installation and the Debian package, as a user gets
# them: the archive unpacked anywhere drives on the simulated port and says its
# version; cmake --install gives PREFIX/bin/plottertest, which finds its wiring,
# a second install keeps the wiring the user edited, and a staged install
# (DESTDIR) lays every file once; the Debian package passes lintian without an
# error and its menu entry passes desktop-file-validate. Installing the package
# is debian_package_test.sh's.
# Usage: linux_package_test.sh BUILD_DIR VERSION
set -eu
build=$(cd "$1" && pwd)
version=$2
. "$(dirname "$0")/scratch.sh"

build_target "$build" package
tar -xzf "$build/plottertest-$version-Linux.tar.gz" -C "$scratch"
top="$scratch/plottertest-$version-Linux"
listing=$(cd "$top" && find . ! -type d | sort | tr '\n' ' ')
[ "$listing" = "./Pinbelegung.txt ./libinpout32.so ./parport/libinpout32.so ./plottertest " ] ||
  fail "the archive holds $listing"
[ "$("$top/plottertest" --version)" = "plottertest $version" ] || fail "--version says $("$top/plottertest" --version)"

# The drive as unpacked, 3 steps a side, confirmed from a script.
sed -i '24s/.*/3\r/' "$top/Pinbelegung.txt"
(cd "$scratch" && echo | PLOTTERTEST_PORT_LOG="$scratch/writes" "$top/plottertest" > out 2> err) ||
  fail "the unpacked drive: $(cat "$scratch/err")"
[ "$(wc -l < "$scratch/writes")" -eq 25 ] || fail "the unpacked drive wrote $(wc -l < "$scratch/writes") times"
grep -q "^Fertig: 12 Schritte gefahren" "$scratch/out" || fail "no end of the drive in $(cat "$scratch/out")"

prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" > "$scratch/log" 2>&1 || { cat "$scratch/log"; fail "no install"; }
[ "$(readlink "$prefix/bin/plottertest")" = "../lib/plottertest/plottertest" ] || fail "bin/plottertest is no relative link"
for file in plottertest Pinbelegung.txt libinpout32.so parport/libinpout32.so; do
  [ -f "$prefix/lib/plottertest/$file" ] || fail "lib/plottertest/$file is not installed"
done
(cd "$scratch" && echo a | "$prefix/bin/plottertest" > out 2>&1) || fail "bin/plottertest: $(cat "$scratch/out")"
grep -q "Tormal fahren" "$scratch/out" || fail "bin/plottertest did not find its wiring: $(cat "$scratch/out")"

printf 'meine Verdrahtung\r\n' > "$scratch/edited"
cp "$scratch/edited" "$prefix/lib/plottertest/Pinbelegung.txt"
cmake --install "$build" --prefix "$prefix" > "$scratch/log" 2>&1 || { cat "$scratch/log"; fail "no second install"; }
cmp -s "$scratch/edited" "$prefix/lib/plottertest/Pinbelegung.txt" || fail "the second install replaced the wiring"
stage="$scratch/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr > "$scratch/log" 2>&1 || { cat "$scratch/log"; fail "no staged install"; }
listing=$(cd "$stage" && find . ! -type d | sort | tr '\n' ' ')
[ "$listing" = "./usr/bin/plottertest ./usr/lib/plottertest/Pinbelegung.txt ./usr/lib/plottertest/libinpout32.so \
./usr/lib/plottertest/parport/libinpout32.so ./usr/lib/plottertest/plottertest " ] || fail "the staged install laid $listing"

deb="$build/plottertest_${version}_$(dpkg --print-architecture).deb"
lintian "$deb" > "$scratch/lintian" 2>&1 || true
! grep '^E:' "$scratch/lintian" || fail "lintian finds errors in $deb"
dpkg-deb -x "$deb" "$scratch/deb"
desktop-file-validate "$scratch/deb/usr/share/applications/plottertest.desktop" || fail "the menu entry is not valid"
grep -qx 'Terminal=true' "$scratch/deb/usr/share/applications/plottertest.desktop" || fail "the menu entry opens no terminal"
echo "archive, installation and Debian package of plottertest $version work as unpacked and installed"
