# Shared by the packaging tests: a failed check is reported and counted, and the run goes on.
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# The test's end: its verdict and exit status.
finish() {
  [ $failures -eq 0 ] && echo "all passed"
  exit $((failures > 0))
}
