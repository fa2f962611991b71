#!/usr/bin/env bash
# make run: starts Setup.exe (the x86_64 test build of the wizard, carrying
# the sample product) under Wine in the prefix build/run-prefix.
#  - On a display, the wizard is yours to drive; afterwards the script prints
#    where the files, the shortcuts and the uninstall key went.
#  - Without one, it drives the wizard itself under Xvfb through a whole
#    installation into "C:\Program Files\Norvane Soft\Drawlet" and prints the
#    same, with screenshots of every page in build/screenshots.
# RUN_PREFIX chooses another prefix; delete it to start afresh.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win64
export WINEPREFIX=${RUN_PREFIX:-$root/build/run-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
# The Chinese texts need a Chinese locale to render.
export LC_ALL=zh_CN.UTF-8
winpath() { echo "Z:${1//\//\\}"; }
setup=$build/app/Setup.exe
tour=$build/app/setup_tour.exe
[ -f "$setup" ] && [ -f "$tour" ] || { echo "run: build first (make)" >&2; exit 1; }
if [ ! -f "$WINEPREFIX/.ready" ]; then
  echo "Making the Wine prefix $WINEPREFIX ..."
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # Desktop and the like are folders of the prefix, not links to the home.
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
  done
  touch "$WINEPREFIX/.ready"
fi
if [ -n "${DISPLAY:-}" ]; then
  echo "Starting $setup"
  wine "$setup" || true
  wineserver -w
  wine "$tour" report
else
  echo "No display: driving the wizard under Xvfb"
  xvfb-run -a -s "-screen 0 1024x768x24" \
    wine "$tour" install "$(winpath "$setup")" 'C:\Program Files\Norvane Soft\Drawlet'
  wineserver -w
  bash "$root/scripts/screenshots.sh" >/dev/null && echo "Screenshots of every page: build/screenshots"
fi
