#!/usr/bin/env bash
# The journal's cost. An edit's line is synced on the worker before the edit is reported done,
# so the synced line is what the journal adds to an edit (held to 2 ms); Undo and Redo only
# write theirs, on the user-interface thread. Also times a one-frame delete, Undo and Redo of
# SECONDS of stereo end to end (the journal included), held to the undo target of 10 ms.
# Usage: bench/journal.sh [BUILD_DIR] [SECONDS] [DEPTH] [REPEATS]   (defaults: build 600 50 30)
set -euo pipefail
build=$(realpath "${1:-build}")
bench="$build/bench/journal_bench"
[ -x "$bench" ] || { echo "no $bench: build first" >&2; exit 1; }
"$bench" "${2:-600}" "${3:-50}" "${4:-30}" | awk '
  { name = $0; sub(/ +[0-9.]+$/, "", name); ms = $NF }
  name ~ /synced/  { limit = 2 }
  name ~ /written/ { limit = 1 }
  name == "undo" || name == "redo" { limit = 10 }
  name ~ /delete/ { limit = "-" }
  { printf "%-32s %8.3f ms  %-8s %s\n", name, ms, limit == "-" ? "-" : "<= " limit,
      limit == "-" ? "" : (ms <= limit ? "pass" : "miss"); limit = "-" }'
