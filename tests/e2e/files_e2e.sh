#!/usr/bin/env bash
# How the built programs open and write files, against hostile or broken
# file systems: links planted by another user, a cache folder that is a link
# to a shared one, a device, a FIFO or a huge file in place of a flight or
# the settings, a forged flight asking for hours of work, a full disk under a
# screenshot or a runner output, and outputs or recordings that would
# replace the user's own files.
#
#   files_e2e.sh PROGRAM RUN_DIR RUNNER
#
# The planted-link and shared-cache cases need a second user: they run when
# the test runs as root (as "nobody"), and are skipped with a line otherwise.
# Exit 77 (skipped) only when a program or the content is missing.
set -uo pipefail

program=${1:?program}
run_dir=${2:?run directory}
runner=${3:?headless flight runner}

skip() { echo "SKIP: $*"; exit 77; }
fail() {
  echo "FAIL: $*"
  [ -n "${out:-}" ] && [ -f "$out" ] && { echo "--- output ---"; head -c 4000 "$out"; }
  exit 1
}
[ -x "$program" ] || skip "$program is not built"
program=$(readlink -f "$program") runner=$(readlink -f "$runner") run_dir=$(readlink -f "$run_dir")
[ -x "$runner" ] || skip "$runner is not built"
[ -f "$run_dir/Models/PlaneTarn.mdl" ] || skip "no content in $run_dir"

work=$(mktemp -d)
chmod 755 "$work"
out="$work/out.txt"
xvfb_pid="" program_pid=""
source "$(dirname "$0")/window_helpers.sh"
trap end_window_test EXIT
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_PICTURES_DIR="$work/pictures"
export XDG_CACHE_HOME="$work/cache"

# run SECONDS COMMAND...: the runner or the program with a time and a memory
# limit (1 GB), output in $out, status in $status. AddressSanitizer reserves
# terabytes of address space for its shadow, so a sanitizer build runs with
# the time limit alone (its allocator still refuses huge requests).
memory_limit=1048576
case "$(ldd "$runner" 2>/dev/null)" in *libasan*) memory_limit=unlimited ;; esac
run() {
  local seconds=$1
  shift
  (ulimit -v "$memory_limit"; exec timeout "$seconds" "$@") >"$out" 2>&1
  status=$?
}
expect() {  # expect STATUS TEXT: the last run ended so and printed TEXT
  [ "$status" = "$1" ] || fail "status $status, not $1"
  grep -qF -- "$2" "$out" || fail "no \"$2\""
  echo "ok: $(grep -F -- "$2" "$out" | head -n1 | cut -c1-160)"
}

script="$work/script.txt"
printf '0 press Space\n1 end\n' >"$script"

# 3, 4, 9: flights that are not regular files, are huge, or hold nothing.
run 10 "$runner" /dev/zero
expect 1 "can't read \"/dev/zero\": a device, not a regular file"
mkfifo "$work/fifo"
run 10 "$runner" "$work/fifo"
expect 1 "a FIFO, not a regular file"
head -c $((40 << 20)) /dev/zero | tr '\0' '#' >"$work/huge.tarnflight"
run 10 "$runner" "$work/huge.tarnflight"
expect 1 "41,943,040 bytes, more than the 32 MiB a flight may have"
: >"$work/empty.txt"
run 10 "$runner" "$work/empty.txt"
expect 1 "empty.txt: no events: nothing to fly"
printf '# only a comment\n\n' >"$work/comment.txt"
run 10 "$runner" "$work/comment.txt"
expect 1 "comment.txt: no events: nothing to fly"
run 10 "$runner" "$work"
expect 1 "a folder, not a file"

# 5: a forged flight of 1,000 frames of ten minutes each on a 1 Hz clock.
{
  printf 'tarnflight 1\nversion x\ncontent 0000000000000000\nclock 1 0\nstart 0000000000000000\n'
  for i in $(seq 1000); do printf 'f %d 600\n' "$i"; done
  printf '600000.000000 end 0000000000000000\n'
} >"$work/bomb.tarnflight"
run 10 "$runner" "$work/bomb.tarnflight"
expect 1 "600000 s of clock time, more than the 7200 s a replay may run"

# 7: outputs never replace the flight they are made from; on a full disk an
# earlier output stays whole and the failure is said.
cp "$script" "$work/keep.txt"
run 60 "$runner" "$work/keep.txt" --data "$run_dir" --csv "$work/keep.txt"
expect 1 "is the flight being read"
cmp -s "$script" "$work/keep.txt" || fail "the flight was overwritten by its CSV"
echo "old output" >"$work/table.csv"
(ulimit -f 8; trap '' XFSZ; exec timeout 60 "$runner" "$script" --data "$run_dir" --csv "$work/table.csv") >"$out" 2>&1
status=$?
expect 1 "Can't write \"$work/table.csv\": ERROR_FILE_TOO_LARGE"
[ "$(cat "$work/table.csv")" = "old output" ] || fail "the earlier CSV was damaged"
ls -a "$work" | grep -q '\.tmp$' && fail "a temporary file was left behind"
echo "ok: the earlier CSV is whole"

