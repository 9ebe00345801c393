#!/usr/bin/env bash
# Installs what is missing, builds for Linux and Windows, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --all

# Windows first: the Linux build's Wine tests run the programs built here.
# The 32-bit program is the one users get; Wine runs it only where the kernel
# lets 32-bit programs run. The 64-bit test build of the same sources runs under
# wine64 on any x86-64 kernel, so the Windows code is tested on every machine.
if command -v i686-w64-mingw32-g++-win32 >/dev/null && command -v i686-w64-mingw32-g++-posix >/dev/null; then
  # The program users get, with the test of its imports, which needs no Wine;
  # then the unit tests, built with the posix thread model.
  cmake --preset windows
  cmake --build --preset windows
  cmake --preset windows-unit
  cmake --build --preset windows-unit
  # Wine's 32-bit loader is itself a 32-bit program: where it runs, Wine runs
  # 32-bit programs. Debian's wine answers --version through wine64 without it.
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    ctest --preset windows
    ctest --preset windows-unit
  else
    ctest --preset windows -LE wine
    why="wine32 is not installed (no /usr/lib/wine/wine)"
    [ -e /usr/lib/wine/wine ] && why=$( (/usr/lib/wine/wine --version || true) 2>&1 | tail -n1)
    echo "skipped: the 32-bit Windows unit tests and the pause test (Wine cannot run 32-bit programs here: $why)"
  fi
else
  echo "skipped: the 32-bit Windows build and its tests (MinGW-w64 for i686 is not installed)"
fi
if command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  cmake --preset windows-x64
  cmake --build --preset windows-x64
  ctest --preset windows-x64
else
  echo "skipped: the 64-bit Windows test build and its unit tests (MinGW-w64 for x86-64 is not installed)"
fi

cmake --preset default
cmake --build --preset default
ctest --preset default

# Again with AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

# The fuzzer over the wiring file reader, for a minute; findings stay in build-fuzz/fuzz/fuzz-artifacts/.
cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz

bash scripts/static-analysis.sh
