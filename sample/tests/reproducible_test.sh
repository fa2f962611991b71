#!/usr/bin/env bash
# The sample package is reproducible: packing its stage again, twice, with
# the build's epoch gives the build's package byte for byte; another epoch
# gives another package that is just as sound.
#
#   reproducible_test.sh STP STAGE PACKAGE UNINSTALLER EPOCH [SETTINGS]
set -u
stp=$1 stage=$2 package=$3 uninst=$4 epoch=$5
settings=()
[ -n "${6:-}" ] && settings=(--settings "$6")
. "$(dirname "$0")/../../tests/checks.sh"
for i in 1 2; do
  SOURCE_DATE_EPOCH=$epoch "$stp" pack "$stage" -o "$work/again$i.stp" --uninstaller "$uninst" \
    "${settings[@]}" >/dev/null
  check "pack $i" 0 $?
  cmp "$package" "$work/again$i.stp"; check "pack $i gives the build's bytes" 0 $?
done
SOURCE_DATE_EPOCH=$((epoch + 1)) "$stp" pack "$stage" -o "$work/other.stp" --uninstaller "$uninst" \
  "${settings[@]}" >/dev/null
cmp -s "$package" "$work/other.stp"; check "another epoch, other bytes" 1 $?
"$stp" verify "$work/other.stp" >/dev/null; check "and a sound package" 0 $?
"$stp" verify "$package" >/dev/null; check "the build's package is sound" 0 $?
checks_done
