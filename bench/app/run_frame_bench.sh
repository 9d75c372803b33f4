#!/usr/bin/env bash
# Runs the frame-rate benchmark on a private Xvfb of 1280x720 (Mesa llvmpipe).
#   bench/app/run_frame_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
[ -x "$build/bench/app/app_frame_bench" ] || { echo "build $build first"; exit 1; }
for n in $(seq 200 239); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  break
done
export LIBGL_ALWAYS_SOFTWARE=1
"$build/bench/app/app_frame_bench" "${@:2}"
