# What the desktop scripts share, sourced by them: start the editor, send keys, wait for its
# caption, see it exit, and say what a failing run needs to be understood. The script sets
# `work` (its scratch folder, where the editor's stderr goes) before sourcing.
# shellcheck shell=bash
pid= win= shot=0

# start_editor MARK [ARGS...]: starts the editor and waits until its stderr shows "timing: MARK"
# (first-paint once a sound is shown, window-paint for an empty window).
start_editor() {
  local mark=$1
  shift
  "$orvane" "$@" --timings 2>"$work/stderr" &
  pid=$!
  win=$(timeout 20 xdotool search --sync --onlyvisible --class orvane | head -1)
  for _ in $(seq 1 150); do grep -q "timing: $mark" "$work/stderr" && break; sleep 0.2; done
  grep -q "timing: $mark" "$work/stderr" || { echo "the editor did not show ($mark)"; fail; }
}

# Without a window manager nobody gives the focus back when a dialog closes: the main window
# takes it before each of its own keys; a dialog has it while it is open (keys --dialog ...).
keys() {
  if [ "$1" = "--dialog" ]; then shift; else xdotool windowfocus --sync "$win"; fi
  xdotool key --delay 150 "$@"
  sleep 0.5
  # ORVANE_E2E_SHOTS=DIR keeps a picture of the screen after every step, for a failing run.
  if [ -n "${ORVANE_E2E_SHOTS:-}" ]; then
    shot=$((shot + 1))
    mkdir -p "$ORVANE_E2E_SHOTS"
    import -window root "$ORVANE_E2E_SHOTS/step$shot.png"
  fi
}

# The caption starts with "*" while the document holds changes not on disk: wait for the edit
# to show it and for the save to take it away (a loaded machine or a sanitizer build is slow).
caption_is() {  # caption_is changed|saved
  for _ in $(seq 1 120); do
    case "$(xdotool getwindowname "$win")" in
      \**) [ "$1" = changed ] && return 0 ;;
      *) [ "$1" = saved ] && return 0 ;;
    esac
    sleep 0.25
  done
  echo "the caption never showed the sound $1: $(xdotool getwindowname "$win")"
  fail
}

# editor_exits: the editor ends within 10 s and succeeds.
editor_exits() {
  for _ in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
  if kill -0 "$pid" 2>/dev/null; then echo "the editor did not close"; fail; fi
  wait "$pid" || { echo "the editor failed"; pid=; fail; }
  pid=
}

# The editor's own output and the windows it shows.
same_file() {  # same_file GOT WANT PASS-TEXT FAIL-TEXT: compares two files byte for byte
  if cmp -s "$1" "$2"; then echo "$3"; return 0; fi
  echo "$4"
  cmp "$1" "$2" | head -1 || true
  exit 1
}

fail() {
  echo "--- the editor's stderr:"; cat "$work/stderr"
  echo "--- visible windows:"
  for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do xdotool getwindowname "$w"; done
  exit 1
}