# --write-config: an existing file is left alone; links at the names the old
# writer used for its temporary go untouched.
mkdir -p "$work/config/tarnsim"
echo "victim" >"$work/victim"
for pid in $(seq $$ $(($$ + 300))); do ln -s "$work/victim" "$work/config/tarnsim/tarnsim.conf.tmp$pid"; done
run 10 "$program" --write-config
expect 0 "Wrote the default settings to $work/config/tarnsim/tarnsim.conf"
[ "$(cat "$work/victim")" = "victim" ] || fail "--write-config wrote through a planted link"
[ -f "$work/config/tarnsim/tarnsim.conf" ] && [ ! -L "$work/config/tarnsim/tarnsim.conf" ] ||
  fail "the settings file is not a plain file"
run 10 "$program" --write-config
expect 1 "already exists; it was left as it is"

# --record refuses what would replace the user's flight, before any window.
cp "$script" "$work/flight.tarnflight"
run 10 "$program" --record "$work/flight.tarnflight"
expect 1 "the file exists (--force replaces it)"
run 10 "$program" --replay "$work/flight.tarnflight" --record "$work/flight.tarnflight" --force
expect 1 "it is the flight being replayed"
run 10 "$program" --record "$work/missing/flight.tarnflight"
expect 1 "does not exist"
cmp -s "$script" "$work/flight.tarnflight" || fail "--record changed the flight"

# 1 and 2 as another user.
if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null; then
  as_nobody() { setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups "$@"; }
  # 1: a content folder anyone may write to, with links planted for the next
  # process ids at the old temporary names of the compiled model.
  content="$work/content"
  cp -r "$run_dir" "$content"
  rm -f "$content"/Models/*.mdc
  chmod 777 "$content/Models"
  for pid in $(seq $$ $(($$ + 500))); do
    as_nobody ln -s "$work/victim" "$content/Models/DivadiZarov.mdc.tmp$pid-0"
  done
  run 120 "$runner" "$script" --data "$content"
  expect 0 "t="
  [ "$(cat "$work/victim")" = "victim" ] || fail "the compiled model was written through a planted link"
  # The aircraft's model is generated and cached under a key of its values.
  for model in "$content/Models/DivadiZarov.mdc" "$content"/Models/PlaneTarn-*.mdc; do
    [ -f "$model" ] && [ ! -L "$model" ] || fail "$(basename "$model") is not our own plain file"
  done
  echo "ok: no write through the 501 planted links"
  # 2: the cache folder is a link to a shared folder; its mode stays.
  chmod 755 "$content/Models"
  rm -f "$content"/Models/*.mdc
  mkdir -p "$work/ncache" "$work/shared"
  chown nobody "$work/ncache" "$work/shared"
  chmod 775 "$work/shared"
  ln -s "$work/shared" "$work/ncache/tarnsim"
  cp "$script" "$work/nscript.txt"
  chmod 644 "$work/nscript.txt"
  (export XDG_CACHE_HOME="$work/ncache"; as_nobody timeout 120 "$runner" "$work/nscript.txt" --data "$content") >"$out" 2>&1
  status=$?
  expect 0 "t="
  [ "$(stat -c %a "$work/shared")" = 775 ] || fail "the shared folder became $(stat -c %a "$work/shared")"
  ls "$work/shared"/*.mdc >/dev/null 2>&1 || fail "the cache was not used"
  echo "ok: the linked cache folder kept drwxrwxr-x"
else
  echo "SKIP (part): the planted-link and shared-cache cases need root to act as a second user"
fi

# 4 and 6 in the window: a FIFO as the settings file and as the replay, and
# a screenshot on a disk that is full.
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  start_private_xvfb "${TARN_E2E_DISPLAYS:-200}" "${TARN_E2E_DISPLAYS_LAST:-239}" 1024x700 ||
    fail "could not start Xvfb"
  mkfifo "$work/settings.fifo"
  (cd "$run_dir" && ulimit -f 64 && trap '' XFSZ &&
    exec "$program" --config "$work/settings.fifo" --replay "$work/fifo") >"$out" 2>&1 &
  program_pid=$!
  wait_window
  sleep 3
  xdotool key --window "$wid" F2
  sleep 4
  quit_with_escape "$wid" 20 || fail "the window did not quit on Escape"
  status=$quit_status
  expect 0 "settings.fifo: cannot be read (a FIFO, not a regular file); the defaults stay"
  expect 0 "Can't replay \"$work/fifo\": a FIFO, not a regular file"
  expect 0 "Can't write the screenshot"
  grep -q "Screenshot saved" "$out" && fail "a failed screenshot was reported as saved"
  [ -z "$(ls -A "$work/pictures/tarnsim" 2>/dev/null)" ] || fail "files left: $(ls -A "$work/pictures/tarnsim")"
  echo "ok: nothing under the screenshot's name"
else
  echo "SKIP (part): the window cases need Xvfb and xdotool"
fi
echo "PASS"
