#!/usr/bin/env bash
# Renders every page of the wizard in both languages (and the conflict
# notice) under Xvfb and Wine into PNG files under build/screenshots: the
# shipping 32-bit build in the wow64 test bed, or the build given; at 96
# DPI, and at 120 and 144 DPI (125% and 150%) under dpi120/ and dpi144/.
#   scripts/screenshots.sh [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win32}
case "$build" in
  */win32) if reason=$(bash "$root/scripts/testbed.sh" --probe); then
             export TEST_BED=${TEST_BED:-wow64}
           else
             echo "screenshots: the 32-bit build cannot run here ($reason); the x86_64 build instead" >&2
             build=$root/build/win64
           fi ;;
esac
out=$root/build/screenshots
rm -rf "$out"
mkdir -p "$out"
winpath() { echo "Z:${1//\//\\}"; }
programs=()
for p in Setup SetupEn; do
  [ -f "$build/app/$p.exe" ] && programs+=("$(winpath "$build/app/$p.exe")")
done
[ ${#programs[@]} -gt 0 ] || { echo "screenshots: build $build first" >&2; exit 1; }
# Chinese text needs a CJK font and a Chinese locale; a virtual desktop gives
# the windows their title bars.
unset DISPLAY
export LC_ALL=zh_CN.UTF-8 WINE_XVFB=1
"$root/cmake/wine-run.sh" "$build/wine" --prepare
"$root/cmake/wine-run.sh" "$build/wine" explorer /desktop=shots,1024x768 \
  "$(winpath "$build/app/setup_tour.exe")" screenshots "$(winpath "$out")" \
  --dpi 96 --dpi 120 --dpi 144 "${programs[@]}"
shopt -s nullglob
bmps=("$out"/*.bmp "$out"/dpi*/*.bmp)
[ ${#bmps[@]} -gt 0 ] || { echo "screenshots: nothing was captured" >&2; exit 1; }
for f in "${bmps[@]}"; do
  /usr/bin/convert "$f" "${f%.bmp}.png" && rm "$f"
done
ls "$out" "$out"/dpi*
