#!/usr/bin/env bash
# Sweep throughput: the same sweep of 60-second flights with --jobs 1 and
# --jobs 2 (cases per wall second, and the ratio), and the per-case overhead
# (the worker's start, the content and the aircraft build: sweeps of
# zero-length flights, one case and CASES cases, the difference per added
# case; the runner's own start comes once a sweep) against a 60-second
# flight. Wall and CPU time (user +
# system, the workers' included) both: the wall-clock ratio of --jobs 2 to
# --jobs 1 means something only on an otherwise idle machine, so the load
# is printed with the figures; CPU time holds up under load.
#
#   bench/aircraft/sweep_bench.sh [BUILD_DIR] [CASES]   (build, 8)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
cases=${2:-8}
[ "$cases" -ge 2 ] || { echo "CASES: at least 2" >&2; exit 2; }
cmake --build "$build" -j"$(nproc)" --target tarn-flight content >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '0 press Pause\n0.5 press E\n1 press Z\n5 down Up\n5 down Left\n60 end\n' >"$work/turn60.txt"
printf '0 press Pause\n0 end\n' >"$work/empty.txt"
cd "$build/run"
measure() {  # "WALL CPU" seconds of a command, its children included
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null
  awk '{ printf "%s %s\n", $1, $2 + $3 }' "$work/time"
}
sweep=(--sweep fin.height=0.5:2.5:"$cases" --quiet)
echo "load before: $(uptime)"
read -r oneWall oneCpu < <(measure "$build/tarn-flight" "$work/turn60.txt" "${sweep[@]}" --jobs 1)
read -r twoWall twoCpu < <(measure "$build/tarn-flight" "$work/turn60.txt" "${sweep[@]}" --jobs 2)
read -r emptyWall emptyCpu < <(measure "$build/tarn-flight" "$work/empty.txt" "${sweep[@]}" --jobs 1)
read -r startWall startCpu < <(measure "$build/tarn-flight" "$work/empty.txt" --sweep fin.height=1:1:1 --quiet --jobs 1)
echo "load after:  $(uptime)"
calc() { echo "$1" | bc -l; }
printf '%s cases of 60 s flights:\n' "$cases"
printf '  --jobs 1: %.2f s wall (%.3f cases/s), %.2f s CPU (%.2f s a case)\n' \
  "$oneWall" "$(calc "$cases / $oneWall")" "$oneCpu" "$(calc "$oneCpu / $cases")"
printf '  --jobs 2: %.2f s wall (%.3f cases/s), %.2f s CPU (%.2f s a case)\n' \
  "$twoWall" "$(calc "$cases / $twoWall")" "$twoCpu" "$(calc "$twoCpu / $cases")"
printf '  throughput --jobs 2 / --jobs 1: %.2fx (wall)\n' "$(calc "$oneWall / $twoWall")"
caseWall=$(calc "($emptyWall - $startWall) / ($cases - 1)")
caseCpu=$(calc "($emptyCpu - $startCpu) / ($cases - 1)")
printf 'per-case overhead (empty flights, --jobs 1): %.3f s wall, %.3f s CPU a case; the sweep'"'"'s start %.3f s wall, %.3f s CPU\n' \
  "$caseWall" "$caseCpu" "$startWall" "$startCpu"
printf '  as a share of a 60 s flight case: %.1f%% of its wall time, %.1f%% of its CPU time\n' \
  "$(calc "100 * $caseWall * $cases / $oneWall")" "$(calc "100 * $caseCpu * $cases / $oneCpu")"
