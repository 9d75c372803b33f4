#!/usr/bin/env bash
# Runs the late-recording replay benchmark (60 s of pre-roll) on a private
# Xvfb of 1280x720 (Mesa llvmpipe), on the first free display from
# XVFB_FIRST to XVFB_LAST (default 200 to 239).
#   bench/app/run_replay_bench.sh [BUILD_DIR] [benchmark options]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
[ -x "$build/bench/app/app_replay_bench" ] || { echo "build $build first"; exit 1; }
source tests/e2e/window_helpers.sh
start_private_xvfb "${XVFB_FIRST:-200}" "${XVFB_LAST:-239}" 1280x720 || { echo "no free X display"; exit 1; }
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
"$build/bench/app/app_replay_bench" "${@:2}"
