# The shell tests' shared checks, sourced: a scratch folder $work removed on
# exit, a count of failures, and the last line that gives the exit status.
#
#   . tests/checks.sh
#   check NAME EXPECTED ACTUAL      equal texts
#   contains NAME PATTERN FILE      grep finds PATTERN in FILE
#   checks_done                     prints the count; exits 1 when any failed
work=$(mktemp -d "${CHECKS_WORK_IN:-${TMPDIR:-/tmp}}/checks.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() {
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}
contains() {
  if grep -q -- "$2" "$3"; then
    echo "ok: $1"
  else
    echo "FAIL: $1: no [$2] in:"
    cat "$3"
    failures=$((failures + 1))
  fi
}
checks_done() {
  echo "$failures failed"
  [ "$failures" = 0 ] || exit 1
  exit 0
}
