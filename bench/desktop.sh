#!/usr/bin/env bash
# The desktop editor under Xvfb: time from start to the first paint of the loaded waveform for 10
# minutes of MP3 and WAV, beside orvane-cli's load of the same file, side by side in one run;
# the open of the hour MP3 to the first paint with some of its waveform (the view draws a load
# as it comes); start to a painted empty window; and the peak memory with an hour of stereo
# open and playing.
# Usage: bench/desktop.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-5}
if [ -z "${ORVANE_BENCH_XVFB:-}" ]; then
  export ORVANE_BENCH_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$build" "$runs"
fi
gui="$build/app/orvane"
cli="$build/app/orvane-cli"
data=${ORVANE_BENCH_DATA:-${TMPDIR:-/tmp}/orvane-bench-data}
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export TMPDIR=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime XDG_STATE_HOME=$work/state
export SDL_AUDIODRIVER=dummy
mkdir -p "$data"

make_wav() {  # seconds file
  [ -f "$2" ] || sox -n -r 44100 -c 2 -b 16 "$2" synth "$1" pinknoise sine 440 gain -6
}
make_mp3() {  # wav mp3
  [ -f "$2" ] || lame --quiet -b 192 "$1" "$2"
}
echo "making test material (once)..." >&2
make_wav 600 "$data/ten.wav"
make_wav 3600 "$data/hour.wav"
make_mp3 "$data/ten.wav" "$data/ten-192.mp3"

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# The seconds a program reports on standard error as "timing: WHAT S".
reported() {  # what command...
  local what=$1; shift
  "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  awk -v w="$what" '$1 == "timing:" && $2 == w {print $3}' "$work/err" | tail -1
}

echo "== start to first paint of the waveform vs orvane-cli's load, median seconds of $runs =="
printf '%-14s %12s %12s %10s\n' file first-paint cli-load difference
for f in ten-192.mp3 ten.wav; do
  g=""; c=""
  for ((i = 0; i < runs; i++)); do
    g+="$(reported first-paint "$gui" "$data/$f" --timings --exit-after-paint) "
    c+="$(reported load "$cli" "$data/$f" --timings) "
  done
  mg=$(echo "$g" | median); mc=$(echo "$c" | median)
  printf '%-14s %12.3f %12.3f %10.3f\n' "$f" "$mg" "$mc" "$(echo "$mg - $mc" | bc -l)"
done

echo "== the hour MP3: open to the first paint that shows some of its waveform, median seconds of $runs =="
make_mp3 "$data/hour.wav" "$data/hour-192.mp3"
p=""; e=""
for ((i = 0; i < runs; i++)); do
  "$gui" "$data/hour-192.mp3" --timings --exit-after-paint >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  p+="$(awk '$1 == "timing:" && $2 == "open-to-pixels" {print $3}' "$work/err" | tail -1) "
  e+="$(awk '$1 == "timing:" && $2 == "first-paint" {print $3}' "$work/err" | tail -1) "
done
mp=$(echo "$p" | median)
printf 'open-to-pixels %.3f (target 0.300: %s); start to the whole waveform %.3f\n' "$mp" \
  "$(echo "$mp <= 0.3" | bc -l | sed 's/1/met/; s/0/missed/')" "$(echo "$e" | median)"

echo "== start to a painted empty window, median seconds of $runs =="
w=""
for ((i = 0; i < runs; i++)); do w+="$(reported window-paint "$gui" --timings --exit-after-paint) "; done
printf 'window-paint %.3f\n' "$(echo "$w" | median)"

echo "== peak memory with an hour of stereo open and playing =="
/usr/bin/time -f '%M' -o "$work/rss" "$gui" "$data/hour.wav" --timings 2>"$work/gui-err" &
tpid=$!
win=$(timeout 60 xdotool search --sync --onlyvisible --class orvane | head -1)
# Loaded once the waveform has been painted.
for _ in $(seq 1 600); do grep -q "first-paint" "$work/gui-err" && break; sleep 0.2; done
xdotool windowfocus --sync "$win" key ctrl+p
sleep 10
xdotool windowfocus --sync "$win" key ctrl+t
xdotool windowfocus --sync "$win" key alt+f x
wait "$tpid" || true
printf 'peak RSS %.1f MiB\n' "$(echo "$(cat "$work/rss") / 1024" | bc -l)"
