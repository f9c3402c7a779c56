#!/usr/bin/env bash
# Opening WAV and MP3 beside ffmpeg decoding the same file, alternately in one loop: orvane-cli's
# --timings load against `ffmpeg -i X -c:a pcm_s16le out.wav`, and the CPU time (user + system) of each process;
# the WAV also beside `cp` of the same file into the same folder (the floor where nothing is shared).
# Then the MP3 again with its decode forced into 1, 2, 4 and 8 parts (ORVANE_MP3_PARTS), each
# part on a thread of its own: how the split scales on this machine.
# Usage: bench/open.sh [BUILD_DIR] [RUNS] [LENGTH]   length: ten (default) or sixty
set -euo pipefail
cli=$(realpath "${1:-build}")/app/orvane-cli
runs=${2:-3}
len=${3:-ten}
data=${ORVANE_BENCH_DATA:-/tmp/orvane-bench-data}
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-open-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
[ -f "$data/$len.wav" ] && [ -f "$data/$len-192.mp3" ] || { echo "run bench/speed.sh first" >&2; exit 1; }
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
declare -A t
for ((i = 0; i < runs; i++)); do
  for src in wav mp3; do
    f=$data/$len.wav; [ $src = mp3 ] && f=$data/$len-192.mp3
    /usr/bin/time -f '%e %U %S' -o "$work/t" ffmpeg -nostdin -loglevel error -y -i "$f" -c:a pcm_s16le "$work/ff.wav"
    read -r wall u s <"$work/t"; cpu=$(echo "$u + $s" | bc); t[ff-$src]+="$wall "; t[ffcpu-$src]+="$cpu "; rm -f "$work/ff.wav"
    if [ $src = wav ]; then
      /usr/bin/time -f '%e' -o "$work/t" cp "$f" "$work/cp.wav"; t[cp]+="$(cat "$work/t") "; rm -f "$work/cp.wav"
    fi
    /usr/bin/time -f '%e %U %S' -o "$work/t" "$cli" "$f" --timings 2>"$work/timings" >/dev/null
    read -r _ u s <"$work/t"; cpu=$(echo "$u + $s" | bc); t[ovcpu-$src]+="$cpu "
    t[ov-$src]+="$(awk '$2 == "load" {print $3}' "$work/timings") "
  done
done
printf '%-10s %10s %10s %7s %12s %12s\n' "$len" "load" "ffmpeg" "ratio" "cpu ours" "cpu ffmpeg"
for src in wav mp3; do
  ov=$(echo "${t[ov-$src]}" | median); ff=$(echo "${t[ff-$src]}" | median)
  printf '%-10s %10.3f %10.3f %7.2f %12.2f %12.2f\n' "$src" "$ov" "$ff" "$(echo "$ov / $ff" | bc -l)" \
    "$(echo "${t[ovcpu-$src]}" | median)" "$(echo "${t[ffcpu-$src]}" | median)"
done
cp=$(echo "${t[cp]}" | median); ov=$(echo "${t[ov-wav]}" | median)
printf '%-10s %10.3f %10.3f %7.2f   (the WAV load beside cp of the same file)\n' "wav vs cp" "$ov" "$cp" \
  "$(echo "$ov / $cp" | bc -l)"
printf '%-10s %10s %7s %12s   (%s hardware threads)\n' "mp3 parts" "load" "x 1" "cpu ours" "$(nproc)"
for ((i = 0; i < runs; i++)); do
  for n in 1 2 4 8; do
    ORVANE_MP3_PARTS=$n /usr/bin/time -f '%e %U %S' -o "$work/t" "$cli" "$data/$len-192.mp3" --timings \
      2>"$work/timings" >/dev/null
    read -r _ u s <"$work/t"; t[pcpu-$n]+="$(echo "$u + $s" | bc) "
    t[p-$n]+="$(awk '$2 == "load" {print $3}' "$work/timings") "
  done
done
one=$(echo "${t[p-1]}" | median)
for n in 1 2 4 8; do
  p=$(echo "${t[p-$n]}" | median)
  printf '%-10s %10.3f %7.2f %12.2f\n' "$n" "$p" "$(echo "$p / $one" | bc -l)" "$(echo "${t[pcpu-$n]}" | median)"
done
