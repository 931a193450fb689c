#!/usr/bin/env bash
# Runs every fuzz target for SECONDS (default 600), as many at once as there are cores, each
# over its seeds (tests/fuzz/corpus/NAME) and the corpus it grew before (build/fuzz/fuzz/corpus/NAME).
# Prints one line per target: its name, executions, executions per second, and "clean" or the
# file that made it fail (kept in build/fuzz/fuzz/crashes). Exits 1 when any target failed.
#   bench/fuzz_all.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
bin=build/fuzz/bin
logs=build/fuzz/fuzz/logs
mkdir -p "$logs" build/fuzz/fuzz/crashes
targets=()
for source in tests/fuzz/*_fuzz.cpp; do
  name=$(basename "$source" _fuzz.cpp)
  targets+=("$name")
done

run_one() {
  local name=$1
  mkdir -p "build/fuzz/fuzz/corpus/$name"
  local rc=0
  "$bin/${name}_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/fuzz/crashes/$name-" \
    "build/fuzz/fuzz/corpus/$name" "tests/fuzz/corpus/$name" >"$logs/$name.log" 2>&1 || rc=$?
  echo "$rc" > "$logs/$name.rc"
}
export -f run_one
export bin logs seconds

printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} bash -c 'run_one {}'
failed=0
for name in "${targets[@]}"; do
  if [ "$(cat "$logs/$name.rc")" = 0 ]; then
    verdict=clean
  else
    verdict="FAILED: $(grep -o 'Test unit written to .*' "$logs/$name.log" | head -1)"
    failed=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$logs/$name.log" | grep -o '[0-9]*$' || echo 0)
  printf '%-18s %12s runs %9s/s  %s\n' "$name" "$runs" "$((runs / seconds))" "$verdict"
done
exit $failed
