#!/usr/bin/env bash
# CPU the simulator uses while it sits paused at its start (nothing moving),
# in percent of one core, measured from the process's own CPU time over a
# stretch of wall time on a private Xvfb (Mesa's software rendering).
#   bench/app/idle_cpu.sh [--wine] PROGRAM [SECONDS] [DISPLAYS]
#     PROGRAM   build/tarnsim, or with --wine tarnsim.exe of the Windows
#               build (its content beside it, as in the zip)
#     SECONDS   the measured stretch (default 20), after 10 s to settle
#     DISPLAYS  the Xvfb displays to try, FIRST-LAST (default 200-239)
# Under Wine the program's process and wineserver are counted together:
# both work for every frame. Prints one line:
#   idle CPU: 3.1% of one core (tarnsim, 20 s paused)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
wine=0
[ "${1:-}" = "--wine" ] && { wine=1; shift; }
program=$(realpath "${1:?usage: idle_cpu.sh [--wine] PROGRAM [SECONDS] [DISPLAYS]}")
seconds=${2:-20}
displays=${3:-200-239}

source tests/e2e/window_helpers.sh
start_private_xvfb "${displays%-*}" "${displays#*-}" 1280x800 || { echo "no free X display"; exit 1; }
work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  if [ $wine = 1 ]; then timeout 20 wineserver -k 2>/dev/null || true; timeout 30 wineserver -w 2>/dev/null || true; fi
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Clock ticks of user and system time of the processes named.
ticks() {
  local total=0 p
  for p in "$@"; do
    [ -r "/proc/$p/stat" ] || continue
    total=$((total + $(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$p/stat")))
  done
  echo "$total"
}

export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
if [ $wine = 1 ]; then
  export WINEPREFIX=${WINEPREFIX:-$root/build-windows/wine-prefix} WINEDEBUG=-all WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
  [ -d "$WINEPREFIX" ] || timeout 180 wineboot -i >/dev/null 2>&1
  (cd "$(dirname "$program")" && exec timeout $((seconds + 120)) wine "$program") >"$work/log" 2>&1 &
else
  (cd "$(dirname "$program")/run" 2>/dev/null || cd "$(dirname "$program")"; exec "$program") >"$work/log" 2>&1 &
fi
pid=$!
for _ in $(seq 120); do
  grep -q 'First frame presented\|Tarn sim' "$work/log" 2>/dev/null && break
  xdotool search --name '^Tarn sim$' >/dev/null 2>&1 && break
  sleep 1
done
sleep 10
name=$(basename "$program")
pids() {
  # Wine names the process after the program (cut to 15 characters).
  if [ $wine = 1 ]; then pgrep -x "${name:0:15}" || true; pgrep -x wineserver || true
  else echo "$pid"; fi
}
p=$(pids | tr '\n' ' ')
t0=$(ticks $p); w0=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks $p); w1=$(date +%s.%N)
hz=$(getconf CLK_TCK)
awk -v t="$((t1 - t0))" -v hz="$hz" -v w0="$w0" -v w1="$w1" -v name="$name" -v s="$seconds" \
  'BEGIN { printf "idle CPU: %.1f%% of one core (%s, %d s paused)\n", 100 * t / hz / (w1 - w0), name, s }'
