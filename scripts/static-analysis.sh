#!/usr/bin/env bash
# cppcheck and clang-tidy over the project's code, with the configuration in
# this repository (.clang-tidy, and the cppcheck options below). Any finding
# fails: fix it, or suppress it at its line with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."

[ -f build/compile_commands.json ] || cmake --preset default

echo "== cppcheck"
# PLOTTERTEST_VERSION is the build's compile definition, which cppcheck (2.17,
# Debian 13) does not know: the two files that paste it into their texts. The
# same cppcheck notes where it limits its analysis of branches: a note, no finding.
cppcheck --enable=warning,style,performance,portability --std=c++17 --library=googletest \
  --suppress=unknownMacro:src/app/app.cpp --suppress=unknownMacro:tests/e2e_test.cpp \
  --suppress=normalCheckLevelMaxBranches \
  --inline-suppr --quiet --error-exitcode=1 -I src -I ports -I tests -I tests/support src ports bench fuzz tests

echo "== clang-tidy"
# The Linux build's compile commands; the Windows host (src/platform/win32/) and the fuzz target are left to cppcheck.
run-clang-tidy -p build -quiet "$(pwd)/(src|ports|tests|bench)/" > build/clang-tidy.log 2>&1 || {
  grep -E "(warning|error):" build/clang-tidy.log | sort -u
  echo "clang-tidy found the above (full output: build/clang-tidy.log)"
  exit 1
}
echo "no findings"
