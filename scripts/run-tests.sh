#!/usr/bin/env bash
# Installs what is missing, builds for Linux and Windows, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --all

# Windows first: the Linux build's Wine tests run the program built here.
# Wine runs 32-bit programs only where the kernel lets 32-bit programs run.
if command -v i686-w64-mingw32-g++-posix >/dev/null; then
  cmake --preset windows
  cmake --build --preset windows
  if wine --version >/dev/null 2>&1; then
    ctest --preset windows
  else
    echo "skipped: the Windows unit tests (Wine cannot run here: $(wine --version 2>&1 | tail -n1))"
  fi
else
  echo "skipped: the Windows build and its unit tests (MinGW-w64 is not installed)"
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
