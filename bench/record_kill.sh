#!/usr/bin/env bash
# SIGKILL during a 20 s real-time take (SDL's disk driver at its own pace) at a random moment,
# RUNS times: each time `orvane-cli --recover` must bring back a take at least as long as the
# time the take had run less one second, and equal to the input's start byte for byte.
# Usage: bench/record_kill.sh [BUILD_DIR] [RUNS]   (20 by default; about 12 s a run)
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-20}
cli="$build/app/orvane-cli"
[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-record-kill-XXXXXX")
trap 'rm -rf "$work"' EXIT
rate=44100
# 25 s of stereo noise: longer than any take, so the driver never pads with silence.
head -c $(( rate * 4 * 25 )) /dev/urandom > "$work/in.raw"
export TMPDIR=$work XDG_STATE_HOME=$work/state SDL_AUDIODRIVER=disk \
  SDL_DISKAUDIOFILEIN=$work/in.raw SDL_DISKAUDIOFILE=/dev/null
unset SDL_DISKAUDIODELAY
pass=0 worst=
for run in $(seq "$runs"); do
  ms=$(( 1000 + RANDOM % 18000 ))
  "$cli" --record 20 --rate $rate -o "$work/never.wav" &
  pid=$!
  # The take begins when its version file is made, right before the device starts.
  while ! compgen -G "$work/~ov??????" > /dev/null; do sleep 0.005; done
  start=$(date +%s%N)
  sleep "$(echo "scale=3; $ms / 1000" | bc)"
  elapsed=$(echo "scale=3; ($(date +%s%N) - $start) / 1000000000" | bc)
  kill -9 $pid
  wait $pid 2>/dev/null || true
  id=$("$cli" --recover-list | cut -f1 | head -1)
  result=miss
  if [ -n "$id" ] && "$cli" --recover "$id" -o "$work/back.wav"; then
    bytes=$(( $(stat -c %s "$work/back.wav") - 44 ))
    got=$(echo "scale=3; $bytes / ($rate * 4)" | bc)
    if cmp -s -n $bytes <(tail -c +45 "$work/back.wav") "$work/in.raw" &&
       [ "$(echo "$got >= $elapsed - 1" | bc)" = 1 ]; then
      result=pass
      pass=$(( pass + 1 ))
    fi
    short=$(echo "$elapsed - $got" | bc)
    if [ -z "$worst" ] || [ "$(echo "$short > $worst" | bc)" = 1 ]; then worst=$short; fi
  else
    got=none
  fi
  printf 'run %2d: killed after %6.3f s, recovered %6s s: %s\n' "$run" "$elapsed" "$got" "$result"
  rm -f "$work/back.wav"
done
echo "$pass of $runs runs recovered (>= elapsed - 1 s, bit for bit); the most lost: ${worst:-?} s"
