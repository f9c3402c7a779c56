#!/usr/bin/env bash
# The sample store beside cp: an hour of stereo 16-bit audio (635 MB), in the page cache.
# Usage: bench/store.sh [BUILD_DIR] [RUNS]. Prints the median of each pass and its ratio to cp.
set -euo pipefail
build=${1:-build}
runs=${2:-5}
dir=$(mktemp -d "${TMPDIR:-/tmp}/orvane-bench-XXXXXX")
trap 'rm -rf "$dir"' EXIT
bin="$build/bench/store_bench"
"$bin" "$dir" write-runs >/dev/null
declare -A times
for ((i = 0; i < runs; i++)); do
  t0=$(date +%s.%N); cp "$dir/a.wav" "$dir/cp.wav"; t1=$(date +%s.%N)
  rm -f "$dir/cp.wav"
  times[cp]+="$(echo "$t1 - $t0" | bc) "
  while read -r pass secs; do times[$pass]+="$secs "; done < <("$bin" "$dir" copy-samples copy-runs read-samples)
  while read -r pass secs; do times[$pass]+="$secs "; done < <("$bin" "$dir" write-samples)
done
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
cpm=$(echo "${times[cp]}" | median)
printf '%-14s %8s %8s\n' pass median x_cp
for pass in cp copy-samples copy-runs read-samples write-samples; do
  m=$(echo "${times[$pass]}" | median)
  printf '%-14s %8.3f %8.2f\n' "$pass" "$m" "$(echo "$m / $cpm" | bc -l)"
done
