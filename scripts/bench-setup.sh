#!/usr/bin/env bash
# The time stp setup takes beside stp pack of the same folder: the sample
# product and the bench payload. The difference is the stamping (the
# settings and pictures read and checked, the stub's resources rewritten with
# the package, the file written) with the noise of two runs of the packing;
# stamp_bench then measures the stamping alone on the payload's package,
# against writing a file of the package's size. Prints figures; asserts
# nothing.
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
  tp=() ts=()
  # Side by side in each round, the best of BENCH_ROUNDS (default 5).
  for _ in $(seq "${BENCH_ROUNDS:-5}"); do
    tp+=("$(t "$stp" pack "$dir" -o "$work/p.stp")")
    ts+=("$(t "$stp" setup "$dir" -o "$work/Setup.exe" --settings resources/product.settings \
      --stub "$stub")")
  done
  tp=$(best "${tp[@]}") ts=$(best "${ts[@]}")
  printf '%s: processor time of stp pack %.2f s, stp setup %.2f s: the stamping adds %.0f ms (Setup.exe %d bytes)\n' \
    "$case" "$tp" "$ts" "$(echo "($ts - $tp) * 1000" | bc -l)" "$(stat -c %s "$work/Setup.exe")"
done
# The stamping alone, on the payload's package just packed.
"$(dirname "$stp")/stamp_bench" "$stub" resources/product.settings "$work/p.stp" "$work/stamped.exe"
