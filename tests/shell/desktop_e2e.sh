#!/usr/bin/env bash
# The real editor, driven through the keyboard under Xvfb: open a file from the command line,
# Select All, Amplify (Decrease) from the Operations menu with its dialog's default, Save, quit
# through the File menu. The saved file must be what orvane-cli makes of the same file.
# usage: desktop_e2e.sh ORVANE ORVANE_CLI
set -euo pipefail
orvane=$1 cli=$2
if [ -z "${ORVANE_E2E_XVFB:-}" ]; then
  command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "needs Xvfb and xdotool"; exit 77; }
  export ORVANE_E2E_XVFB=1
  exec "$(dirname "$(realpath "$0")")/private_xvfb.sh" 1024x768x24 "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
# A private state folder: no recovery offer from another run blocks the start.
export XDG_STATE_HOME=$work/state
export XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work SDL_AUDIODRIVER=dummy
# In the sanitizer build: the libraries' one-off allocations are not our leaks. LeakSanitizer
# reads one suppressions file (a second "suppressions=" replaces the first): the project's.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$(realpath "$0")")/../lsan.supp"
# shellcheck source=e2e_common.sh
. "$(dirname "$(realpath "$0")")/e2e_common.sh"

# Half a second of two stereo tones: a wrong gain or a missed sample shows in the bytes.
"$cli" --help >/dev/null
sox -n -r 8000 -c 2 -b 16 "$work/sound.wav" synth 0.5 sine 300 sine 500 vol 0.7
cp "$work/sound.wav" "$work/original.wav"
"$cli" "$work/original.wav" --amplify 10 -o "$work/expected.wav"

# The sound is loaded once its waveform has been painted.
start_editor first-paint "$work/sound.wav"
keys ctrl+a
keys alt+o m          # Operations > A&mplify (Decrease)
# A loaded machine may take a while to show the dialog; a key sent before it is lost.
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name "Amplify" | head -1) ||
  { echo "the Amplify dialog did not open"; fail; }
xdotool windowfocus --sync "$dialog"
keys --dialog Return  # the dialog's OK with its default, 10 %
caption_is changed
keys ctrl+s
caption_is saved
keys alt+f x          # File > E&xit
editor_exits

same_file "$work/sound.wav" "$work/expected.wav" "saved file is the amplified sound" \
  "saved file differs from orvane-cli's result"
