#!/usr/bin/env bash
# Sounds past every 32-bit limit, end to end through orvane-cli: a 7-hour stereo FLAC (4.4 GB of
# samples, an RF64 version) and a 14-hour mono one (2.2 billion frames, past 2^31) are opened,
# amplified, the amplify undone, and saved as WAV (RF64: ffprobe must count every frame) and as
# FLAC; both must decode bit for bit to the 16-bit source (ffmpeg's MD5 of the samples). Peak memory of each run comes from
# /usr/bin/time -v and is held to 120 MiB.
# Usage: bench/long.sh [BUILD_DIR] [LENGTHS...]   lengths: stereo7 mono14 (default both)
# Needs about 25 GB free in TMPDIR (the material, one version, its undo and the saved file) and
# takes some minutes per length on a two-core machine.
set -euo pipefail
build=$(realpath "${1:-build}")
shift $(( $# > 0 ? 1 : 0 )) || true
lengths=${*:-stereo7 mono14}
cli="$build/app/orvane-cli"
[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
data=${ORVANE_BENCH_DATA:-/tmp/orvane-bench-data}
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-long-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
mkdir -p "$data"
limit_mib=120

# Made once, under the same lock as the other benchmarks' material, and never deleted here.
material() {
  local name=$1 channels=$2 secs=$3
  (
    flock 9
    if [ ! -f "$data/$name.flac" ]; then
      echo "making $name.flac ($secs s, $channels channels at 44.1 kHz)..." >&2
      ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$secs" \
        -af "volume=0.5" -ac "$channels" -sample_fmt s16 -c:a flac -compression_level 0 \
        -f flac "$data/.$name.flac.part"
      mv "$data/.$name.flac.part" "$data/$name.flac"
    fi
  ) 9>"$data/.lock"
}

frames() { ffprobe -v error -select_streams a:0 -show_entries stream=duration_ts -of csv=p=0 "$1"; }
md5() { ffmpeg -v error -i "$1" -f s16le -acodec pcm_s16le -f md5 - ; }
# Runs orvane-cli with --timings; prints its timing lines and leaves the peak RSS in $rss (KiB).
run() {
  /usr/bin/time -v -o "$work/time" "$cli" "$@" --timings >/dev/null 2>"$work/err" ||
    { echo "failed: orvane-cli $*" >&2; cat "$work/err" >&2; exit 1; }
  grep '^timing:' "$work/err" | sed 's/^/    /'
  rss=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$work/time")
  wall=$(awk '/Elapsed \(wall clock\)/ {print $NF}' "$work/time")
}
verdict() { [ "$1" = "$2" ] && echo pass || echo "MISS ($1 against $2)"; }
mib_verdict() { [ $(( $1 / 1024 )) -le $limit_mib ] && echo pass || echo miss; }

for len in $lengths; do
  case $len in
    stereo7) material stereo7 2 25200 ;;
    mono14) material mono14 1 50400 ;;
    *) echo "unknown length $len (stereo7 or mono14)" >&2; exit 2 ;;
  esac
  src=$data/$len.flac
  want=$(frames "$src")
  sum=$(md5 "$src")
  echo "== $len: $want frames"

  echo "  open, amplify 150 %, undo, save as WAV"
  run "$src" --amplify 150 --undo -o "$work/out.wav"
  got=$(frames "$work/out.wav")
  head=$(head -c 4 "$work/out.wav")
  printf '  %-44s %s\n' "WAV wall time" "$wall"
  printf '  %-44s %s\n' "WAV header" "$head"
  printf '  %-44s %s\n' "WAV frames (ffprobe)" "$got: $(verdict "$got" "$want")"
  printf '  %-44s %s\n' "WAV samples bit for bit (ffmpeg MD5)" "$(verdict "$(md5 "$work/out.wav")" "$sum")"
  printf '  %-44s %s\n' "peak memory (MiB)" "$(( rss / 1024 )): $(mib_verdict "$rss")"
  rm -f "$work/out.wav"

  echo "  open, save as FLAC"
  run "$src" -o "$work/out.flac"
  printf '  %-44s %s\n' "FLAC wall time" "$wall"
  b=$(md5 "$work/out.flac")
  printf '  %-44s %s\n' "FLAC frames (ffprobe)" "$(frames "$work/out.flac"): $(verdict "$(frames "$work/out.flac")" "$want")"
  printf '  %-44s %s\n' "FLAC samples bit for bit (ffmpeg MD5)" "$(verdict "$b" "$sum")"
  printf '  %-44s %s\n' "peak memory (MiB)" "$(( rss / 1024 )): $(mib_verdict "$rss")"
  rm -f "$work/out.flac"
done
