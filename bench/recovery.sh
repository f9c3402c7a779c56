#!/usr/bin/env bash
# Crash recovery, N runs: orvane-cli killed with SIGKILL at a random moment of a random script
# of edits, effects, undos, redos and saves, each restart checked against a model of the steps
# reported done (tests/app/cli_recover_test.cpp). Prints how the runs ended and the failures.
# Usage: bench/recovery.sh [BUILD_DIR] [N] [SECONDS]   (defaults: build 200 30)
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-200}
seconds=${3:-30}
tests="$build/tests/app/cli_tests"
[ -x "$tests" ] || { echo "no $tests: build first" >&2; exit 1; }
log=$(mktemp "${TMPDIR:-/tmp}/orvane-recovery-XXXXXX.log")
start=$EPOCHREALTIME
status=0
ORVANE_KILL_RUNS=$runs ORVANE_KILL_SECONDS=$seconds \
  "$tests" --gtest_filter='Recovery.AKilledRunComesBackAsItsStepsLeftIt' >"$log" 2>&1 || status=$?
grep '^runs ' "$log" || true
echo "failures: $(grep -c 'Failure$' "$log" || true)"
printf 'wall time: %.0f s (%s s of stereo)\n' "$(echo "$EPOCHREALTIME - $start" | bc -l)" "$seconds"
[ "$status" -eq 0 ] || { echo "failed; the log: $log" >&2; exit "$status"; }
rm -f "$log"
