#!/usr/bin/env bash
# Builds the three builds and runs the tests: the host tests under the
# sanitizers, the same tests as Windows programs under Wine (the x86_64
# build), the 32-bit shipping build inspected and its Windows tests run in
# the two test beds (a 32-bit Windows and a 64-bit one under WoW64), and the
# fuzz targets. Prints how long each part took and ends with one line of
# totals.
set -uo pipefail
cd "$(dirname "$0")/.."

passed=0
failed=0
skipped=0
status=0

# How long each part took, printed at the end.
parts=()
part_started=0
part() {
  part_end
  part_name=$1
  part_started=$(date +%s)
  echo "== $1"
}
part_end() {
  if [ "$part_started" != 0 ]; then
    parts+=("$(printf '%6d s  %s' $(( $(date +%s) - part_started )) "$part_name")")
    part_started=0
  fi
}

# Every skipped case, named with where it ran and why, for the summary.
skips=()

# Runs a test preset and adds its cases to the totals (scripts/ctest-counts.py:
# a Windows test program is one CTest test but reports its cases, skipped
# ones by name and reason).
run_ctest() {
  local preset=$1 log dir counts line
  shift
  log=$(mktemp)
  ctest --preset "$preset" "$@" 2>&1 | tee "$log"
  dir=build/$preset
  case "$preset" in win32-*) dir=build/win32 ;; esac
  counts=$(python3 scripts/ctest-counts.py "$log" "$dir/Testing/Temporary/LastTest.log")
  read -r p f s <<<"$(head -1 <<<"$counts")"
  passed=$((passed + p))
  failed=$((failed + f))
  skipped=$((skipped + s))
  [ "$f" = 0 ] || status=1
  if ! grep -qE '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log"; then
    echo "test: no test summary from the $preset tests" >&2
  fi
  while IFS= read -r line; do
    [ -n "$line" ] && skips+=("[$preset] $line")
  done < <(tail -n +2 <<<"$counts")
  rm -f "$log"
}

for preset in host win64 win32 fuzz; do
  part "build $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    echo "test: the $preset build failed" >&2
    failed=$((failed + 1))
    status=1
  fi
done

# The 32-bit build's Windows tests, in a 32-bit Windows and in a 64-bit one
# under WoW64. The beds are made once and cached outside the clone. Where the
# kernel runs no 32-bit code (or TESTBED_EMULATE=1 asks for it), every i386
# program goes through qemu-i386 (scripts/emulation.sh) for this run only.
bed_mode=native
if [ "${TESTBED_EMULATE:-0}" = 1 ]; then
  bed_mode=emulated
  bed_why="TESTBED_EMULATE=1"
elif ! reason=$(bash scripts/testbed.sh --probe); then
  if tools=$(bash scripts/testbed.sh --probe-tools) && [ -z "$tools" ]; then
    bed_mode=emulated
    bed_why=$reason
  else
    bed_mode=skipped
  fi
fi
part "tests on the host (sanitizers)"
run_ctest host
# The programs that drive Setup.exe and Uninst.exe through their windows run
# in the x86_64 build only where the beds, which run them on the build users
# receive, cannot.
window_note=
if [ "$bed_mode" = skipped ]; then
  part "tests under Wine (x86_64 Windows build)"
  run_ctest win64
else
  part "tests under Wine (x86_64 Windows build; the window-driving programs run in the beds)"
  run_ctest win64 -LE drives_setup
  n=$(ctest --preset win64 -N -L drives_setup 2>/dev/null | grep -E 'Test +#' | grep -cv wine_prefix_template)
  window_note="not run in the x86_64 build: the ${n:-0} programs that drive Setup.exe and Uninst.exe through their windows; both 32-bit beds run them on the shipping build"
fi
part "the shipping 32-bit Setup.exe and Uninst.exe, inspected"
run_ctest win32

if [ "$bed_mode" = emulated ]; then
  part "the 32-bit emulation (qemu-i386 through binfmt_misc)"
  echo "== the 32-bit programs run emulated: $bed_why"
  trap 'bash scripts/emulation.sh off $$' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  if ! bash scripts/emulation.sh on $$ || ! reason=$(bash scripts/testbed.sh --probe); then
    echo "test: the 32-bit emulation could not be set up${reason:+: $reason}" >&2
    bed_mode=failed
    failed=$((failed + 1))
    status=1
  fi
fi
bed_note=
one_bed_note=
if [ "$bed_mode" = native ] || [ "$bed_mode" = emulated ]; then
  # Programs whose results cannot differ between the two systems (portable
  # code, or nothing the two answer differently) run in the wow64 bed only.
  one=$(ctest --preset win32-wow64 -N -L '^one_bed$' 2>/dev/null | grep -E 'Test +#' |
    grep -v wine_prefix_template | sed 's/.*: //')
  n=$(grep -c . <<<"$one")
  one=$(paste -sd, - <<<"$one" | sed 's/,/, /g')
  one_bed_note="run in the wow64 bed only: the ${n:-0} programs whose results cannot differ between the two 32-bit systems ($one)"
  for bed in i386 wow64; do
    part "the $bed test bed ($bed_mode)"
    if ! bash scripts/testbed.sh "$bed" >/dev/null; then
      echo "test: the $bed test bed could not be made" >&2
      failed=$((failed + 1))
      status=1
      continue
    fi
    part "tests in the $bed test bed (32-bit build, $bed_mode)"
    run_ctest "win32-$bed"
  done
  if [ "$bed_mode" = emulated ]; then
    bed_note=" The 32-bit beds ran emulated through qemu-i386."
    bash scripts/emulation.sh off $$
    trap - EXIT INT TERM
  fi
elif [ "$bed_mode" = skipped ]; then
  part_end
  n=0
  for bed in i386 wow64; do
    t=$(ctest --preset "win32-$bed" -N 2>/dev/null | sed -n 's/^Total Tests: *//p')
    n=$((n + ${t:-0}))
  done
  why="$reason; $tools"
  skipped=$((skipped + n))
  skips+=("[win32-i386, win32-wow64] every test program ($n): the beds cannot run here: $why")
  bed_note=" The shipping 32-bit build's Windows tests did not run: neither test bed runs here or can be emulated: $why."
  if [ "${CI:-}" = true ]; then
    # CI must run the build users receive.
    echo "test: the 32-bit test beds cannot run, and CI requires them: $why" >&2
    failed=$((failed + 1))
    status=1
  else
    echo "== the 32-bit test beds are skipped ($n tests): $why"
  fi
fi

part "fuzz targets, a short run of each (make fuzz runs them longer)"
fuzzlog=$(mktemp)
bash scripts/fuzz.sh "${FUZZ_SECONDS:-10}" 2 | tee "$fuzzlog"
ok=$(grep -c '(exit 0)$' "$fuzzlog")
bad=$((6 - ok))
passed=$((passed + ok))
failed=$((failed + bad))
[ "$bad" = 0 ] || status=1
rm -f "$fuzzlog"
part_end

echo
echo "time taken:"
printf '%s\n' "${parts[@]}"
total=0
for p in "${parts[@]}"; do
  total=$((total + $(awk '{print $1}' <<<"$p")))
done
printf '%6d s  %s\n' "$total" "all parts"
if [ "${#skips[@]}" -gt 0 ]; then
  echo
  echo "skipped (${#skips[@]}):"
  printf '  %s\n' "${skips[@]}"
fi
for note in "$window_note" "$one_bed_note"; do
  [ -n "$note" ] && printf '\n%s.\n' "$note"
done
echo
echo "all: $passed passed, $failed failed, $skipped skipped.$bed_note"
exit "$status"
