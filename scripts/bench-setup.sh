#!/usr/bin/env bash
# The time stp setup takes beside stp pack of the same folder: the sample
# product and the bench payload. The difference is the stamping (the
# settings and pictures read and checked, the stub's resources rewritten with
# the package, the file written), printed beside the time of copying a file
# of Setup.exe's size (reading the package back and writing the output is
# what the stamping cannot avoid) and what it adds above that, the check sum
# included. Prints figures; asserts nothing.
#   STUB  the setup stub (default: the win32 build's SetupStub.exe)
set -euo pipefail
cd "$(dirname "$0")/.."
stp=${STP:-build/host-release/tools/stp}
stub=${STUB:-build/win32/app/SetupStub.exe}
uninst=${STP_UNINSTALLER:-build/win32/uninst/Uninst.exe}
sample=build/win32/sample/product
if [ ! -f "$stub" ] || [ ! -f "$uninst" ] || [ ! -d "$sample" ]; then
  echo "skipped: no $stub, $uninst or $sample (build the win32 preset first)"
  exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/stp-setup-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
payload=${BENCH_PAYLOAD:-$work/payload}
[ -n "${BENCH_PAYLOAD:-}" ] || bash scripts/bench-payload.sh "$payload"
export STP_UNINSTALLER=$uninst SOURCE_DATE_EPOCH=1767225600

t() {  # t COMMAND...: prints the processor seconds taken (user and system),
       # which the machine's other work disturbs less than the wall clock
  /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null
  awk '{print $1 + $2}' "$work/time"
}
best() { printf '%s\n' "$@" | sort -g | head -1; }

for case in sample payload; do
  dir=$sample
  [ "$case" = payload ] && dir=$payload
  tp=() ts=() tc=()
  # Side by side in each round, the best of BENCH_ROUNDS (default 5).
  for _ in $(seq "${BENCH_ROUNDS:-5}"); do
    tp+=("$(t "$stp" pack "$dir" -o "$work/p.stp")")
    ts+=("$(t "$stp" setup "$dir" -o "$work/Setup.exe" --settings resources/product.settings \
      --stub "$stub")")
    tc+=("$(t cp "$work/Setup.exe" "$work/copy.exe")")
  done
  tp=$(best "${tp[@]}") ts=$(best "${ts[@]}") tc=$(best "${tc[@]}")
  printf '%s: processor time of stp pack %.2f s, stp setup %.2f s: the stamping adds %.0f ms (Setup.exe %d bytes); copying a file of that size takes %.0f ms: %.0f ms above writing the output\n' \
    "$case" "$tp" "$ts" "$(echo "($ts - $tp) * 1000" | bc -l)" "$(stat -c %s "$work/Setup.exe")" \
    "$(echo "$tc * 1000" | bc -l)" "$(echo "($ts - $tp - $tc) * 1000" | bc -l)"
done
