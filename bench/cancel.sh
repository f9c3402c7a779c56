#!/usr/bin/env bash
# Cancel at 10 random moments of each long operation (load, WAV save, MP3 save, invert, normalize,
# delete, paste, fade in) on a stereo sound of SECONDS (an hour unless given): each cancel must
# leave the samples, the history, the modified flag and the temporary and target folders as
# they were (tests/document/cancel_test.cpp). Prints per operation how many of the 10 moments
# cancelled and how long the case took. Needs about 3 GB free in the temporary folder.
# Usage: bench/cancel.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-3600}
tests="$build/tests/document/wavfile_tests"
[ -x "$tests" ] || { echo "no $tests: build first" >&2; exit 1; }
xml=$(mktemp "${TMPDIR:-/tmp}/orvane-cancel-XXXXXX.xml")
log=${xml%.xml}.log
status=0
ORVANE_CANCEL_SECONDS=$seconds "$tests" --gtest_filter='Operations/Cancelling.*' \
  --gtest_output="xml:$xml" >"$log" 2>&1 || status=$?
printf '%-10s %9s %9s  %s\n' operation cancelled seconds result
# Per operation: its name, the moments that cancelled (a property of the test case), its time.
python3 - "$xml" "$log" <<'PY'
import sys, xml.etree.ElementTree as ET
log = open(sys.argv[2], errors="replace").read()
for case in ET.parse(sys.argv[1]).iter("testcase"):
    name = case.get("value_param")
    props = {p.get("name"): p.get("value") for p in case.iter("property")}
    failed = case.find("failure") is not None
    print(f"{name:<10} {props.get('cancelled', '-'):>6}/10 {float(case.get('time')):9.1f}  "
          f"{'FAILED' if failed else 'ok'}")
PY
echo "($seconds s of stereo)"
[ "$status" -eq 0 ] || { echo "failed; the log: $log" >&2; exit "$status"; }
rm -f "$xml" "$log"
