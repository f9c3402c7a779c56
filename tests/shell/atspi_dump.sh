#!/usr/bin/env bash
# What a screen reader gets from the real editor under Xvfb, read over AT-SPI on a private
# session bus: the accessibility tree is dumped (kept beside the build as atspi-tree.txt), the
# names and roles are checked, and moving the cursor with a key changes the waveform's value.
# usage: atspi_dump.sh ORVANE OUTDIR; skipped (77) where Xvfb, xdotool, dbus-run-session,
# at-spi2-core or pyatspi is missing.
set -euo pipefail
orvane=$1 out=$2
here=$(dirname "$(realpath "$0")")
# Debian's own Python, which has pyatspi, even where another python3 comes first on PATH.
py=/usr/bin/python3
[ -x "$py" ] || py=python3
if [ -z "${ORVANE_ATSPI_INNER:-}" ]; then
  for tool in Xvfb xdotool dbus-run-session sox; do
    command -v "$tool" >/dev/null || { echo "needs $tool"; exit 77; }
  done
  [ -x /usr/libexec/at-spi-bus-launcher ] || { echo "needs at-spi2-core"; exit 77; }
  "$py" -c "import pyatspi" 2>/dev/null || { echo "needs python3-pyatspi"; exit 77; }
  export ORVANE_ATSPI_INNER=1
  exec "$(dirname "$(realpath "$0")")/private_xvfb.sh" 1024x768x24 dbus-run-session -- "$0" "$@"
fi

work=$(mktemp -d)
pid=
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
export XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work
export SDL_AUDIODRIVER=dummy QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
# In the sanitizer build: the accessibility bridge and the Wayland client keep one-off
# allocations at exit that are not ours; the unit tests look for our leaks.
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

sox -n -r 8000 -c 2 -b 16 "$work/sound.wav" synth 3 sine 440 vol 0.5
"$orvane" "$work/sound.wav" --timings 2>"$work/stderr" &
pid=$!
for _ in $(seq 1 150); do grep -q "timing: first-paint" "$work/stderr" && break; sleep 0.2; done
grep -q "timing: first-paint" "$work/stderr" || { echo "the sound was not shown"; cat "$work/stderr"; exit 1; }
win=$(xdotool search --onlyvisible --class orvane | head -1)

xdotool windowfocus --sync "$win" key ctrl+a
sleep 0.5
mkdir -p "$out"
"$py" "$here/atspi.py" dump >"$out/atspi-tree.txt"
echo "tree: $out/atspi-tree.txt ($(wc -l <"$out/atspi-tree.txt") objects)"
"$py" "$here/atspi.py" check

# The cursor moves with End: the waveform's value (the cursor in milliseconds) follows.
before=$("$py" "$here/atspi.py" value Waveform)
xdotool windowfocus --sync "$win" key End
sleep 0.5
after=$("$py" "$here/atspi.py" value Waveform)
echo "cursor value: $before -> $after"
[ "$after" -gt "$before" ] || { echo "the waveform's value did not follow the cursor"; exit 1; }
kill "$pid"
wait "$pid" || true
pid=
echo "accessibility tree ok"
