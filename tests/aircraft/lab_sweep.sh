#!/usr/bin/env bash
# The flight runner's sweeps on the real content: the same summary for any
# number of jobs, on a rerun, from shards merged (by hand and through GNU
# parallel); the turn rate falling as the fin grows; bad input refused in one
# line before anything flies; a case that cannot be built and a worker
# killed mid-case each marked in their row while the sweep goes on.
#
#   lab_sweep.sh TARN_FLIGHT RUN_DIR
source "$(dirname "$0")/runner_lib.sh" "$@"

# A left turn: the beat on, Up and Left held from 5 s, 20 s in all.
printf '0 press Pause\n0.5 press E\n1 press Z\n5 down Up\n5 down Left\n20 end\n' >"$work/turn.txt"
sweep=(--sweep fin.height=0.5:2.5:3 --quiet)

fly "$work/turn.txt" "${sweep[@]}" --jobs 1 --summary "$work/j1.csv" || fail "--jobs 1: exit $?"
fly "$work/turn.txt" "${sweep[@]}" --jobs 2 --summary "$work/j2.csv" || fail "--jobs 2: exit $?"
fly "$work/turn.txt" "${sweep[@]}" --jobs 2 --summary "$work/again.csv" || fail "rerun: exit $?"
cmp -s "$work/j1.csv" "$work/j2.csv" || fail "--jobs 1 and --jobs 2 differ: $(diff "$work/j1.csv" "$work/j2.csv")"
cmp -s "$work/j2.csv" "$work/again.csv" || fail "a rerun differs"
[ "$(wc -l <"$work/j1.csv")" = 5 ] || fail "not 3 rows: $(cat "$work/j1.csv")"

# The fin steadies the turn: the heading rate's size falls as it grows.
awk -F, 'NR > 2 { if ($3 != "ok") bad = 1; r = $7 < 0 ? -$7 : $7; if (NR > 3 && r >= last) bad = 1; last = r }
         END { exit bad }' "$work/j1.csv" || fail "the turn rate does not fall as the fin grows: $(cut -d, -f1-7 "$work/j1.csv")"

# Shards, merged by hand and through GNU parallel, give the single run's bytes.
fly "$work/turn.txt" "${sweep[@]}" --shard 1/2 --summary "$work/s1.csv" || fail "shard 1/2: exit $?"
fly "$work/turn.txt" "${sweep[@]}" --shard 2/2 --summary "$work/s2.csv" || fail "shard 2/2: exit $?"
"$runner" --merge "$work/s2.csv" "$work/s1.csv" --summary "$work/merged.csv" || fail "--merge: exit $?"
cmp -s "$work/merged.csv" "$work/j1.csv" || fail "the merged shards differ from the single run"
if command -v parallel >/dev/null; then
  (cd "$run" && parallel --will-cite -j2 "$runner" "$work/turn.txt" "${sweep[@]}" --jobs 1 --shard {}/3 \
     --summary "$work/p{}.csv" ::: 1 2 3) || fail "GNU parallel: exit $?"
  "$runner" --merge "$work"/p?.csv >"$work/pmerged.csv" || fail "--merge of parallel's shards: exit $?"
  cmp -s "$work/pmerged.csv" "$work/j1.csv" || fail "parallel's merged shards differ from the single run"
else
  echo "note: GNU parallel is not installed; its run is left out"
fi

# A profiled flight flies the same bits: the same metrics and final hash.
fly "$work/turn.txt" --summary "$work/plain.csv" >/dev/null 2>&1 || fail "a single flight's summary: exit $?"
fly "$work/turn.txt" --summary "$work/profiled.csv" --profile >"$work/out" 2>/dev/null || fail "--profile: exit $?"
cmp -s "$work/plain.csv" "$work/profiled.csv" || fail "--profile changed the flight: $(diff "$work/plain.csv" "$work/profiled.csv")"
for stage in 'surface forces' 'ground contact' hinges straps integration 'rest of the frame'; do
  grep -Eq "^  $stage.* [0-9.]+% +[0-9.]+ us/step$" "$work/out" || fail "no $stage in the profile: $(cat "$work/out")"
