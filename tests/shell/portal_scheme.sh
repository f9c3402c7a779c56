#!/usr/bin/env bash
# The colour scheme as the desktop portal gives it on a real session bus: a stand-in portal
# says dark, and the window comes up dark; it switches to light, and the window follows; a
# portal saying light gives a light window. Judged by the mean lightness of the window's lower
# part (status bar and controls: no waveform in it), from screenshots under Xvfb.
# usage: portal_scheme.sh ORVANE OUTDIR; skipped (77) where Xvfb, xdotool, ImageMagick,
# dbus-run-session or python3-dbus is missing.
set -euo pipefail
orvane=$1 out=$2
here=$(dirname "$(realpath "$0")")
py=/usr/bin/python3
[ -x "$py" ] || py=python3
if [ -z "${ORVANE_PORTAL_INNER:-}" ]; then
  for tool in Xvfb xdotool dbus-run-session import convert sox; do
    command -v "$tool" >/dev/null || { echo "needs $tool"; exit 77; }
  done
  "$py" -c "import dbus, gi" 2>/dev/null || { echo "needs python3-dbus and python3-gi"; exit 77; }
  export ORVANE_PORTAL_INNER=1
  exec "$(dirname "$(realpath "$0")")/private_xvfb.sh" 1024x768x24 "$0" "$@"
fi

if [ -z "${ORVANE_PORTAL_VALUE:-}" ]; then
  # Each scheme on a session bus of its own.
  for value in 1 2; do ORVANE_PORTAL_VALUE=$value dbus-run-session -- "$0" "$@"; done
  echo "the window follows the portal's colour scheme"
  exit 0
fi

value=$ORVANE_PORTAL_VALUE
work=$(mktemp -d)
pid= portal=
trap 'kill $pid $portal 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$out"
mkdir -m 700 "$work/runtime"
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
export XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work
export SDL_AUDIODRIVER=dummy
unset GTK_THEME QT_STYLE_OVERRIDE
sox -n -r 8000 -c 1 -b 16 "$work/sound.wav" synth 1 sine 440 vol 0.5

lightness() {  # lightness NAME: mean grey (0..1) of the lower fifth of the window, kept as NAME.png
  local win
  win=$(xdotool search --onlyvisible --class orvane | head -1)
  import -window "$win" "$out/$1.png"
  convert "$out/$1.png" -gravity South -crop 100%x20%+0+0 +repage -colorspace Gray \
    -format "%[fx:mean]" info:
}

"$py" "$here/fake_portal.py" "$value" >"$work/portal.out" &
portal=$!
for _ in $(seq 1 50); do grep -q ready "$work/portal.out" && break; sleep 0.1; done
grep -q ready "$work/portal.out" || { echo "the stand-in portal did not start"; exit 1; }
"$orvane" "$work/sound.wav" --timings 2>"$work/stderr" &
pid=$!
for _ in $(seq 1 150); do grep -q "timing: first-paint" "$work/stderr" && break; sleep 0.2; done
grep -q "timing: first-paint" "$work/stderr" || { echo "no window"; cat "$work/stderr"; exit 1; }
# A busy machine repaints late: look again until the window shows the scheme, for up to 15 s.
# (The stand-in portal changes nothing before it is told to, so a late dark is no false pass.)
shows() {  # shows NAME dark|light: prints the lightness; fails if it never matches
  local l=
  for _ in $(seq 1 30); do
    l=$(lightness "$1")
    if [ "$2" = dark ]; then awk -v a="$l" 'BEGIN { exit !(a < 0.35) }' && break
    else awk -v a="$l" 'BEGIN { exit !(a > 0.6) }' && break; fi
    l="$l (never $2)"
    sleep 0.5
  done
  echo "$l"
  [[ $l != *never* ]]
}
if [ "$value" = 1 ]; then expect=(dark light); else expect=(light dark); fi
first=$(shows "portal-$value" "${expect[0]}") || { echo "${expect[0]} expected: $first"; exit 1; }
kill -USR1 "$portal"
second=$(shows "portal-$value-switched" "${expect[1]}") ||
  { echo "${expect[1]} after the switch expected: $second"; exit 1; }
echo "portal $value: lightness $first, after the switch $second"
