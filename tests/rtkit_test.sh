#!/usr/bin/env bash
# The drive of an ordinary user at a desktop, with the desktop's real daemons:
# a system bus, polkitd with a rule that grants rtkit's actions, and
# rtkit-daemon, all inside a private mount namespace (a tmpfs over /run/dbus,
# the rule bound over /etc/polkit-1/rules.d), so that the host's own bus is
# never touched. The program drives as nobody on the recording port library,
# which logs the scheduling policy of every write.
#   row 1: rtkit grants SCHED_RR, and every write of the drive runs under it;
#   row 2: no system bus at all, and the drive runs as before, under SCHED_OTHER;
#   row 3: under rtkit's SCHED_RR a write runs away for 150 ms of CPU time, past
#          RLIMIT_RTTIME's soft limit: SIGXCPU stops the drive (status 152) with
#          one write of 0, long before the hard limit's SIGKILL.
# Usage: rtkit_test.sh PROGRAM RECORDING_PORT WIRING
# Exit status 77 (skipped) where it cannot run: not root, no unshare, no rtkit.
set -euo pipefail
skip() {
  echo "skipped: $*"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "the daemons need root"
command -v unshare > /dev/null || skip "unshare is not installed"
[ -x /usr/libexec/rtkit-daemon ] || skip "rtkit is not installed (scripts/install-deps.sh)"
polkitd=$(ls /usr/lib/polkit-1/polkitd /usr/libexec/polkitd 2> /dev/null | head -n 1 || true)
[ -n "$polkitd" ] || skip "polkitd is not installed (scripts/install-deps.sh)"
command -v gdbus > /dev/null || skip "gdbus is not installed (scripts/install-deps.sh)"
unshare --mount true 2> /dev/null || skip "no private mount namespace here"

if [ "${1:-}" != --inside ]; then
  exec unshare --mount --propagation private "$0" --inside "$@"
fi
shift
program=$1 port=$2 wiring=$3

work=$(mktemp -d)
chmod 755 "$work"
daemons=()
cleanup() {
  [ ${#daemons[@]} -eq 0 ] || kill "${daemons[@]}" 2> /dev/null || true
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failed=0

cp "$program" "$work/plottertest"
cp "$port" "$work/libinpout32.so"
sed '24s/^.*$/20\r/' "$wiring" > "$work/Pinbelegung.txt"
mkdir "$work/drive"
chmod 777 "$work/drive"

# drive ROW POLICY [RUNAWAY_WRITE]: the drive as nobody; every write must run
# under POLICY (SCHED_OTHER 0, SCHED_RR 2). With RUNAWAY_WRITE, that write runs
# away, and the drive must stop with SIGXCPU's status and a last write of 0.
drive() {
  local log="$work/drive/$1.log" status runaway=${3:-} expected=0 last
  status=0
  (cd "$work" && printf '\n' | setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 PLOTTERTEST_PORT_LOG="$log" PLOTTERTEST_RUNAWAY_WRITE="$runaway" \
    ./plottertest > "$work/drive/$1.out" 2>&1) || status=$?
  local writes policies
  writes=$(wc -l < "$log" 2> /dev/null || echo 0)
  policies=$(awk '{ print $4 }' "$log" 2> /dev/null | sort -u | tr '\n' ' ')
  last=$(tail -n 1 "$log" 2> /dev/null | awk '{ print $2 }')
  if [ -n "$runaway" ]; then
    expected=152
    [ "$status" -eq 152 ] && [ "$writes" -gt "$runaway" ] && [ "$writes" -lt 161 ] && [ "$last" = 0 ] &&
      [ "$policies" = "$2 " ] && { echo "$1: status 152 after $writes writes, the last 0"; return; }
  elif [ "$status" -eq 0 ] && [ "$writes" -eq 161 ] && [ "$policies" = "$2 " ]; then
    echo "$1: status 0, 161 writes, all under policy $2"
    return
  fi
  echo "FAILED: $1: status $status, $writes writes, the last $last, policies \"$policies\"; expected $expected," \
    "${runaway:+more than $runaway and fewer than }161 writes, the last 0, \"$2 \""
  cat "$work/drive/$1.out"
  failed=1
}

# No system bus: the drive as before.
mount -t tmpfs tmpfs /run/dbus
drive "no system bus" 0

# A system bus, polkitd granting rtkit's actions, and rtkit-daemon.
rules="$work/rules"
mkdir "$rules"
cat > "$rules/50-plottertest-rtkit.rules" << 'EOF'
polkit.addRule(function (action, subject) {
  if (action.id.indexOf("org.freedesktop.RealtimeKit1.") == 0) return polkit.Result.YES;
});
EOF
chmod 755 "$rules"
chmod 644 "$rules/50-plottertest-rtkit.rules"
mount --bind "$rules" /etc/polkit-1/rules.d
dbus-daemon --system --nofork --nopidfile > "$work/dbus.log" 2>&1 &
daemons+=($!)
for _ in $(seq 50); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.1; done
"$polkitd" --no-debug > "$work/polkitd.log" 2>&1 &
daemons+=($!)
timeout 15 gdbus wait --system --timeout 10 org.freedesktop.PolicyKit1 || {
  cat "$work/dbus.log" "$work/polkitd.log"
  echo "FAILED: polkitd did not come up"
  exit 1
}
# --stderr: it dies when it cannot log to a file; --no-limit-resources: it
# refuses to start while other processes of its user are around.
/usr/libexec/rtkit-daemon --stderr --no-limit-resources > "$work/rtkit.log" 2>&1 &
daemons+=($!)
timeout 15 gdbus wait --system --timeout 10 org.freedesktop.RealtimeKit1 || {
  cat "$work/rtkit.log"
  echo "FAILED: rtkit-daemon did not come up"
  exit 1
}
drive "rtkit" 2
drive "rtkit, a write that runs away" 2 9
[ "$failed" -eq 0 ] || { cat "$work/rtkit.log"; exit 1; }
echo "rtkit gave the drive SCHED_RR, and without a bus it ran as before"
