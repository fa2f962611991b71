#!/usr/bin/env bash
# stp setup on the build's stub, against the Setup.exe the build makes from
# the same settings and stage.
#
#   setup_stamp_test.sh --same STP STUB BUILT SETTINGS STAGE UNINST EPOCH INSPECT [MANIFEST]
#       the same bytes from two runs under SOURCE_DATE_EPOCH, the same resource
#       tree as BUILT (read by inspect_setup.py --compare), and with MANIFEST
#       (the shipping build) the whole inspection of the program made
#   setup_stamp_test.sh --wine STP STUB BUILT SETTINGS STAGE UNINST EPOCH WINE_RUN WINE_BASE COMPARE
#       the same resources as BUILT through the system's resource calls, by
#       the Windows program COMPARE under Wine
set -euo pipefail
mode=$1 stp=$2 stub=$3 built=$4 settings=$5 stage=$6 uninst=$7 epoch=$8
shift 8
# In the build tree, which the test beds see at the same path.
work=$(mktemp -d "$PWD/setup_stamp.XXXXXX")
trap 'rm -rf "$work"' EXIT

stamp() {
  SOURCE_DATE_EPOCH=$epoch "$stp" setup "$stage" -o "$1" --settings "$settings" --stub "$stub" \
    --uninstaller "$uninst"
}

stamp "$work/Setup.exe"
case "$mode" in
  --same)
    inspect=$1 manifest=${2:-}
    stamp "$work/again.exe"
    cmp "$work/Setup.exe" "$work/again.exe"
    echo "ok   two runs give the same bytes"
    python3 "$inspect" --compare "$built" "$work/Setup.exe"
    if [ -n "$manifest" ]; then
      python3 "$inspect" "$work/Setup.exe" "$manifest"
    fi
    ;;
  --wine)
    wine_run=$1 wine_base=$2 compare=$3
    cp "$built" "$work/Built.exe"
    "$wine_run" "$wine_base" "$compare" "Z:$work/Built.exe" "Z:$work/Setup.exe"
    ;;
  *)
    echo "setup_stamp_test: unknown mode $mode" >&2
    exit 2
    ;;
esac
