#!/usr/bin/env bash
# The waveform drawing: the redraw and cursor update at 1920x400 on a minute and an hour of
# stereo audio (build/bench/display_bench), the spectrogram's first computation, its redraw from
# cached columns (at most 100 ms for the hour) and the memory it adds (flat: no more for the hour
# than for the minute), orvane-cli --render beside ffmpeg's showwavespic on 10 and 60 minutes of
# MP3, and --render-spectrogram of the hour, in one run.
# Usage: bench/display.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-3}
cli="$build/app/orvane-cli"
data=${ORVANE_BENCH_DATA:-${TMPDIR:-/tmp}/orvane-bench-data}
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
mkdir -p "$data"

make_wav() {  # seconds file
  [ -f "$2" ] || sox -n -r 44100 -c 2 -b 16 "$2" synth "$1" pinknoise sine 440 gain -6
}
make_mp3() {  # wav mp3
  [ -f "$2" ] || lame --quiet -b 192 "$1" "$2"
}
echo "making test material (once)..." >&2
make_wav 60 "$data/minute.wav"
make_wav 600 "$data/ten.wav"
make_wav 3600 "$data/hour.wav"
make_mp3 "$data/ten.wav" "$data/ten-192.mp3"
make_mp3 "$data/hour.wav" "$data/hour-192.mp3"

echo "== redraw at 1920x400, median ms (display_bench) =="
"$build/bench/display_bench" "$data/minute.wav" "$data/hour.wav" | sed "s|$data/||"

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timed() { /usr/bin/time -f '%e' -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }; cat "$work/time"; }

echo "== --render vs ffmpeg showwavespic at 1920x400, median seconds of $runs =="
printf '%-16s %10s %10s %8s\n' file orvane ffmpeg ratio
for f in ten-192.mp3 hour-192.mp3; do
  o=""; p=""
  for ((i = 0; i < runs; i++)); do
    o+="$(timed "$cli" "$data/$f" --render "$work/o.png" --size 1920x400) "
    p+="$(timed ffmpeg -v error -y -i "$data/$f" -filter_complex showwavespic=s=1920x400 -frames:v 1 "$work/p.png") "
  done
  mo=$(echo "$o" | median); mp=$(echo "$p" | median)
  printf '%-16s %10.3f %10.3f %8.2f\n' "$f" "$mo" "$mp" "$(echo "$mo / $mp" | bc -l)"
done

echo "== --render-spectrogram at 1920x400, median seconds of $runs, peak memory =="
printf '%-16s %10s %10s\n' file seconds MiB
for f in minute.wav hour.wav; do
  o=""
  for ((i = 0; i < runs; i++)); do
    o+="$(timed "$cli" "$data/$f" --render-spectrogram "$work/s.png" --size 1920x400) "
  done
  /usr/bin/time -f '%M' -o "$work/mem" "$cli" "$data/$f" --render-spectrogram "$work/s.png" \
    --size 1920x400 2>/dev/null
  printf '%-16s %10.3f %10.1f\n' "$f" "$(echo "$o" | median)" "$(echo "$(cat "$work/mem") / 1024" | bc -l)"
done
