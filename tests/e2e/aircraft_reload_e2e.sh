#!/bin/bash
# The aircraft file, live, in the real window: the program flies a file
# written by --write-aircraft; an edit of the fin's height rebuilds the
# aircraft with one line for the changed value, on the console and on the
# screen; an edit that breaks the file keeps the aircraft and says why.
# Usage: aircraft_reload_e2e.sh TARNSIM RUN_DIR SHOT_DIR
set -u
program=$1 run_dir=$2 shot_dir=$3

skip() { echo "SKIP: $*"; exit 77; }
fail() {
  echo "FAIL: $*"
  [ -f "${log:-}" ] && { echo "--- program output ---"; cat "$log"; }
  exit 1
}
for tool in Xvfb xdotool import convert; do command -v "$tool" >/dev/null || skip "$tool is not installed"; done
[ -x "$program" ] || skip "$program is not built"
[ -f "$run_dir/Models/DivadiZarov.mdl" ] || skip "no content in $run_dir"
mkdir -p "$shot_dir"
work=$(mktemp -d)
log="$work/console.txt"
file="$work/my aircraft.ini"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

xvfb_pid="" program_pid=""
source "$(dirname "$0")/window_helpers.sh"
trap end_window_test EXIT
# shellcheck disable=SC2086
start_private_xvfb ${TARN_XVFB_RANGE:-240 279} 1280x720 || fail "could not start Xvfb"

"$program" --write-aircraft "$file" >"$log" 2>&1 || fail "--write-aircraft failed"
grep -q '^height = 1.5 ; ' "$file" || fail "the written file has no fin height"

(cd "$run_dir" && exec "$program" --aircraft "$file") >"$log" 2>&1 &
program_pid=$!
wait_window
wait_line() {
  for _ in $(seq 150); do grep -q -- "$1" "$log" && return 0; sleep 0.2; done
  return 1
}
sleep 2
import -window root "$work/before.png"

# A taller fin: the aircraft is rebuilt and the change is shown.
sed -i 's/^height = 1.5 ; /height = 1.2 ; /' "$file"
wait_line '^Aircraft file ".*my aircraft.ini" changed, the aircraft rebuilt:$' || fail "no rebuild after the edit"
grep -qx '  fin.height: 1.5 -> 1.2' "$log" || fail "the changed value was not named"
# The next frames show it; a slow (sanitized, loaded) build takes a while to draw them.
for _ in $(seq 20); do
  sleep 1
  import -window root "$shot_dir/aircraft-reload.png"
  changed=$(compare -metric AE -fuzz 10% "$work/before.png" "$shot_dir/aircraft-reload.png" null: 2>&1)
  [ "${changed%% *}" -gt 500 ] 2>/dev/null && break
done
[ "${changed%% *}" -gt 500 ] 2>/dev/null || fail "the screen did not change ($changed pixels)"

# A broken edit: the old aircraft flies on, the lines say why.
sed -i 's/^height = 1.2 ; /height = -3 ; /' "$file"
wait_line 'not taken; the aircraft flies on as it was:$' || fail "no refusal of the broken file"
grep -q ':[0-9]*: fin.height: -3 is outside 0.05 to 20 m; it stays 1.5$' "$log" || fail "the refusal does not name line and range"
# F5 reads at once; nothing changed, so nothing is rebuilt.
sed -i 's/^height = -3 ; /height = 1.2 ; /' "$file"
touch -d '2000-01-01' "$file"
rebuilt=$(grep -c 'changed, the aircraft rebuilt' "$log")
xdotool key --window "$wid" F5
sleep 2
[ "$(grep -c 'changed, the aircraft rebuilt' "$log")" -eq "$rebuilt" ] || fail "an unchanged file rebuilt the aircraft"

quit_with_escape "$wid" 20 || fail "the program did not end within 20 s of Escape"
[ "$quit_status" -eq 0 ] || fail "exit code $quit_status"
cat "$log"
grep -qx 'Memory objects left: 0' "$log" || fail "no \"Memory objects left: 0\""
echo "PASS"
