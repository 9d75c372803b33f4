#!/usr/bin/env bash
# What tarn-flight says when it is given something it cannot fly, or flies
# something other than the user may have meant: one line naming the option or
# the key and why, and a note when a script stopped without an end line.
#
#   runner_messages.sh TARN_FLIGHT RUN_DIR
source "$(dirname "$0")/runner_lib.sh" "$@"

# expect STATUS FIRST_LINE_PATTERN args...: the exit status and stderr's first line.
expect() {
  local status=$1 pattern=$2
  shift 2
  fly "$@" >"$work/out" 2>"$work/err"
  local got=$?
  local first
  first=$(head -n1 "$work/err")
  [ "$got" = "$status" ] || fail "$*: exit $got, not $status"
  grep -Eq -- "$pattern" <<<"$first" || fail "$*: first line \"$first\" does not match /$pattern/"
}

printf '0 press Pause\n0.5 end\n' >"$work/ok.txt"
expect 1 '^tarn-flight: --svg goes with a script or a flight: --random keeps no telemetry' \
  --random 7 --duration 60 --svg r.svg
grep -q '^usage: tarn-flight' "$work/err" || fail "no usage after the line: $(cat "$work/err")"
[ -s "$work/out" ] && fail "standard output is not empty: $(cat "$work/out")"
expect 1 '^tarn-flight: --csv goes with' --random 7 --duration 60 --csv r.csv
expect 1 '^tarn-flight: --random flies a random pilot instead of a script' "$work/ok.txt" --random 7 --duration 1
expect 1 '^tarn-flight: --random needs --duration SECONDS' --random 7
expect 1 '^tarn-flight: --duration goes with --random only' "$work/ok.txt" --duration 5
expect 1 '^tarn-flight: a key script or a recorded flight to fly is missing' --csv x.csv
expect 1 '^tarn-flight: .*--bogus' "$work/ok.txt" --bogus
expect 1 '^tarn-flight: .*--frame' "$work/ok.txt" --frame
expect 1 '^tarn-flight: --duration wants seconds above 0, not "soon"' --random 7 --duration soon

printf '0 press Pause\n1 down Spcae\n' >"$work/typo.txt"
expect 1 '^tarn-flight: .*typo.txt: line 2: unknown key "Spcae" \(nearest: Space\)$' "$work/typo.txt"
printf '0 press Pause\n1 press Shift\n' >"$work/shift.txt"
expect 1 'unknown key "Shift" \(nearest: .*; keys are the letters A to Z, Up, Down, Left, Right, Space, Delete, Pause, F1, Escape\)$' "$work/shift.txt"

# No end line: the flight stops one frame after its last event, and says so.
printf '0 press Pause\n0.5 press E\n' >"$work/noend.txt"
fly "$work/noend.txt" >"$work/out" 2>"$work/err" || fail "noend.txt: exit $?"
grep -q '^t=0.517 s ' "$work/out" || fail "noend.txt summary: $(cat "$work/out")"
grep -qx 'tarn-flight: note: .*noend.txt has no "end" line; the flight stopped at t=0.517 s, one frame after its last event (line 2, 0.500 s)' \
  "$work/err" || fail "noend.txt note: $(cat "$work/err")"
# With an end line there is no note. Content whose models are not compiled
# yet prints the compiler's timing lines, which the runner's fixed clock must
# not time: none may read zero.
mkdir -p "$work/content/Models"
cp "$run"/Models/*.mdl "$work/content/Models/"
for d in Textures Shaders Fonts; do ln -s "$run/$d" "$work/content/$d"; done
fly "$work/ok.txt" --data "$work/content" >"$work/out" 2>"$work/err" || fail "ok.txt: exit $?"
grep -q 'note:' "$work/err" && fail "a note for a script with an end line: $(cat "$work/err")"
grep -q '   Compiling: [0-9.]* sec' "$work/err" || fail "no timing lines: $(cat "$work/err")"
grep -q ' 0\.000000 sec' "$work/err" && fail "a timing line reads zero: $(cat "$work/err")"

[ "$failed" = 0 ] && echo "runner messages: ok"
exit "$failed"
