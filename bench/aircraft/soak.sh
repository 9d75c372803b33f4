#!/usr/bin/env bash
# The long soak: two simulated hours of random input per seed, in the content
# of a build's run directory. Prints the runner's figures (wall time, maximum
# resident size at the first frame and at the end) and fails when a check did.
#
#   bench/aircraft/soak.sh [BUILD_DIR] [SECONDS] [SEED...]   (build, 7200, 1)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
seconds=${2:-7200}
shift $(( $# > 2 ? 2 : $# ))
seeds=("${@:-1}")
cmake --build "$build" -j"$(nproc)" --target tarn-flight content >/dev/null
cd "$build/run"
for seed in "${seeds[@]}"; do
  time "$build/tarn-flight" --random "$seed" --duration "$seconds"
done
