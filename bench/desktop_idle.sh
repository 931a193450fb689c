#!/usr/bin/env bash
# The desktop program at rest: starts quorvaneam on a virtual X display (Xvfb) with a temporary
# application folder, lets it settle, then reports the CPU it used over SECONDS (default 20):
# auto-protect's four passes a second, the mount watch, the table's rebuild and the timers.
# Usage: bench/desktop_idle.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
seconds=${1:-20}
build=${2:-build/release}
program="$build/bin/quorvaneam"
[[ -x $program ]] || { echo "no $program; build it first" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "Xvfb is needed (apt-get install xvfb)" >&2; exit 2; }

home=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT

cp "$build/bin/vir.sig" "$home/vir.sig"
# The engine check wants more than two keys; these two match nothing.
printf '11111111111111111111111111111111.10\r\n22222222222222222222222222222222.20\r\n' >> "$home/vir.sig"

exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x800x24 -nolisten tcp 2>/dev/null &
pids+=($!)
read -r -u "$display_fd" number
DISPLAY=":$number" QT_QPA_PLATFORM=xcb QUORVANE_HOME="$home" "$program" 2>/dev/null &
program_pid=$!
pids+=("$program_pid")

sleep 5 # the start, the engine check and the first pass over every running program
ticks() { awk '{print $14 + $15}' "/proc/$program_pid/stat"; }
before=$(ticks)
sleep "$seconds"
after=$(ticks)
hz=$(getconf CLK_TCK)
processes=$(ls -d /proc/[0-9]* | wc -l)
awk -v used=$((after - before)) -v hz="$hz" -v s="$seconds" -v n="$processes" 'BEGIN {
  cpu = used / hz
  printf "quorvaneam at rest: %.2f s CPU in %d s = %.2f %% of one core (%d processes running)\n",
         cpu, s, 100 * cpu / s, n
}'
