#!/usr/bin/env bash
# The real editor records under Xvfb through SDL's disk driver, which "hears" a raw file at the
# take's own format: open a sound, R records at the cursor (its start), Space stops, Ctrl+S saves,
# quit. The saved file must be the input's first frames, as many as the take lasted, followed by
# the sound as it was, sample for sample as sox reads them. Then a take into a new sound ended by
# SIGTERM (a kill, a shutdown) must be offered back by recovery, the input's first frames.
# usage: record_e2e.sh ORVANE ORVANE_CLI
# ORVANE_E2E_SHOTS=DIR keeps a picture of the window while it records (ORVANE_E2E_LANG=1031 or
# 1049 for German or Russian texts).
set -euo pipefail
orvane=$1 cli=$2
here=$(dirname "$(realpath "$0")")
if [ -z "${ORVANE_E2E_XVFB:-}" ]; then
  command -v Xvfb >/dev/null && command -v xdotool >/dev/null && command -v sox >/dev/null ||
    { echo "needs Xvfb, xdotool and sox"; exit 77; }
  export ORVANE_E2E_XVFB=1
  exec "$here/private_xvfb.sh" 1600x1000x24 "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
export XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work
# LeakSanitizer reads one suppressions file (a second "suppressions=" replaces the first).
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$here/../lsan.supp"
if [ -n "${ORVANE_E2E_LANG:-}" ]; then
  mkdir -p "$work/config/Quillfen"
  printf '[Settings]\nlang=%s\n' "$ORVANE_E2E_LANG" >"$work/config/Quillfen/Orvane.conf"
fi
# shellcheck source=e2e_common.sh
. "$here/e2e_common.sh"

# The sound: half a second of two tones. The input: half a minute of noise at the same format,
# longer than any take, so each of its frames is told apart from silence and from the tones.
"$cli" --help >/dev/null
sox -n -r 8000 -c 2 -b 16 "$work/sound.wav" synth 0.5 sine 300 sine 500 vol 0.7
cp "$work/sound.wav" "$work/original.wav"
sox -n -r 8000 -c 2 -b 16 -e signed-integer -t raw "$work/input.raw" synth 30 whitenoise vol 0.5
# Real time (the driver's default delay): a take lasts about as long as R is held off.
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN=$work/input.raw SDL_DISKAUDIOFILE=/dev/null

start_editor first-paint "$work/sound.wav"
keys r
sleep 2
if [ -n "${ORVANE_E2E_SHOTS:-}" ]; then
  mkdir -p "$ORVANE_E2E_SHOTS"
  import -window root "$ORVANE_E2E_SHOTS/recording${ORVANE_E2E_LANG:+-$ORVANE_E2E_LANG}${QT_SCALE_FACTOR:+-x$QT_SCALE_FACTOR}.png"
fi
keys space
caption_is changed
keys ctrl+s
caption_is saved
keys alt+F4  # Exit, whatever the language of the menus
editor_exits

before=$(soxi -s "$work/original.wav")
after=$(soxi -s "$work/sound.wav")
take=$((after - before))
# At least a second at 8 kHz went by between R and Space; less than the input holds.
if [ "$take" -lt 8000 ] || [ "$take" -gt 240000 ]; then
  echo "the take is $take frames long"; exit 1
fi
sox "$work/sound.wav" -t raw "$work/saved.raw"
sox "$work/original.wav" -t raw "$work/original.raw"
{ head -c $((take * 4)) "$work/input.raw"; cat "$work/original.raw"; } >"$work/expected.raw"
same_file "$work/saved.raw" "$work/expected.raw" \
  "saved: the input's first $take frames, then the sound as it was" \
  "the saved sound is not the take followed by the sound"

# A take that a signal ends is kept for recovery, not thrown away with the run.
# No sound to paint: the window's own first paint says it is up.
start_editor window-paint
keys r
sleep 2
kill -TERM "$pid"
wait "$pid" || { echo "the editor failed on SIGTERM"; pid=; fail; }
pid=
sessions=$("$cli" --recover-list)
[ "$(printf '%s\n' "$sessions" | grep -c .)" = 1 ] || { echo "recovery offers: '$sessions'"; exit 1; }
"$cli" --recover "$(printf '%s' "$sessions" | cut -f1)" -o "$work/recovered.wav"
sox "$work/recovered.wav" -t raw "$work/recovered.raw"
bytes=$(stat -c %s "$work/recovered.raw")
# The new sound's format is the settings' (44.1 kHz stereo): a second of it at least.
[ "$bytes" -ge 176400 ] || { echo "the recovered take holds $bytes bytes"; exit 1; }
cmp -s "$work/recovered.raw" <(head -c "$bytes" "$work/input.raw") ||
  { echo "the recovered take is not the input's start"; exit 1; }
echo "a take ended by SIGTERM is recovered: $bytes bytes of the input"