done

# Shards of another sweep are refused.
fly "$work/turn.txt" --sweep fin.height=0.5:2.5:2 --quiet --shard 2/2 --summary "$work/other.csv"
"$runner" --merge "$work/s1.csv" "$work/other.csv" >"$work/out" 2>"$work/err" && fail "--merge of two sweeps: exit 0"
grep -q "^tarn-flight: --merge: .*other.csv is a shard of another sweep" "$work/err" || fail "two sweeps: $(cat "$work/err")"

# Bad input: one line, before anything flies (no summary written).
refuse() {
  local pattern=$1
  shift
  fly "$work/turn.txt" "$@" --summary "$work/never.csv" >"$work/out" 2>"$work/err" && fail "$*: exit 0"
  [ "$(wc -l <"$work/err")" = 1 ] || fail "$*: not one line: $(cat "$work/err")"
  grep -Eq -- "$pattern" "$work/err" || fail "$*: \"$(cat "$work/err")\" does not match /$pattern/"
  [ -e "$work/never.csv" ] && fail "$*: a summary was written"
}
refuse 'unknown key fin\.hieght \(did you mean fin\.height\?\)' --sweep fin.hieght=1,2
refuse 'unknown key air\.wind \(did you mean air\.wind_' --sweep air.wind=1,2
refuse 'COUNT must be a whole number of at least 1' --sweep fin.height=1:2:0
refuse '"x" is not a number' --sweep fin.height=1:x:3
refuse 'the sweep has 1000000 cases, more than the 100000' --sweep fin.height=1:2:1000 --sweep wing.chord=0.5:1:1000
refuse '--shard wants I/N' --sweep fin.height=1,2 --shard 3/2
refuse '--jobs wants a whole number' --sweep fin.height=1,2 --jobs 0

# A case that cannot be built (the fin behind the tail boom) gets its row;
# the others fly.
fly "$work/turn.txt" --sweep fin.trailing_y=-3.5,-4.5 --sweep air.wind_speed=0,3 --quiet --summary "$work/f.csv" \
  2>"$work/err" && fail "a failed case: exit 0"
grep -q '^2,-4.5,0,failed: .*the fin must stand on the tail boom' "$work/f.csv" || fail "no failed row: $(cat "$work/f.csv")"
grep -q '^1,-3.5,3,ok,' "$work/f.csv" || fail "the cases beside the failed one did not fly: $(cat "$work/f.csv")"

# A worker killed mid-case: reported, its case marked, the others flown.
printf '0 press Pause\n0.5 press E\n1 press Z\n600 end\n' >"$work/long.txt"
(cd "$run" && exec "$runner" "$work/long.txt" --sweep fin.height=1,1.5 --jobs 1 --quiet --window 0:1 \
   --summary "$work/k.csv" 2>"$work/kerr") &
parent=$!
victim=
for _ in $(seq 200); do
  victim=$(pgrep -P "$parent" | head -n1)
  [ -n "$victim" ] && break
  sleep 0.05
done
[ -n "$victim" ] && kill -KILL "$victim"
# The other case still flies ten simulated minutes: stop it too, as a second kill.
for _ in $(seq 200); do
  next=$(pgrep -P "$parent" | head -n1)
  [ -n "$next" ] && [ "$next" != "$victim" ] && { kill -TERM "$next"; break; }
  sleep 0.05
done
wait "$parent" && fail "a killed worker: exit 0"
grep -q '^0,1,killed by signal 9,' "$work/k.csv" || fail "case 0 not marked killed: $(cat "$work/k.csv")"
grep -q '^1,1.5,killed by signal 15,' "$work/k.csv" || fail "case 1 not marked: $(cat "$work/k.csv")"
grep -q '^tarn-flight: case 0 (fin.height=1): killed by signal 9$' "$work/kerr" || fail "not reported: $(cat "$work/kerr")"

exit $failed
