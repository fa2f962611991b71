#!/usr/bin/env bash
# Runs every fuzz target for a while.
#   fuzz.sh [SECONDS_PER_TARGET] [JOBS]     (default 180 seconds, 2 at a time)
# Each target starts from the seeds in fuzz/corpus and a working corpus kept
# in build/fuzz-corpus (reused by later runs); an input that crashes a target
# is copied to fuzz/regressions/TARGET/ to become a regression test, and the
# script fails.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-180}
jobs=${2:-2}
bin=build/fuzz/fuzz
targets=(packageindex envelope table extract inflate resources)
status=0

run() {
  local t=$1 work="$root/build/fuzz-corpus/$t" art="$root/build/fuzz-artifacts/$t/"
  mkdir -p "$work" "$art"
  local log="$root/build/fuzz-artifacts/$t.log"
  "$bin/fuzz_$t" -max_total_time="$seconds" -dict="$root/fuzz/stp.dict" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$art" -print_final_stats=1 "$work" "$root/fuzz/corpus/$t" >"$log" 2>&1
  local rc=$?
  local stats
  stats=$(grep -E '^#[0-9]+.*DONE' "$log" | tail -1)
  echo "fuzz $t: ${stats:-no summary} (exit $rc)"
  if [ "$rc" != 0 ]; then
    mkdir -p "fuzz/regressions/$t"
    for f in "$art"crash-* "$art"timeout-* "$art"oom-* "$art"leak-*; do
      [ -f "$f" ] && cp "$f" "fuzz/regressions/$t/" && echo "  kept $f in fuzz/regressions/$t/"
    done
    grep -E 'ERROR|fuzz:|SUMMARY' "$log" | head -5
    return 1
  fi
}

i=0
pids=()
for t in "${targets[@]}"; do
  run "$t" &
  pids+=($!)
  i=$((i + 1))
  if [ $((i % jobs)) = 0 ]; then
    for p in "${pids[@]}"; do wait "$p" || status=1; done
    pids=()
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit "$status"
