#!/bin/sh
# The port libraries export their C entry points and nothing else (nm -D).
# Usage: port_exports_test.sh SIMULATED_PORT PARPORT
set -eu
failed=0
check() {  # library, the names it must export
  got=$(nm -D --defined-only "$1" | awk '{ print $3 }' | sort | tr '\n' ' ')
  if [ "$got" != "$2" ]; then
    echo "FAILED: $1 exports \"$got\", expected \"$2\""
    failed=1
  fi
}
check "$1" "Inp32 Out32 SetSignalBits SimulatedPortFiles "
check "$2" "Inp32 Out32 PortError "
exit "$failed"
