# What the Windows test scripts share: a named check that passes or fails, and the count at the
# end. Sourced, not run.
passes=0
failures=0
ok() { echo "ok: $1"; passes=$((passes + 1)); }
failed() { echo "FAILED: $1"; failures=$((failures + 1)); }
check() { if [ "$2" = "$3" ]; then ok "$1"; else failed "$1: got '$2', expected '$3'"; fi; }
finish() {
  echo "$passes passed, $failures failed"
  exit $((failures > 0))
}
