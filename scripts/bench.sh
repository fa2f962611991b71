#!/usr/bin/env bash
# Runs the benchmarks of the optimised host build; each prints its figures.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== table text form: load time per cell"
build/host-release/datatable/datatable_bench
echo "== package extraction beside unzip and tar"
bash scripts/bench-package.sh
