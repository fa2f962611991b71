#!/usr/bin/env bash
# Builds the three builds and runs the tests: the host tests under the
# sanitizers, the same tests as Windows programs under Wine, and the 32-bit
# shipping build (built, never run). Ends with one line of totals.
set -uo pipefail
cd "$(dirname "$0")/.."

passed=0
failed=0
status=0

run_ctest() {
  local preset=$1 log
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f))
    failed=$((failed + f))
    [ "$f" = 0 ] || status=1
  else
    echo "test: no test summary from the $preset tests" >&2
    failed=$((failed + 1))
    status=1
  fi
  rm -f "$log"
}

for preset in host win64 win32 fuzz; do
  echo "== build $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    echo "test: the $preset build failed" >&2
    failed=$((failed + 1))
    status=1
  fi
done

echo "== tests on the host (sanitizers)"
run_ctest host
echo "== tests under Wine (x86_64 Windows build)"
run_ctest win64
echo "== the shipping 32-bit Setup.exe, inspected"
run_ctest win32

echo "== fuzz targets, a short run of each (make fuzz runs them longer)"
fuzzlog=$(mktemp)
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}" 2 | tee "$fuzzlog"
ok=$(grep -c '(exit 0)$' "$fuzzlog")
bad=$((4 - ok))
passed=$((passed + ok))
failed=$((failed + bad))
[ "$bad" = 0 ] || status=1
rm -f "$fuzzlog"

echo
echo "all: $passed passed, $failed failed"
exit "$status"
