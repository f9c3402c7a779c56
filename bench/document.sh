#!/usr/bin/env bash
# Opening, editing and saving an hour of stereo audio with orvane-cli, side by side in one run
# with the peer commands: ffmpeg (decoding), cp (the copy limit), sox (effects), lame (MP3).
# Usage: bench/document.sh [BUILD_DIR] [RUNS] [SECTIONS...]   sections: open effects mp3
# Prints medians in seconds, ratios, and orvane-cli's peak memory (max RSS).
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-3}
shift $(( $# > 2 ? 2 : $# )) || true
sections=${*:-open effects mp3}
cli="$build/app/orvane-cli"
data=${ORVANE_BENCH_DATA:-${TMPDIR:-/tmp}/orvane-bench-data}
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
mkdir -p "$data"

wav=$data/hour.wav
mp3=$data/hour-192.mp3
if [ ! -f "$wav" ]; then
  echo "making an hour of stereo audio..." >&2
  sox -n -r 44100 -c 2 -b 16 "$wav" synth 3600 pinknoise sine 440 gain -6
fi
if [ ! -f "$mp3" ]; then
  echo "encoding it at 192 kbit/s..." >&2
  lame --quiet -b 192 "$wav" "$mp3"
fi
frames=$((44100 * 3600))

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
declare -A t
# Wall time and max RSS (KiB) of a command.
timed() { sync; /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }; cat "$work/time"; }
add() { t[$1]+="$2 "; }
row() { printf '%-28s %8.3f %8.2f\n' "$1" "$2" "$(echo "$2 / $3" | bc -l)"; }

if [[ " $sections " == *" open "* ]]; then
  rss_max=0
  for ((i = 0; i < runs; i++)); do
    for src in mp3 wav; do
      f=$([ $src = mp3 ] && echo "$mp3" || echo "$wav")
      read -r e _ < <(timed ffmpeg -nostdin -loglevel error -y -i "$f" -c:a pcm_s16le "$work/ff.wav"); add "ffmpeg-$src" "$e"
      rm -f "$work/ff.wav"
      read -r e rss < <(timed "$cli" "$f" -o "$work/ov.wav"); add "orvane-$src" "$e"
      rm -f "$work/ov.wav"
      (( rss > rss_max )) && rss_max=$rss
    done
  done
  echo "== open and save as WAV (seconds, x ffmpeg) =="
  for src in mp3 wav; do
    ff=$(echo "${t[ffmpeg-$src]}" | median)
    row "ffmpeg $src" "$ff" "$ff"
    row "orvane-cli $src" "$(echo "${t[orvane-$src]}" | median)" "$ff"
  done
  echo "orvane-cli peak memory: $((rss_max / 1024)) MiB"
fi

if [[ " $sections " == *" effects "* ]]; then
  # One edit per run, on a freshly opened document, as a user would apply it; the versions of
  # a long chain of edits would otherwise pile up in the page cache and measure writeback.
  steps=("--fade-in 0:$frames" "--fade-out 0:$frames" "--normalize 95" "--amplify 150" "--reverse"
         "--invert" "--insert-silence $((frames / 2)):44100" "--delete 0:$((frames / 2))"
         "--copy 0:441000 --paste 0")
  rss_max=0
  for ((i = 0; i < runs; i++)); do
    read -r e _ < <(timed cp "$wav" "$work/cp.wav"); add cp "$e"; rm -f "$work/cp.wav"
    for step in "${steps[@]}"; do
      # shellcheck disable=SC2086
      sync
      /usr/bin/time -f '%M' -o "$work/rss" "$cli" "$wav" --timings $step 2>"$work/timings" >/dev/null
      rss=$(cat "$work/rss"); (( rss > rss_max )) && rss_max=$rss
      while read -r _ name secs; do [ "$name" = load ] || add "ov-$name" "$secs"; done < <(grep '^timing:' "$work/timings")
    done
    for eff in "vol 1.5" "reverse" "norm -0.4" "fade q 3600 0" "fade q 0 3600 3600"; do
      read -r e _ < <(timed sox "$wav" "$work/sox.wav" $eff); add "sox-$eff" "$e"; rm -f "$work/sox.wav"
    done
  done
  cpm=$(echo "${t[cp]}" | median)
  echo "== effects and edits on the hour (seconds, x cp; each includes its peak rebuild) =="
  row "cp" "$cpm" "$cpm"
  for step in fade-in fade-out normalize amplify reverse invert insert-silence delete copy paste; do
    row "orvane $step" "$(echo "${t[ov-$step]}" | median)" "$cpm"
  done
  echo "== sox doing the same (seconds, x cp) =="
  for eff in "vol 1.5" "reverse" "norm -0.4" "fade q 3600 0" "fade q 0 3600 3600"; do
    row "sox $eff" "$(echo "${t[sox-$eff]}" | median)" "$cpm"
  done
  echo "orvane-cli peak memory: $((rss_max / 1024)) MiB"
fi

if [[ " $sections " == *" mp3 "* ]]; then
  for ((i = 0; i < runs; i++)); do
    read -r e _ < <(timed lame --quiet -q 5 -b 192 -m s --noreplaygain "$wav" "$work/lame.mp3"); add lame "$e"; rm -f "$work/lame.mp3"
    "$cli" "$wav" --timings --bitrate 192 -o "$work/ov.mp3" 2>"$work/timings" >/dev/null
    add ov-mp3 "$(awk '$2 == "save" {print $3}' "$work/timings")"; rm -f "$work/ov.mp3"
  done
  lm=$(echo "${t[lame]}" | median)
  echo "== MP3 save at 192 kbit/s CBR (seconds, x lame -q 5 -b 192 -m s --noreplaygain: the same settings) =="
  row "lame" "$lm" "$lm"
  row "orvane-cli save" "$(echo "${t[ov-mp3]}" | median)" "$lm"
fi
