#!/usr/bin/env bash
# Two builds' frame rates side by side: the frame benchmark of each, taking
# turns on one private Xvfb of 1280x720 (Mesa llvmpipe), so that both see the
# same machine load. Prints each run and each build's medians: frames a
# second, and processor milliseconds a frame (the load hardly moves that one).
#   bench/app/compare_frame_bench.sh BASE_BUILD_DIR NEW_BUILD_DIR [ROUNDS]   (default 3 rounds)
set -euo pipefail
base=$1 new=$2 rounds=${3:-3}
for b in "$base" "$new"; do
  [ -x "$b/bench/app/app_frame_bench" ] || { echo "build $b/bench/app/app_frame_bench first"; exit 1; }
done
cd "$(dirname "$0")/../.."
source tests/e2e/window_helpers.sh
start_private_xvfb 200 239 1280x720 || { echo "no free X display"; exit 1; }
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT

# The frame rate follows the machine's load; the processor time a frame takes
# (all threads: the program's and the rasteriser's) hardly does, and says what
# a frame costs.
median() { tr ' ' '\n' | grep . | sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
cpu=$(mktemp)
declare -A runs costs
for r in $(seq "$rounds"); do
  for b in "$base" "$new"; do
    out=$(/usr/bin/time -f '%U %S' -o "$cpu" "$b/bench/app/app_frame_bench" 2>/dev/null)
    line=$(echo "$out" | grep -o 'draw_ms=[^ ]*\|fps=[^ ]*\|present_ms=[^ ]*\|frames=[^ ]*' | tr '\n' ' ')
    fps=$(echo "$line" | grep -o 'fps=[0-9.]*' | cut -d= -f2)
    frames=$(echo "$line" | grep -o 'frames=[0-9.]*' | cut -d= -f2)
    cost=$(awk -v f="$frames" 'NR == 1 {printf "%.2f", 1000 * ($1 + $2) / f}' "$cpu")
    echo "round $r  $b  $line cpu_ms_per_frame=$cost"
    runs[$b]="${runs[$b]:-} $fps"
    costs[$b]="${costs[$b]:-} $cost"
  done
done
rm -f "$cpu"
for b in "$base" "$new"; do
  echo "median  $b  fps $(echo ${runs[$b]} | median)  cpu_ms_per_frame $(echo ${costs[$b]} | median)"
done
