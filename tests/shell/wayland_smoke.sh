#!/usr/bin/env bash
# The editor as a native Wayland client of a headless Weston: start with a file, play it through
# SDL's disk driver, invert it, save, exit through the File menu. The commands are given over
# AT-SPI (no X server to send keys to). The played bytes must be the sound's, the saved file
# what orvane-cli makes of it.
# usage: wayland_smoke.sh ORVANE ORVANE_CLI; skipped (77) where weston, Qt's Wayland plugin,
# dbus-run-session, at-spi2-core or pyatspi is missing.
set -euo pipefail
orvane=$1 cli=$2
here=$(dirname "$(realpath "$0")")
# Debian's own Python, which has pyatspi, even where another python3 comes first on PATH.
py=/usr/bin/python3
[ -x "$py" ] || py=python3
if [ -z "${ORVANE_WAYLAND_INNER:-}" ]; then
  for tool in weston dbus-run-session sox; do
    command -v "$tool" >/dev/null || { echo "needs $tool"; exit 77; }
  done
  ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
    { echo "needs qt6-wayland"; exit 77; }
  [ -x /usr/libexec/at-spi-bus-launcher ] || { echo "needs at-spi2-core"; exit 77; }
  "$py" -c "import pyatspi" 2>/dev/null || { echo "needs python3-pyatspi"; exit 77; }
  export ORVANE_WAYLAND_INNER=1
  exec dbus-run-session -- "$0" "$@"
fi

work=$(mktemp -d)
pid= weston_pid=
trap 'kill "$pid" "$weston_pid" 2>/dev/null || true; [ -n "${ORVANE_KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
export XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work
unset DISPLAY
# In the sanitizer build: the accessibility bridge and the Wayland client keep one-off
# allocations at exit that are not ours; the unit tests look for our leaks.
export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

weston --backend=headless-backend.so --socket=wayland-orvane --idle-time=0 \
  >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 1 100); do [ -S "$XDG_RUNTIME_DIR/wayland-orvane" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/wayland-orvane" ] || { echo "weston did not start"; cat "$work/weston.log"; exit 1; }

# The volume control at full (its top, -10000), so the bytes played are the sound's own.
mkdir -p "$XDG_CONFIG_HOME/Quillfen"
printf '[Settings]\nvolume=-10000\n' >"$XDG_CONFIG_HOME/Quillfen/Orvane.conf"
sox -n -r 8000 -c 2 -b 16 "$work/sound.wav" synth 0.5 sine 300 sine 500 vol 0.7
cp "$work/sound.wav" "$work/original.wav"
"$cli" "$work/original.wav" --invert -o "$work/expected.wav"

export WAYLAND_DISPLAY=wayland-orvane QT_QPA_PLATFORM=wayland
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/played.raw
# The protocol log shows the application id the compositor gets (and so the icon it shows).
WAYLAND_DEBUG=client "$orvane" "$work/sound.wav" --timings 2>"$work/stderr" &
pid=$!
for _ in $(seq 1 150); do grep -q "timing: first-paint" "$work/stderr" && break; sleep 0.2; done
grep -q "timing: first-paint" "$work/stderr" || { echo "the sound was not shown"; cat "$work/stderr"; exit 1; }
grep -q 'set_app_id("io.github.quillfen.Orvane")' "$work/stderr" ||
  { echo "no application id given to the compositor"; exit 1; }

"$py" "$here/atspi.py" press Play
# Played through the disk driver: the sound's bytes reach the file whole, after the silence
# the open device wrote before Play.
want=$(( $(stat -c %s "$work/original.wav") - 44 ))
played() {
  "$py" -c 'import sys; sys.exit(0 if open(sys.argv[2], "rb").read()[44:] in open(sys.argv[1], "rb").read() else 1)' \
    "$work/played.raw" "$work/original.wav"
}
for _ in $(seq 1 50); do played && break; sleep 0.2; done
played || { echo "the played bytes are not the sound"; exit 1; }
echo "played $want bytes through the disk driver"

"$py" "$here/atspi.py" press Invert
sleep 1
"$py" "$here/atspi.py" press Save
sleep 1
"$py" "$here/atspi.py" press Exit
for _ in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
if kill -0 "$pid" 2>/dev/null; then echo "the editor did not close"; exit 1; fi
wait "$pid" || { echo "the editor failed"; cat "$work/stderr"; exit 1; }
pid=
cmp "$work/sound.wav" "$work/expected.wav" || { echo "saved file differs from orvane-cli's"; exit 1; }
echo "saved file is the inverted sound, under Wayland"
