#!/usr/bin/env bash
# The Windows build, run under Wine in a private Xvfb. Required (any failure
# fails the script):
#  1. cross-builds it with the headless suites (scripts/build-windows.sh --tests);
#  2. runs the suites (foundation, shader assembler beside D3DX's, assets,
#     joystick conversions, physics, aircraft, flight scenarios) and compares the scenario telemetry
#     with the Linux build's, when build/scenarios holds it;
#  3. flies tarn-flight.exe through the take-off script;
#  4. draws the contact sheet with Direct3D 9 and, when the Linux build has
#     one, compares it with the OpenGL device's;
#  5. unpacks the zip into a folder named as many users' folders are (an
#     accent, Japanese) and, from another folder, starts tarnsim.exe there
#     with a settings file (Q arms; a bad line) recording its flight, waits
#     for its first presented frame, screenshots it, sends Pause, Q, Z, Up
#     (held), F2, F10 (the menu) twice, resizes the window, F7 (full screen,
#     where F2's picture must have the screen's size) and Escape, screenshots
#     the flight, and requires exit code 0, "Memory objects left: 0", a
#     changed picture and F2's PNG; then tarn-flight.exe must replay the
#     recorded flight to the same state, fly a key script from that folder
#     writing CSV and SVG there, and tarnsim.exe must replay the flight given
#     as its only argument;
#  6. started as Explorer starts them (a console of their own), tarnsim.exe
#     without its content and tarn-flight.exe without arguments must show
#     their message boxes.
# Everything it leaves is in build-windows/wine/: console logs, screenshots,
# timings.txt. Every Wine run has a time limit, a crash never starts Wine's
# debugger, and Wine is shut down before the X server goes.
#   scripts/wine-smoke.sh [--no-build]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-windows/wine
started=$(date +%s)
timings=()
lap() { timings+=("$1: $(( $(date +%s) - started )) s"); }
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "${1:-}" != "--no-build" ]; then
  scripts/build-windows.sh --tests
  lap "cross build"
