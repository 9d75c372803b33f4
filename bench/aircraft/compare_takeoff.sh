#!/usr/bin/env bash
# The take-off benchmark of two builds side by side in one session: BM_TakeOff
# of BASE_BUILD and NEW_BUILD run in turn, ROUNDS times each, so a load that
# comes and goes falls on both alike. The figure compared is simulated
# seconds per CPU second (Google Benchmark's sim_s_per_s counter, a rate over
# CPU time); the medians give the ratio NEW / BASE.
#
#   bench/aircraft/compare_takeoff.sh BASE_BUILD NEW_BUILD [ROUNDS]   (5 rounds)
#
# Both build directories need the flight_bench and content targets built
# (each benchmark flies on its own build's content).
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 BASE_BUILD NEW_BUILD [ROUNDS]" >&2
  exit 2
fi
base=$(realpath "$1")/bench/aircraft/flight_bench
new=$(realpath "$2")/bench/aircraft/flight_bench
rounds=${3:-5}
for b in "$base" "$new"; do
  [ -x "$b" ] || { echo "no benchmark at $b" >&2; exit 1; }
done

rate() {  # simulated seconds per CPU second of one BM_TakeOff run
  "$1" --benchmark_filter='^BM_TakeOff(/|$)' --benchmark_format=json 2>/dev/null |
    jq -r '.benchmarks[0] | "\(.sim_s_per_s) \(.cpu_time) \(.real_time)"'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "load: $(uptime)"
printf '%-6s %-5s %12s %12s %12s\n' round build sim_s/cpu_s cpu_ms/run wall_ms/run
baseRates=() newRates=()
for ((r = 1; r <= rounds; r++)); do
  read -r s c w < <(rate "$base")
  baseRates+=("$s")
  printf '%-6s %-5s %12.2f %12.1f %12.1f\n' "$r" base "$s" "$c" "$w"
  read -r s c w < <(rate "$new")
  newRates+=("$s")
  printf '%-6s %-5s %12.2f %12.1f %12.1f\n' "$r" new "$s" "$c" "$w"
done
b=$(printf '%s\n' "${baseRates[@]}" | median)
n=$(printf '%s\n' "${newRates[@]}" | median)
printf 'median simulated seconds per CPU second: base %.2f, new %.2f: %.2fx\n' "$b" "$n" "$(echo "$n / $b" | bc -l)"
