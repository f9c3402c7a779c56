#!/usr/bin/env bash
# An hour-long take through SDL's disk driver at 1 ms a callback (far faster than real time):
# `orvane-cli --record 3600 -o take.wav` from the hour of stereo that speed.sh makes. The take
# must be exactly 3600 x 44100 frames (ffprobe), the input's samples byte for byte (cmp) and
# free of dropouts. Prints the wall time, the peak memory (held to 120 MiB) and the process's
# whole CPU time (start, take, peak table, save, close: an upper bound of the capture path's)
# as a share of the take's duration (held to 2 %).
# Usage: bench/record.sh [BUILD_DIR] [SECONDS]   (3600 by default; needs three times the
# take's size in TMPDIR: 2 GB for the hour, 14 GB for 25000 s, a take past 4 GiB)
set -euo pipefail
build=$(realpath "${1:-build}")
secs=${2:-3600}
cli="$build/app/orvane-cli"
[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
data=${ORVANE_BENCH_DATA:-/tmp/orvane-bench-data}
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-record-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$data"
(
  flock 9
  if [ ! -f "$data/sixty.wav" ]; then
    echo "making sixty.wav..." >&2
    sox -n -r 44100 -c 2 -b 16 "$data/.sixty.wav.part.wav" synth 3600 pinknoise synth sine mix 440 vol 0.5
    mv "$data/.sixty.wav.part.wav" "$data/sixty.wav"
  fi
) 9>"$data/.lock"
# The disk driver reads raw samples in the take's format from the first byte.
# Past the hour, the hour again and again (a take past 4 GiB, 6 h 46 min, ends in the RF64 form).
left=$(( secs * 44100 * 4 ))
while [ $left -gt 0 ]; do
  part=$(( left < 635040000 ? left : 635040000 ))
  dd if="$data/sixty.wav" bs=1M iflag=skip_bytes,count_bytes skip=44 count=$part status=none
  left=$(( left - part ))
done > "$work/in.raw"
export TMPDIR=$work XDG_STATE_HOME=$work/state SDL_AUDIODRIVER=disk \
  SDL_DISKAUDIOFILEIN=$work/in.raw SDL_DISKAUDIOFILE=/dev/null SDL_DISKAUDIODELAY=1
/usr/bin/time -v "$cli" --record "$secs" --timings -o "$work/take.wav" 2> "$work/err"
grep '^timing:' "$work/err" || true
if grep -q 'orvane-cli: ' "$work/err"; then grep 'orvane-cli: ' "$work/err"; echo "FAIL: messages" ; fi
wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/err")
rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/err")
user=$(awk -F': ' '/User time/ {print $2}' "$work/err")
sys=$(awk -F': ' '/System time/ {print $2}' "$work/err")
frames=$(ffprobe -v error -show_entries stream=duration_ts -of csv=p=0 "$work/take.wav")
want=$(( secs * 44100 ))
same=miss
header=44
[ "$(head -c 4 "$work/take.wav")" = RF64 ] && header=80
cmp -s <(tail -c +$(( header + 1 )) "$work/take.wav") "$work/in.raw" && same=pass
cpu=$(echo "$user + $sys" | bc)
share=$(echo "scale=3; 100 * $cpu / $secs" | bc)
printf 'take of %s s: wall %s, frames %s (want %s: %s), samples %s, peak memory %d MiB (<= 120: %s), CPU %s s = %s %% of the take (<= 2: %s)\n' \
  "$secs" "$wall" "$frames" "$want" "$([ "$frames" = "$want" ] && echo pass || echo miss)" "$same" \
  $(( rss / 1024 )) "$([ $(( rss / 1024 )) -le 120 ] && echo pass || echo miss)" "$cpu" "$share" \
  "$(echo "$share <= 2" | bc | sed 's/1/pass/;s/0/miss/')"
