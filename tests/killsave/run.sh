#!/usr/bin/env bash
# Kills orvane-cli with SIGKILL at a random moment while it saves over an existing file, COUNT
# times per format (WAV and MP3). Afterwards the target must be byte for byte the old file or
# the file an uninterrupted save writes, and its folder may hold nothing else but at most one
# leftover pending file, which the next save over the same target removes.
# Usage: tests/killsave/run.sh ORVANE_CLI [COUNT] [SEED] [FORMATS]
set -uo pipefail
cli=$1
count=${2:-1000}
seed=${3:-1}
RANDOM=$seed
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state ASAN_OPTIONS=detect_leaks=0
mkdir -p "$TMPDIR" "$work/out"
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

now_ms() { date +%s%3N; }

# The folder's entries other than the target: pending files have the target's name, hidden.
others() { find "$work/out" -mindepth 1 ! -name "$1"; }

# Sources: a long new sound and a short, different old one, written by the program itself.
sox -n -r 44100 -c 2 -b 16 "$work/new.wav" synth 10 sine 300:900 gain -3 || exit 1
sox -n -r 44100 -c 2 -b 16 "$work/old.wav" synth 2 pinknoise gain -6 || exit 1

for format in ${4:-wav mp3}; do
  target=out.$format
  rm -rf "${work:?}/out"/* "${work:?}/out"/.[!.]*
  "$cli" "$work/old.wav" -o "$work/old.$format" >/dev/null 2>&1 || { fail "cannot write the old $format"; continue; }
  # Kills land from halfway through loading to well after an undisturbed save would have ended.
  start=$(now_ms)
  "$cli" "$work/new.wav" --info >/dev/null 2>&1
  first=$(($(now_ms) - start))
  first=$((first / 2))
  start=$(now_ms)
  "$cli" "$work/new.wav" -o "$work/new.$format" >/dev/null 2>&1 || { fail "cannot write the new $format"; continue; }
  span=$((($(now_ms) - start) * 3 / 2 + 20 - first))
  old=0 new=0 pending=0 removed=0
  for ((i = 0; i < count; i++)); do
    cp "$work/old.$format" "$work/out/$target"
    delay=$((RANDOM * 32768 + RANDOM))
    delay=$((first + delay % span))
    "$cli" "$work/new.wav" -o "$work/out/$target" >/dev/null 2>&1 &
    pid=$!
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    if cmp -s "$work/out/$target" "$work/old.$format"; then
      old=$((old + 1))
    elif cmp -s "$work/out/$target" "$work/new.$format"; then
      new=$((new + 1))
    else
      fail "$format run $i (killed after ${delay} ms): the target is neither the old nor the new file"
    fi
    left=$(others "$target" | wc -l)
    if [ "$left" -gt 1 ] || { [ "$left" -eq 1 ] && ! others "$target" | grep -q "/\.$target\.[A-Za-z0-9]\{6\}$"; }; then
      fail "$format run $i: the folder holds $(others "$target" | tr '\n' ' ')"
    fi
    if [ "$left" -eq 1 ]; then
      pending=$((pending + 1))
      # Every tenth leftover: the next complete save removes it.
      if [ $((pending % 10)) -eq 1 ]; then
        "$cli" "$work/old.wav" -o "$work/out/$target" >/dev/null 2>&1 || fail "$format: the save after run $i failed"
        if [ -n "$(others "$target")" ]; then
          fail "$format run $i: the next save left $(others "$target" | tr '\n' ' ')"
        else
          removed=$((removed + 1))
        fi
      fi
    fi
    # Version files of killed runs stay in the temporary folder; they are not the target's.
    rm -rf "${TMPDIR:?}"/*
  done
  echo "killed saves ($format, $count runs, killed ${first} to $((first + span)) ms after the start): $old old, $new new, $pending left a pending file ($removed of them checked removed by the next save)"
done
[ $failures -eq 0 ]
