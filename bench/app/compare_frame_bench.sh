#!/usr/bin/env bash
# Two builds' frame rates side by side: the frame benchmark of each, taking
# turns on one private Xvfb of 1280x720 (Mesa llvmpipe), so that both see the
# same machine load. Prints each run and each build's median.
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

declare -A runs
for r in $(seq "$rounds"); do
  for b in "$base" "$new"; do
    line=$("$b/bench/app/app_frame_bench" 2>/dev/null | grep -o 'draw_ms=[^ ]*\|fps=[^ ]*\|present_ms=[^ ]*' | tr '\n' ' ')
    fps=$(echo "$line" | grep -o 'fps=[0-9.]*' | cut -d= -f2)
    echo "round $r  $b  $line"
    runs[$b]="${runs[$b]:-} $fps"
  done
done
for b in "$base" "$new"; do
  median=$(echo ${runs[$b]} | tr ' ' '\n' | sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}')
  echo "median fps  $b  $median"
done