fi
# Nothing of an earlier run may stay (cp -r into an existing folder nests).
rm -rf "$out/run" "$out/Jos"* "$out/flight-run" "$out"/*.csv "$out"/sheet-run* "$out"/contactsheet-* "$out"/*.log "$out"/*.png "$out"/*.txt
mkdir -p "$out"

export WINEPREFIX=$root/build-windows/wine-prefix
export WINEDEBUG=-all
# No Mono or Gecko installer prompts, and a crash ends the program instead of
# starting the debugger (which would wait for ever).
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64
# Wine reads the Unix side's arguments and file names in the locale's code
# set: UTF-8, as the folder names below are written.
export LC_ALL=C.UTF-8

source tests/e2e/window_helpers.sh
# TARN_DISPLAYS=FIRST-LAST: the X displays this run may take (default 60-89).
displays=${TARN_DISPLAYS:-60-89}
start_private_xvfb "${displays%-*}" "${displays#*-}" 1280x800 || fail "could not start Xvfb"
cleanup() {
  timeout 20 wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ ! -d "$WINEPREFIX" ]; then
  timeout 180 wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the Wine prefix"
  timeout 60 wineserver -w
  lap "Wine prefix"
fi

# ---- headless suites --------------------------------------------------------
bin=$root/build-windows/tests
status=0
for suite in foundation/foundation_tests shader_asm/shader_asm_test assets/assets_tests input/input_tests window/key_names_tests \
             physics/physics_test aircraft/aircraft_tests aircraft/aircraft_scenarios; do
  name=$(basename "$suite")
  [ -f "$bin/$suite.exe" ] || { echo "missing $suite.exe"; status=1; continue; }
  # Suites find their data relative to their own folder, as under CTest.
  if (cd "$(dirname "$bin/$suite")" && timeout 600 wine "$bin/$suite.exe" >"$out/$name.log" 2>&1) &&
     grep -q '^\[  PASSED  \]' "$out/$name.log" && ! grep -q '^\[  FAILED  \]' "$out/$name.log"; then
    echo "PASS $name ($(grep -o '^\[==========\] [0-9]* tests\?' "$out/$name.log" | tail -1 | cut -c14-))"
  else
    echo "FAIL $name (see $out/$name.log)"
    grep '^\[  FAILED  \]' "$out/$name.log" | head -20 || true
    status=1
  fi
done
lap "Windows suites"

# The first frame where a Windows telemetry CSV differs from the Linux one, and
# the columns that differ in it (or that they are identical).
compare_telemetry() {  # NAME LINUX_CSV WINDOWS_CSV
  if cmp -s "$2" "$3"; then
    echo "$1: identical to the Linux build"
  else
    awk -F, -v name="$1" '
      NR == FNR { row[FNR] = $0; next }
      FNR == 1 { for (i = 1; i <= NF; i++) column[i] = $i; next }
      row[FNR] != $0 {
        n = split(row[FNR], linux, ",")
        out = ""
        for (i = 1; i <= n; i++) if (linux[i] != $i) out = out " " column[i] " " linux[i] "/" $i
        printf "%s: first differs from the Linux build in frame %d (t = %s s):%s\n", name, FNR - 1, $1, out
        exit
      }' "$2" "$3"
  fi
}

# The same scripts flown by the Linux build and the Windows build.
if [ -d build/scenarios ] && [ -d build-windows/scenarios ]; then
  for csv in build-windows/scenarios/*.csv; do
    linux=build/scenarios/$(basename "$csv")
    [ -f "$linux" ] || continue
    compare_telemetry "scenario $(basename "$csv" .csv)" "$linux" "$csv"
  done | tee "$out/scenarios-compared.txt"
fi
[ $status = 0 ] || fail "a Windows suite failed"

# ---- the flight runner --------------------------------------------------------
# The shipped program, not the suite: arguments, the run directory's content,
# the CSV it writes and its summary line.
cp -r build-windows/run "$out/flight-run"
(cd "$out/flight-run" &&
 timeout 300 wine "$root/build-windows/tarn-flight.exe" "$root/tests/aircraft/scenarios/takeoff.txt" \
   --csv "$out/flight-takeoff.csv" >"$out/tarn-flight.log" 2>"$out/tarn-flight-err.log") ||
  { cat "$out/tarn-flight.log" "$out/tarn-flight-err.log"; fail "tarn-flight.exe did not fly the take-off"; }
rows=$(($(wc -l <"$out/flight-takeoff.csv") - 1))
# 21 s of script at the runner's frame time: far more than a hundred frames.
[ "$rows" -gt 100 ] || fail "tarn-flight.exe wrote $rows telemetry rows"
echo "tarn-flight.exe takeoff: $rows frames, $(tr -d '\r' <"$out/tarn-flight.log" | tail -1)"
if [ -x build/tarn-flight ] && [ -d build/run ]; then
  (cd build/run && timeout 300 ../tarn-flight "$root/tests/aircraft/scenarios/takeoff.txt" \
     --csv "$out/flight-takeoff-linux.csv" >/dev/null 2>&1) &&
    compare_telemetry "tarn-flight takeoff" "$out/flight-takeoff-linux.csv" "$out/flight-takeoff.csv"
fi
rm -rf "$out/flight-run"
lap "flight runner"

# ---- the same pictures from both devices ---------------------------------------
# The contact sheet draws every content shader and texture; Direct3D 9 under
# Wine and the OpenGL device (when the Linux build has its contact sheet) must
# agree pixel by pixel within a small tolerance, edges and filtering aside.
cp -r build-windows/run "$out/sheet-run"
timeout 300 wine build-windows/tarn-contactsheet.exe "$out/sheet-run" "$out/contactsheet-d3d9" \
  >"$out/contactsheet-d3d9.log" 2>&1 || { cat "$out/contactsheet-d3d9.log"; fail "the Direct3D 9 contact sheet failed"; }
if [ -x build/tarn-contactsheet ]; then
  cp -r build/run "$out/sheet-run-gl"
  LIBGL_ALWAYS_SOFTWARE=1 timeout 300 build/tarn-contactsheet "$out/sheet-run-gl" "$out/contactsheet-gl" \
    >"$out/contactsheet-gl.log" 2>&1 || fail "the OpenGL contact sheet failed"
  # Pixels differing by more than 8% in a channel, as a share of the picture:
  # rasterisation of edges differs a little between the two, the picture
  # must not. Both builds make the smaller texture levels themselves, so the
  # text and thin parts agree (measured: the font 0.00%, at most 1.5% of the
  # pixels, on edges).
  if ! for png in "$out"/contactsheet-d3d9/*.png; do
    name=$(basename "$png" .png)
    total=$(identify -format '%[fx:w*h]' "$png")
    far=$(compare -metric AE -fuzz 8% "$png" "$out/contactsheet-gl/$name.png" null: 2>&1 || true)
    echo "$name ${far%% *} $total"
  done | awk '{ share = 100 * $2 / $3; printf "%-22s %5.2f%% of pixels differ by more than 8%%\n", $1, share
                if (!(share <= 2)) bad = 1 }
              END { exit bad }' | tee "$out/devices-compared.txt"; then
    fail "Direct3D 9 and OpenGL draw the contact sheet differently"
  fi
  rm -rf "$out/sheet-run-gl"
fi
rm -rf "$out/sheet-run"
lap "device comparison"

# ---- the simulator's user files ------------------------------------------------
# With no XDG variables the settings file lives in %APPDATA%: --write-config
# puts the commented defaults there.
appdata_conf=$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/tarnsim/tarnsim.conf
rm -f "$appdata_conf"
timeout 120 wine build-windows/tarnsim.exe --write-config >"$out/write-config.log" 2>&1 ||
  { cat "$out/write-config.log"; fail "tarnsim.exe --write-config failed"; }
tr -d '\r' <"$out/write-config.log" | grep -qx 'Wrote the default settings to C:\\users\\.*\\AppData\\Roaming\\tarnsim\\tarnsim.conf' &&
  [ -s "$appdata_conf" ] || { cat "$out/write-config.log"; fail "the default settings are not in %APPDATA%"; }
# Written for Windows' editors: every line ends in CR LF, and the guide it
# names is the zip's.
[ "$(grep -c $'\r$' "$appdata_conf")" = "$(wc -l <"$appdata_conf")" ] || fail "the settings file's lines do not end in CR LF"
grep -q 'README.txt' "$appdata_conf" || fail "the settings file does not point to README.txt"

# ---- the simulator in a window ------------------------------------------------
# The shipped program, unpacked from the zip, flown with keys: its first frame, Pause, Q (arm, from
# the settings file), Z, Up held, a screenshot (F2), Escape; recorded from the
# start and replayed headless.
# Run from the unpacked zip, as a user gets it, in a folder named as many
# users' own folders are (C:\Users\José\...), started from another folder.
home=$out/José
run=$home/フライト
rm -rf "$out/unzipped"
unzip -q build-windows/TarnSim-*-windows.zip -d "$out/unzipped"
mkdir -p "$home"
mv "$out/unzipped"/TarnSim-*-windows "$run"
rm -rf "$out/unzipped"
log=$out/tarnsim.log
flight="$run/飛行 é.tarnflight"
# A settings file with a bad line and a key of its own: the Windows build reads
# it as the Linux build does.
conf=$home/réglages.conf
printf '[keys]\narm = Q\nnot a setting\n' >"$conf"
(cd "$out"; rc=0
 timeout 180 wine "$run/tarnsim.exe" \
   --config "$conf" --record "$flight" >"$log" 2>"$out/tarnsim-wine.log" || rc=$?
 echo "exit $rc" >"$out/tarnsim.exit") &
for _ in $(seq 120); do grep -q '^First frame presented' "$log" 2>/dev/null && break; sleep 1; done
grep -q '^First frame presented' "$log" || { cat "$log" "$out/tarnsim-wine.log"; fail "no first frame within two minutes"; }
# Wine's Direct3D needs a moment after the first Present before the X
# window shows the frame: wait until the picture is no longer black.
shot() { import -window root "$1" && convert "$1" -format '%[fx:int(mean*1000)]' info:; }
for _ in $(seq 30); do
  [ "$(shot "$out/start.png")" -gt 50 ] && break
  sleep 1
done
window=$(xdotool search --name '^Tarn sim$' | head -1)
[ -n "$window" ] || fail "no window titled \"Tarn sim\""
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool mousemove 640 400
xdotool key Pause; sleep 0.3
xdotool key q; sleep 0.3
xdotool key z; sleep 0.3
xdotool keydown Up; sleep 4; xdotool keyup Up
sleep 1
shot "$out/flying.png" >/dev/null
xdotool key F2; sleep 1
# The set-up menu opens over the flight (pausing it through the Pause key,
# which the recording keeps) and closes again; the replay below must still match.
xdotool key F10; sleep 2
shot "$out/menu.png" >/dev/null
xdotool key F10; sleep 1
# The window resized to a small screen's size: the picture, the panel and the
# help line follow (a figure and a screenshot); then F7 puts it in full
# screen, where the device is reset to the whole screen's size: F2's picture
# there must have that size.
xdotool windowsize "$window" 1024 600; sleep 3
shot "$out/resized.png" >/dev/null
xdotool key F2; sleep 1
xdotool key F7; sleep 3
shot "$out/fullscreen.png" >/dev/null
xdotool key F2; sleep 1
xdotool key F7; sleep 1
xdotool key Escape
for _ in $(seq 60); do [ -s "$out/tarnsim.exit" ] && break; sleep 1; done
timeout 60 wineserver -w || true

code=$(sed -n 's/^exit //p' "$out/tarnsim.exit" 2>/dev/null)
echo "tarnsim.exe exit code: ${code:-none}"
# Wine cuts exit codes to 8 bits (an access violation reads as 5): the
# console line is the real sign of an orderly end.
[ "$code" = 0 ] || { cat "$log"; fail "tarnsim.exe did not exit with 0"; }
# (A Windows console program ends its lines with CR LF.)
tr -d '\r' <"$log" | grep -qx 'Memory objects left: 0' || { cat "$log"; fail "no \"Memory objects left: 0\""; }
tr -d '\r' <"$log" | grep -qxF "$conf:3: not a [section] or a name = value line; the default stays" ||
  { cat "$log"; fail "the settings file's bad line was not named"; }
# Flying moves the whole picture: the two screenshots must differ widely.
diff=$(compare -metric AE -fuzz 10% "$out/start.png" "$out/flying.png" null: 2>&1 || true)
[ "${diff%% *}" -gt 100000 ] 2>/dev/null || fail "the flight did not change the picture ($diff pixels)"
# The menu's window darkens the middle of the screen: its picture differs from the flight's.
diff=$(compare -metric AE -fuzz 10% "$out/flying.png" "$out/menu.png" null: 2>&1 || true)
[ "${diff%% *}" -gt 100000 ] 2>/dev/null || fail "F10 showed no menu ($diff pixels changed)"
# F2's picture, in the Wine user's Pictures folder (no XDG variable names
# one there), the size of the window.
pngs=$(tr -d '\r' <"$log" | sed -n 's/^Screenshot saved to //p')
[ "$(echo "$pngs" | grep -c .)" = 3 ] || { cat "$log"; fail "F2 did not save three screenshots"; }
png=$(echo "$pngs" | head -1)
case "$png" in 'C:\users\'*'\Pictures\tarnsim\tarnsim-'*.png) ;; *) fail "screenshot in the wrong place: $png" ;; esac
png=$(winepath -u "$png")
echo "F2 screenshot: $(identify -format '%wx%h %m' "$png")"
mv "$png" "$out/f2.png"
resized=$(winepath -u "$(echo "$pngs" | sed -n 2p)")
echo "F2 screenshot after resizing the window to 1024x600: $(identify -format '%wx%h' "$resized")"
mv "$resized" "$out/f2-resized.png"
full=$(winepath -u "$(echo "$pngs" | sed -n 3p)")
[ "$(identify -format '%wx%h' "$full")" = 1280x800 ] || fail "F2 in full screen (F7) is $(identify -format '%wx%h' "$full"), not the screen's 1280x800"
mv "$full" "$out/f2-fullscreen.png"
lap "simulator in a window"

# The flight it recorded replays headless to the same state on this build.
[ -s "$flight" ] || fail "tarnsim.exe --record wrote no flight"
(cd "$out" && timeout 300 wine "$run/tarn-flight.exe" "$flight" >"$out/replay.log" 2>&1) ||
  { cat "$out/replay.log"; fail "tarn-flight.exe did not replay the window's flight"; }
tr -d '\r' <"$out/replay.log" | grep -qx 'replay matches' || { cat "$out/replay.log"; fail "the window's flight replays differently"; }
# Armed by Q and beating, the machine climbs: unarmed it would rest on its legs.
height=$(tr -d '\r' <"$out/replay.log" | sed -n 's/.* height=\([0-9.-]*\) m .*/\1/p' | tail -1)
awk -v h="${height:-0}" 'BEGIN { exit !(h > 5) }' || { cat "$out/replay.log"; fail "the window's flight did not climb (height ${height:-none} m)"; }
echo "window flight: $(grep -c '^f ' "$flight") frames, $(stat -c %s "$flight") bytes, ${height} m up at the end, replay matches"
lap "replay of the window's flight"

