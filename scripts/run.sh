#!/usr/bin/env bash
# make run: starts the shipping 32-bit Setup.exe (carrying the sample product)
# under Wine in the wow64 test bed, a 64-bit Windows that runs it under WoW64
# as most users' systems do (scripts/testbed.sh), in the prefix
# build/run-prefix-wow64.
#  - On a display, the wizard is yours to drive; afterwards the script prints
#    where the files, the shortcuts and the uninstall key went.
#  - Without one, it drives the wizard itself under Xvfb through a whole
#    installation into its proposed folder ("C:\Program Files (x86)\Norvane
#    Soft\Drawlet") and prints the same, with screenshots of every page in
#    build/screenshots.
# On a machine that cannot run 32-bit code it says why and runs the x86_64
# test build under the host's Wine instead, in build/run-prefix.
# RUN_PREFIX chooses another prefix (inside this tree); delete it to start afresh.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
if reason=$(bash "$root/scripts/testbed.sh" --probe); then
  build=$root/build/win32
  bed=(bash "$root/scripts/testbed.sh" wow64 --)
  default_prefix=$root/build/run-prefix-wow64
  dest='C:\Program Files (x86)\Norvane Soft\Drawlet'
  where="the wow64 test bed"
else
  echo "The 32-bit Setup.exe cannot run here: $reason."
  echo "Running the x86_64 build under the host's Wine instead."
  build=$root/build/win64
  bed=()
  default_prefix=$root/build/run-prefix
  dest='C:\Program Files\Norvane Soft\Drawlet'
  where="the host's Wine"
fi
export WINEPREFIX=${RUN_PREFIX:-$default_prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
# The Chinese texts need a Chinese locale to render.
export LC_ALL=zh_CN.UTF-8
winpath() { echo "Z:${1//\//\\}"; }
setup=$build/app/Setup.exe
tour=$build/app/setup_tour.exe
[ -f "$setup" ] && [ -f "$tour" ] || { echo "run: build first (make)" >&2; exit 1; }
if [ ! -f "$WINEPREFIX/.ready" ]; then
  echo "Making the Wine prefix $WINEPREFIX in $where ..."
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "${bed[@]}" wineboot -i >/dev/null 2>&1
  "${bed[@]}" wineserver -w
  # Desktop and the like are folders of the prefix, not links to the home.
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
  done
  touch "$WINEPREFIX/.ready"
fi
if [ -n "${DISPLAY:-}" ]; then
  echo "Starting $setup in $where"
  "${bed[@]}" wine "$setup" || true
  "${bed[@]}" wineserver -w
  "${bed[@]}" wine "$tour" report
else
  echo "No display: driving the wizard under Xvfb in $where"
  xvfb-run -a -s "-screen 0 1024x768x24" \
    "${bed[@]}" wine "$tour" install "$(winpath "$setup")" "$dest"
  "${bed[@]}" wineserver -w
  bash "$root/scripts/screenshots.sh" >/dev/null && echo "Screenshots of every page: build/screenshots"
fi
