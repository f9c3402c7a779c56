#!/usr/bin/env bash
# Runs a command under an X server of its own. Xvfb picks a free display itself (-displayfd), so
# tests started side by side never race for one display number, as xvfb-run -a's guess can: two
# tests on one display drive each other's windows.
# usage: private_xvfb.sh "SCREEN" COMMAND...   e.g. private_xvfb.sh 1024x768x24 script args
set -euo pipefail
screen=$1
shift
dir=$(mktemp -d)
Xvfb -displayfd 3 -nolisten tcp -screen 0 "$screen" 3>"$dir/display" 2>"$dir/log" &
xpid=$!
cleanup() { kill "$xpid" 2>/dev/null || true; wait "$xpid" 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT
for _ in $(seq 1 100); do
  [ -s "$dir/display" ] && break
  kill -0 "$xpid" 2>/dev/null || { echo "Xvfb did not start:"; cat "$dir/log"; exit 1; }
  sleep 0.1
done
[ -s "$dir/display" ] || { echo "Xvfb gave no display in 10 s"; exit 1; }
export DISPLAY=":$(head -1 "$dir/display")"
unset WAYLAND_DISPLAY
rc=0
"$@" || rc=$?
exit "$rc"
