#!/usr/bin/env bash
# The desktop program's guards: starts quorvaneam on a virtual X display (Xvfb) with a temporary
# application folder, lets it settle, then reports the CPU it used at rest over SECONDS (default
# 20): auto-protect's four passes a second, the mount watch, the table's rebuild and the timers.
# Then it starts TRIALS (default 20) planted programs (copies of sleep, each with a fingerprint of
# its own, listed in vir.sig) one after another and times each until it has been ended.
# Usage: bench/desktop_guard.sh [SECONDS] [TRIALS] [BUILD_DIR]
set -euo pipefail
seconds=${1:-20}
trials=${2:-20}
build=${3:-build/release}
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
sleep_program=$(command -v sleep)
for ((i = 0; i < trials; ++i)); do
  cp "$sleep_program" "$home/planted-$i"
  printf 'planted %d %s' "$i" "$home" >> "$home/planted-$i"
  printf '%s\r\n' "$("$build/bin/quorvane" --home "$home" key "$home/planted-$i" | cut -f1)" >> "$home/vir.sig"
done

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

# A planted program runs until the guard ends it; a zombie counts as ended.
times=()
exec 3>&2 2>/dev/null # bash's notes on each ended job
for ((i = 0; i < trials; ++i)); do
  start=$(date +%s%N)
  "$home/planted-$i" 30 &
  pid=$!
  while state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) && [[ $state != Z ]]; do
    if (( $(date +%s%N) - start > 5000000000 )); then break; fi
    sleep 0.005
  done
  end=$(date +%s%N)
  kill "$pid" 2>/dev/null || true # our own child, if it is still there
  wait "$pid" 2>/dev/null || true
  times+=($(( (end - start) / 1000000 )))
  sleep 0.3
done
exec 2>&3 3>&-
printf '%s\n' "${times[@]}" | sort -n | awk -v n="$trials" '
  { t[NR] = $1; if ($1 <= 300) ok++ }
  END { printf "planted programs ended: %d of %d within 300 ms; median %d ms, worst %d ms\n",
               ok, n, t[int((n + 1) / 2)], t[n] }'
