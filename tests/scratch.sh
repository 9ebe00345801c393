# Sourced by the shell tests: a scratch directory that goes at the end, and
# the way a check fails.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAILED: $*"
  exit 1
}
# Builds a target, showing the build's output only when it fails.
build_target() {
  cmake --build "$1" --target "$2" > "$scratch/log" 2>&1 || { cat "$scratch/log"; fail "cmake --build $1 --target $2"; }
}
