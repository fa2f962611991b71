#!/usr/bin/env bash
# Runs the benchmarks of the optimised host build; each prints its figures.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== table text form: load time per cell"
build/host-release/datatable/datatable_bench
echo "== inflating one 64 MiB body from memory, each way"
build/host-release/package/inflate_bench
# Two payloads, each for every figure below: the mixed one (files of 64 KiB
# to 8 MiB) and the large one (files of 4 KiB to 64 MiB and one of 256 MiB).
work=$(mktemp -d "${TMPDIR:-/tmp}/stp-payload.XXXXXX")
trap 'rm -rf "$work"' EXIT
for shape in mixed large; do
  rm -rf "$work/payload"
  bash scripts/bench-payload.sh "$work/payload" "$shape"
  export BENCH_PAYLOAD=$work/payload
  echo "== payload $shape: package extraction beside unzip and tar"
  # The large payload has its large file already.
  BENCH_ONE_FILE=$([ $shape = mixed ] && echo 1 || echo 0) bash scripts/bench-package.sh
  echo "== payload $shape: stp setup beside stp pack of the same folder"
  bash scripts/bench-setup.sh
  echo "== payload $shape: installation under Wine beside NSIS"
  bash scripts/bench-install.sh
done
