#!/usr/bin/env bash
# Feeds every file of the malformed corpus to orvane-cli: --info, then a save of what loaded.
# Fails when a run crashes, prints a sanitizer report, outlives its time limit, fails without a
# clear message, or saves a file that does not load back with the same frames. A file that
# loads less or more sound than it declares must say so in a warning.
# Usage: tests/malformed/run.sh ORVANE_CLI [SEED] [SECONDS_PER_FILE]
# Writes a one-line outcome per file to $ORVANE_MALFORMED_REPORT when that is set.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$1
seed=${2:-1}
limit=${3:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
corpus=$work/corpus
python3 "$here/make_corpus.py" --seed "$seed" --mp3 "$here/../../data/demo/demo.mp3" "$corpus" \
  >/dev/null || exit 1
export TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
mkdir -p "$TMPDIR"
# Errors the sanitizers find in system libraries are still errors: report them all.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
report=${ORVANE_MALFORMED_REPORT:-$work/report}
: >"$report"
failures=0 loaded=0 warned=0 refused=0 total=0

fail() {
  echo "FAIL $name: $*" >&2
  sed 's/^/    /' "$work/err" | head -20 >&2
  failures=$((failures + 1))
}

frames_of() { sed -n 's/^Frames: //p' "$1"; }

while IFS=$'\t' read -r name what; do
  total=$((total + 1))
  input=$corpus/$name
  out=$work/out.wav
  rm -f "$out"
  timeout -k 5 "$limit" "$cli" "$input" --info -o "$out" >"$work/info" 2>"$work/err" </dev/null
  status=$?
  if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    fail "no answer within ${limit}s ($what)"
    continue
  fi
  if grep -qE 'Sanitizer|runtime error:' "$work/err"; then
    fail "sanitizer report ($what)"
    continue
  fi
  if [ $status -ge 128 ]; then
    fail "killed by signal $((status - 128)) ($what)"
    continue
  fi
  case $status in
    0)
      frames=$(frames_of "$work/info")
      if [ -z "$frames" ] || [ ! -f "$out" ]; then
        fail "reported success without the information or the saved file ($what)"
        continue
      fi
      warning=$(tr -d '\r' <"$work/err" | sed -n 's/^\x1b\[Korvane-cli: warning: //p' | head -1)
      # What was saved loads back to the same length.
      timeout -k 5 "$limit" "$cli" "$out" --info >"$work/info2" 2>"$work/err" </dev/null
      if [ "$(frames_of "$work/info2")" != "$frames" ]; then
        fail "the saved file does not load back with $frames frames ($what)"
        continue
      fi
      if grep -q 'warning:' "$work/err"; then
        fail "the saved file loads back with a warning ($what)"
        continue
      fi
      loaded=$((loaded + 1))
      [ -n "$warning" ] && warned=$((warned + 1))
      printf '%s\tloaded %s frames, %s ch, %s Hz%s\n' "$name" "$frames" \
        "$(sed -n 's/^Channels: //p' "$work/info")" \
        "$(sed -n 's/^Sample rate: \([0-9]*\).*/\1/p' "$work/info")" \
        "${warning:+ ($warning)}" >>"$report"
      ;;
    1)
      message=$(tr -d '\r' <"$work/err" | sed -n 's/^\x1b\[Korvane-cli: error: //p; s/^orvane-cli: error: //p' |
        head -1)
      if [ -z "$message" ]; then
        fail "failed without a message ($what)"
        continue
      fi
      if [ -e "$out" ]; then
        fail "failed but left an output file ($what)"
        continue
      fi
      refused=$((refused + 1))
      printf '%s\trefused: %s\n' "$name" "$message" >>"$report"
      ;;
    *)
      fail "exit status $status ($what)"
      continue
      ;;
  esac
  leftovers=$(find "$TMPDIR" -mindepth 1 | head -3)
  if [ -n "$leftovers" ]; then
    fail "left temporary files behind: $leftovers"
    rm -rf "${TMPDIR:?}"/*
  fi
done <"$corpus/MANIFEST"

echo "malformed corpus (seed $seed): $total files, $loaded loaded ($warned of them with a warning)," \
  "$refused refused with a message, $failures failures"
[ $failures -eq 0 ]