# The flight runner reads a key script from that folder and writes its CSV
# and SVG there: the same telemetry as from the plain folder above.
script=$run/décollage.txt
cp tests/aircraft/scenarios/takeoff.txt "$script"
(cd "$out" && timeout 300 wine "$run/tarn-flight.exe" "$script" --csv "$run/télémétrie.csv" --svg "$run/trajectoire フライト.svg" \
   >"$out/tarn-flight-names.log" 2>&1) || { cat "$out/tarn-flight-names.log"; fail "tarn-flight.exe did not fly a script from the named folder"; }
cmp -s "$run/télémétrie.csv" "$out/flight-takeoff.csv" || fail "the CSV written in the named folder differs from the plain one's"
grep -q '</svg>' "$run/trajectoire フライト.svg" || fail "tarn-flight.exe wrote no SVG in the named folder"
echo "tarn-flight.exe in \"$(winepath -w "$run")\": script read, CSV and SVG written"

# A flight file given as the only argument (dropped on the program, "Open
# with") is replayed in the window at its own pace.
(cd "$out"; rc=0
 timeout 180 wine "$run/tarnsim.exe" "$flight" >"$out/tarnsim-replay.log" 2>"$out/tarnsim-replay-wine.log" || rc=$?
 echo "exit $rc" >"$out/tarnsim-replay.exit") &
