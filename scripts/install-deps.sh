#!/usr/bin/env bash
# Installs the Debian packages that are missing, and only those. Needs root
# (or sudo).
#
#   scripts/install-deps.sh --build   what building and running the program needs (sd-bus
#                                     from libsystemd-dev, to ask rtkit for a real-time class)
#   scripts/install-deps.sh [--all]   that, and everything the tests need
#
# The tests need: GoogleTest; sigrok-cli for the signal-trace test;
# rsvg-convert (librsvg2-bin) to render the simulated port's picture; clang
# with its runtime for the sanitizer and fuzzer builds; clang-tidy and cppcheck;
# QEMU and a static busybox to boot a kernel with its parallel-port drivers
# (xz-utils for Debian 13's compressed modules);
# dpkg-dev for the Debian package's dependencies, lintian and
# desktop-file-utils to check it, debootstrap for a Debian chroot to install it in;
# rtkit, polkitd, dbus and gdbus (libglib2.0-bin) for the drive with a desktop's rtkit.
# The Windows builds and their tests need MinGW-w64 for the 32-bit program (the
# win32 thread model on Debian 12), for its unit tests and the 64-bit test
# build (posix thread model), wine64 and 32-bit Wine to run them, Xvfb, xdotool and ImageMagick to
# answer and photograph the message boxes. When those cannot
# be installed, this says so and the Windows tests report themselves as skipped.
set -euo pipefail

case "${1:---all}" in
  --build) what=build ;;
  --all) what=all ;;
  *)
    echo "usage: $0 [--build | --all]" >&2
    exit 64
    ;;
esac

build=(cmake make g++ libsystemd-dev)
tests=(libgtest-dev googletest sigrok-cli librsvg2-bin clang libclang-rt-dev clang-tidy cppcheck
       qemu-system-x86 busybox-static xz-utils dpkg-dev lintian desktop-file-utils debootstrap
       rtkit polkitd dbus libglib2.0-bin)
windows=(g++-mingw-w64-i686-win32 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 xvfb xdotool imagemagick)
wine32=(wine32:i386)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Said before anything is installed, so that nobody is surprised by it.
if [ "$what" = all ]; then
  echo "scripts/install-deps.sh installs, with apt-get, whichever of these Debian packages are missing:"
  echo "  to build:         ${build[*]}"
  echo "  for the tests:    ${tests[*]}"
  echo "  for Windows:      ${windows[*]} ${wine32[*]} (adding the i386 architecture for it)"
  echo "The tests then download a Debian kernel package for QEMU (kept in build/kernel-cache/) and, as"
  echo "root, build a Debian chroot for the package test (kept in build/deb-chroot-*/): about 4 GB in all."
fi

missing() {
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || echo "$package"
  done
}

updated=""
install() {
  [ $# -eq 0 ] && return 0
  echo "Installing: $*"
  if [ -z "$updated" ]; then
    $sudo apt-get update -q && updated=yes || return 1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$@"
}

mapfile -t need < <(missing "${build[@]}")
install "${need[@]}"

# The presets (CMakePresets.json, version 6) need CMake 3.25; an older one
# would only fail with a parse error.
cmake_version=$(cmake --version | head -n1 | awk '{print $3}')
if [ "$(printf '%s\n3.25\n' "$cmake_version" | sort -V | head -n1)" != "3.25" ]; then
  echo "CMake $cmake_version is installed, but plottertest needs CMake 3.25 or newer (Debian 12 has it;" >&2
  echo "on Debian 11: apt-get install -t bullseye-backports cmake)." >&2
  exit 1
fi
[ "$what" = build ] && exit 0

mapfile -t need < <(missing "${tests[@]}")
install "${need[@]}"

mapfile -t need < <(missing "${windows[@]}")
install "${need[@]}" || echo "WARNING: the Windows tools could not be installed; the Windows tests will be skipped."

mapfile -t need < <(missing "${wine32[@]}")
if [ ${#need[@]} -gt 0 ]; then
  # 32-bit Wine comes from the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    updated=""
  fi
  install "${need[@]}" || echo "WARNING: 32-bit Wine could not be installed; the 32-bit Windows tests will be skipped."
fi
