#!/usr/bin/env bash
# The Debian package as a user of this Debian release meets it, in a fresh
# chroot of the same release (made once with debootstrap and kept in
# BUILD_DIR/deb-chroot-RELEASE): apt installs
# it, plottertest runs from PATH with its wiring in /etc as a conffile, drives
# the simulated port, keeps an edited wiring through a reinstall, man finds
# its page, the port library is the alternative plottertest-port, and purge
# leaves nothing behind.
# Usage: debian_package_test.sh BUILD_DIR VERSION
# Exit status 77 (skipped) when no chroot can be made: not root, or no debootstrap.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
skip() {
  echo "skipped: $*"
  exit 77
}
fail() {
  echo "FAILED: $*"
  exit 1
}
[ "$(id -u)" -eq 0 ] || skip "a chroot needs root"
command -v debootstrap > /dev/null || skip "debootstrap is not installed (scripts/install-deps.sh)"

cmake --build "$build" --target package > "$build/debian_package_test.log" 2>&1 ||
  { cat "$build/debian_package_test.log"; fail "no package"; }
deb="plottertest_${version}_$(dpkg --print-architecture).deb"
[ -f "$build/$deb" ] || fail "no $build/$deb"

# The release the package was built on, which its dependencies name.
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
root="$build/deb-chroot-$suite"
if [ ! -x "$root/usr/bin/apt-get" ]; then
  rm -rf "$root.new"
  mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$mirror" ] || mirror=$(awk '/^deb / { print $2; exit }' /etc/apt/sources.list 2>/dev/null || true)
  debootstrap --variant=minbase --include=man-db "$suite" "$root.new" "${mirror:-http://deb.debian.org/debian}" \
    > "$build/debootstrap.log" 2>&1 || skip "debootstrap failed: $(tail -n 3 "$build/debootstrap.log")"
  mv "$root.new" "$root"
fi
mount -t proc proc "$root/proc"
trap 'umount "$root/proc"' EXIT
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 "$@"; }
# Each run starts from a chroot without the package.
in_root dpkg --purge plottertest > /dev/null 2>&1 || true
cp "$build/$deb" "$root/tmp/$deb"

in_root apt-get install -y -q "/tmp/$deb" > "$build/apt.log" 2>&1 || { cat "$build/apt.log"; fail "apt-get install"; }
[ "$(in_root plottertest --version)" = "plottertest $version" ] || fail "plottertest --version from PATH"
in_root dpkg-query -W -f='${Conffiles}' plottertest | grep -q '^ /etc/plottertest/Pinbelegung.txt ' ||
  fail "Pinbelegung.txt is no conffile: $(in_root dpkg-query -W -f='${Conffiles}' plottertest)"
in_root man -w plottertest > /dev/null || fail "man -w plottertest finds no page"
[ "$(readlink "$root/usr/lib/plottertest/libinpout32.so")" = /etc/alternatives/plottertest-port ] ||
  fail "the port library is no alternative"
[ "$(readlink "$root/etc/alternatives/plottertest-port")" = /usr/lib/plottertest/sim/libinpout32.so ] ||
  fail "the simulated port is not the default"

# The drive with 3 steps a side written into /etc, confirmed from a script.
sed -i '24s/.*/3\r/' "$root/etc/plottertest/Pinbelegung.txt"
in_root sh -c 'cd /tmp && echo | plottertest' > "$build/drive.out" 2>&1 || { cat "$build/drive.out"; fail "the drive"; }
grep -q "^Fertig: 12 Schritte" "$build/drive.out" || fail "no 12 steps: $(cat "$build/drive.out")"

# The edited wiring, and the choice of port, survive a reinstall (an upgrade does the same).
cp "$root/etc/plottertest/Pinbelegung.txt" "$build/edited"
in_root update-alternatives --set plottertest-port /usr/lib/plottertest/parport/libinpout32.so > /dev/null
in_root apt-get install -y -q --reinstall "/tmp/$deb" > "$build/apt.log" 2>&1 || { cat "$build/apt.log"; fail "reinstall"; }
cmp -s "$build/edited" "$root/etc/plottertest/Pinbelegung.txt" || fail "the reinstall replaced the edited wiring"
[ "$(readlink "$root/etc/alternatives/plottertest-port")" = /usr/lib/plottertest/parport/libinpout32.so ] ||
  fail "the reinstall forgot the chosen port"

in_root apt-get purge -y -q plottertest > "$build/apt.log" 2>&1 || { cat "$build/apt.log"; fail "purge"; }
for gone in /etc/plottertest /usr/lib/plottertest /usr/bin/plottertest /etc/alternatives/plottertest-port; do
  [ ! -e "$root$gone" ] && [ ! -L "$root$gone" ] || fail "purge left $gone"
done
echo "the Debian package installs, drives, keeps the wiring and the port choice, and purges in a Debian 12 chroot"
