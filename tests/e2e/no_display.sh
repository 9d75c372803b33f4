#!/usr/bin/env bash
# The program with no display at all: one line saying so, a non-zero exit,
# and no invisible window left running.
#
#   no_display.sh PROGRAM RUN_DIR
set -uo pipefail
program=${1:?program}
run_dir=${2:?run directory}
[ -x "$program" ] || { echo "SKIP: $program is not built"; exit 77; }

out=$(mktemp)
trap 'rm -f "$out"' EXIT
start=$(date +%s%N)
(cd "$run_dir" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 20 "$program") >"$out" 2>&1
rc=$?
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "exit code $rc after $elapsed_ms ms:"
cat "$out"
[ "$rc" -ne 124 ] || { echo "FAIL: still running after 20 s"; exit 1; }
[ "$rc" -ne 0 ] || { echo "FAIL: exit code 0 without a display"; exit 1; }
lines=$(grep -c '' "$out")
[ "$lines" -eq 1 ] || { echo "FAIL: $lines lines instead of one"; exit 1; }
grep -q 'display' "$out" || { echo "FAIL: the line does not mention the display"; exit 1; }
[ "$elapsed_ms" -lt 5000 ] || { echo "FAIL: took $elapsed_ms ms"; exit 1; }
echo "PASS"
