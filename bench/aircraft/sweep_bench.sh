#!/usr/bin/env bash
# Sweep throughput: the same sweep of 60-second flights with --jobs 1 and
# --jobs 2 (cases per wall second, and the ratio), and the per-case overhead
# (the worker's start, the content and the aircraft build: a sweep of
# zero-length flights) against a 60-second flight. Wall-clock figures: run it
# on an otherwise idle machine.
#
#   bench/aircraft/sweep_bench.sh [BUILD_DIR] [CASES]   (build, 8)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
cases=${2:-8}
cmake --build "$build" -j"$(nproc)" --target tarn-flight content >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '0 press Pause\n0.5 press E\n1 press Z\n5 down Up\n5 down Left\n60 end\n' >"$work/turn60.txt"
printf '0 press Pause\n0 end\n' >"$work/empty.txt"
cd "$build/run"
wall() {  # seconds of wall time of a command
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
sweep=(--sweep fin.height=0.5:2.5:"$cases" --quiet)
one=$(wall "$build/tarn-flight" "$work/turn60.txt" "${sweep[@]}" --jobs 1)
two=$(wall "$build/tarn-flight" "$work/turn60.txt" "${sweep[@]}" --jobs 2)
empty=$(wall "$build/tarn-flight" "$work/empty.txt" "${sweep[@]}" --jobs 1)
printf '%s cases of 60 s flights: --jobs 1 %.2f s (%.2f cases/s), --jobs 2 %.2f s (%.2f cases/s): %.2fx\n' \
  "$cases" "$one" "$(echo "$cases / $one" | bc -l)" "$two" "$(echo "$cases / $two" | bc -l)" "$(echo "$one / $two" | bc -l)"
printf 'per-case overhead (a sweep of empty flights): %.3f s a case, %.1f%% of a 60 s flight case (%.3f s)\n' \
  "$(echo "$empty / $cases" | bc -l)" "$(echo "100 * $empty / $one" | bc -l)" "$(echo "$one / $cases" | bc -l)"