matches="Replay of \"$(winepath -w "$flight")\" matches"
for _ in $(seq 150); do tr -d '\r' <"$out/tarnsim-replay.log" 2>/dev/null | grep -qxF "$matches" && break; sleep 1; done
shot "$out/replay-named.png" >/dev/null
window=$(xdotool search --name '^Tarn sim$' | head -1)
[ -n "$window" ] && xdotool key --window "$window" Escape
for _ in $(seq 60); do [ -s "$out/tarnsim-replay.exit" ] && break; sleep 1; done
timeout 60 wineserver -w || true
tr -d '\r' <"$out/tarnsim-replay.log" | grep -qxF "$matches" ||
  { cat "$out/tarnsim-replay.log"; fail "tarnsim.exe did not replay the flight given as its only argument"; }
[ "$(sed -n 's/^exit //p' "$out/tarnsim-replay.exit")" = 0 ] || fail "tarnsim.exe did not end its replay with exit code 0"
echo "tarnsim.exe FLIGHT: $matches"
lap "named folders"

# ---- message boxes ----------------------------------------------------------
# Started as Explorer starts them (start: a console of their own that goes
# with them), the programs say in a message box what the console said. The
# box is found by its title, pictured, and closed with Return.
message_box() {  # TITLE PICTURE EXPECTED_EXIT PROGRAM...
  local title=$1 picture=$2 expected=$3 box=""
  shift 3
  rm -f "$out/box.exit"
  (cd "$out"; rc=0; timeout 120 wine start /wait /unix "$@" >/dev/null 2>&1 || rc=$?; echo "exit $rc" >"$out/box.exit") &
  for _ in $(seq 60); do
    box=$(xdotool search --name "^$title\$" 2>/dev/null | head -1 || true)
    [ -n "$box" ] && break
    sleep 1
  done
  [ -n "$box" ] || fail "no message box titled \"$title\""
  # The program's console window (titled with its path) opens over the
  # box's left side in a server without a window manager: moved below it.
  for console in $(xdotool search --name '\.exe$' 2>/dev/null); do xdotool windowmove "$console" 0 520; done
  sleep 1
  import -window root "$picture"
  # With no window manager Wine gives the keyboard to the window clicked:
  # the box's corner (no button there), then Return for its OK.
  eval "$(xdotool getwindowgeometry --shell "$box")"
  xdotool mousemove $((X + WIDTH - 6)) $((Y + 6)) click 1
  sleep 0.5
  xdotool key Return
  for _ in $(seq 60); do [ -s "$out/box.exit" ] && break; sleep 1; done
  [ -s "$out/box.exit" ] || fail "the program went on after its message box \"$title\" was closed"
  timeout 60 wineserver -w || true
  [ "$(sed -n 's/^exit //p' "$out/box.exit")" = "$expected" ] ||
    fail "after its message box \"$title\" the program ended with $(cat "$out/box.exit"), not $expected"
  echo "message box \"$title\": shown, closed ($picture)"
}
# Without its content (the program alone in a folder): the console line
# names the folder as it is spelled, and the box repeats it.
lone=$home/空
mkdir -p "$lone"
cp "$run/tarnsim.exe" "$lone/"
if (cd "$out" && timeout 120 wine "$lone/tarnsim.exe" >"$out/no-content.log" 2>&1); then
  fail "tarnsim.exe started without its content"
fi
tr -d '\r' <"$out/no-content.log" | grep -qF "No content (the Models, Textures, Shaders and Fonts folders) in \"$(winepath -w "$lone")\\run\" or \"$(winepath -w "$lone")\"" ||
  { cat "$out/no-content.log"; fail "the missing content's line does not name the folder"; }
message_box "Tarn sim could not start" "$out/box-no-content.png" 1 "$lone/tarnsim.exe"
message_box "Tarn sim flight runner" "$out/box-flight-runner.png" 1 "$run/tarn-flight.exe"
rm -rf "$home"
lap "message boxes"

# The idle program's CPU, paused with nothing moving (a figure, not a check).
bench/app/idle_cpu.sh --wine "$root/build-windows/tarnsim.exe" 20 "$displays" | tee "$out/idle-cpu.txt" || true

printf '%s\n' "${timings[@]}" | tee "$out/timings.txt"
echo "Windows build under Wine: OK (logs in $out)"
