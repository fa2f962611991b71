#!/usr/bin/env bash
# Runs the benchmarks of the optimised host build; each prints its figures.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== table text form: load time per cell"
build/host-release/datatable/datatable_bench
# One payload for every figure below.
work=$(mktemp -d "${TMPDIR:-/tmp}/stp-payload.XXXXXX")
trap 'rm -rf "$work"' EXIT
bash scripts/bench-payload.sh "$work/payload"
export BENCH_PAYLOAD=$work/payload
echo "== package extraction beside unzip and tar"
bash scripts/bench-package.sh
echo "== stp setup beside stp pack of the same folder"
bash scripts/bench-setup.sh
echo "== installation under Wine beside NSIS"
bash scripts/bench-install.sh
