#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and only those
# that are missing. Needs root (or sudo).
#
# The Linux build, its sanitizer and fuzzer builds (clang 14 with its runtime),
# the signal-trace test (sigrok-cli) and the static analysis need the first group. The Windows build and its tests need
# the second: MinGW-w64 for the 32-bit program, 32-bit Wine to run it, Xvfb,
# xdotool and ImageMagick to answer and photograph its message boxes. When those
# cannot be installed, this says so and the Windows tests report themselves as
# skipped.
set -euo pipefail

linux=(cmake make g++ libgtest-dev googletest sigrok-cli clang-14 libclang-rt-14-dev clang-tidy-14 cppcheck)
windows=(g++-mingw-w64-i686-posix wine wine32:i386 xvfb xdotool imagemagick)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

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

mapfile -t need < <(missing "${linux[@]}")
install "${need[@]}"

mapfile -t need < <(missing "${windows[@]}")
if [ ${#need[@]} -gt 0 ]; then
  # 32-bit Wine comes from the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    updated=""
  fi
  install "${need[@]}" || echo "WARNING: the Windows tools could not be installed; the Windows tests will be skipped."
fi
