#!/usr/bin/env bash
# A fade of the last 10 s of an hour of stereo, with the temporary folder on XFS (blocks shared
# between versions) and on the machine's own temporary folder (ext4 here: a whole copy), side by
# side: the step's time from --timings and the history's bytes on disk from --info, which counts
# shared blocks once. Also the open of the hour WAV on both. Needs root for the loop mount.
# Usage: bench/clones.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-3}
cli="$build/app/orvane-cli"
[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "needs root to mount an XFS image" >&2; exit 1; }
work=$(mktemp -d)
mnt=$work/xfs
cleanup() { umount "$mnt" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$mnt" "$work/ext"
truncate -s 3G "$work/xfs.img"
mkfs.xfs -q -m reflink=1 "$work/xfs.img"
mount -o loop "$work/xfs.img" "$mnt"
frames=$((3600 * 44100))
for place in "$mnt" "$work/ext"; do
  sox -n -r 44100 -c 2 -b 16 "$place/hour.wav" synth 3600 sine 440 gain -6
done

# Median of the runs' "timing: NAME SECONDS" for one name.
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

for place in "$mnt" "$work/ext"; do
  fs=$(df -T "$place" | awk 'NR == 2 {print $2}')
  fades=() opens=() history=0
  for ((i = 0; i < runs; i++)); do
    out=$(TMPDIR=$place "$cli" "$place/hour.wav" --timings --fade-out $((frames - 441000)):$frames \
      --info 2>&1 >"$work/info")
    fades+=("$(awk '$1 == "timing:" && $2 == "fade-out" {print $3}' <<<"$out")")
    opens+=("$(awk '$1 == "timing:" && $2 == "load" {print $3}' <<<"$out")")
    history=$(awk -F': ' '/^History on disk/ {print $2}' "$work/info")
  done
  printf '%-5s fade of the last 10 s of the hour: %s s (median of %d), history on disk %s; open %s s\n' \
    "$fs" "$(printf '%s\n' "${fades[@]}" | median)" "$runs" "$history" \
    "$(printf '%s\n' "${opens[@]}" | median)"
done
# The copy is the floor of an open where nothing is shared: into the page cache, and on disk.
sync
start=$(date +%s.%N)
cp "$work/ext/hour.wav" "$work/ext/copy.wav"
cached=$(echo "$(date +%s.%N) - $start" | bc)
sync
echo "cp of the hour WAV on ext4: $cached s, $(echo "$(date +%s.%N) - $start" | bc) s with its sync"
