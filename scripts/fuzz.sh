#!/usr/bin/env bash
# Fuzzes the readers of outside bytes with libFuzzer (clang, ASan + UBSan):
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]      (defaults: all, 60)
#
# Builds the targets of tests/fuzz into build-fuzz/, seeds their corpora from
# the generated content once (build-fuzz/corpus/<target>/, which then keeps
# what the fuzzer finds), and runs each target for SECONDS. The saved
# regressions (tests/fuzz/regressions/<target>/) join every run. An input that
# crashes, hangs or runs out of memory is written to build-fuzz/findings/<target>/
# and the script fails; TARN_FUZZ_KEEP_GOING=1 keeps fuzzing past findings
# instead (libFuzzer's fork mode, for long unattended runs).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-fuzz
targets=(model_raw model_compiled font image_dds image_png image_tga shader_asm shader_tokens flight_script flight_file inih
         aircraft_file)
which=${1:-all}
seconds=${2:-60}
if [ "$which" != all ]; then
  [[ " ${targets[*]} " == *" $which "* ]] || { echo "fuzz.sh: unknown target \"$which\" (${targets[*]})" >&2; exit 1; }
  targets=("$which")
fi

scripts/setup.sh --fuzz
export CCACHE_BASEDIR=/work CCACHE_DIR=${CCACHE_DIR:-/work/.ccache}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_FUZZ=ON \
  -DTARN_TESTS=OFF -DTARN_BENCH=OFF "${launcher[@]}" >/dev/null
all=(model_raw model_compiled font image_dds image_png image_tga shader_asm shader_tokens flight_script flight_file inih
     aircraft_file)
cmake --build "$build" -j"$(nproc)" --target content "${all[@]/#/fuzz_}" >"$build/build.log" 2>&1 ||
  { tail -40 "$build/build.log"; echo "fuzz.sh: build failed, see $build/build.log" >&2; exit 1; }

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
corpus=$build/corpus
if [ ! -e "$corpus/.seeded" ]; then
  rm -rf "$corpus"
  python3 tests/fuzz/seeds.py "$build/run" "$root" "$corpus"
  # Compiled models and token streams come from what the upstream targets make.
  mkdir -p "$corpus/model_compiled" "$corpus/shader_tokens"
  TARN_FUZZ_SAVE=$corpus/model_compiled "$build/fuzz/model_raw" "$corpus"/model_raw/* >/dev/null 2>&1
  TARN_FUZZ_SAVE=$corpus/shader_tokens "$build/fuzz/shader_asm" "$corpus"/shader_asm/* >/dev/null 2>&1
  touch "$corpus/.seeded"
fi

declare -A dict=([model_raw]=model [model_compiled]=model [font]=font [image_dds]=dds [image_png]=png
                 [image_tga]=tga [shader_asm]=shader_asm [shader_tokens]=shader_tokens
                 [flight_script]=flight_script [flight_file]=flight_file [inih]=ini [aircraft_file]=ini)
# Flights whole: a few minutes of recording, not only its first lines.
declare -A maxlen=([model_raw]=65536 [model_compiled]=65536 [font]=8192 [image_dds]=65536
                   [image_png]=65536 [image_tga]=65536 [shader_asm]=8192 [shader_tokens]=16384
                   [flight_script]=4096 [flight_file]=262144 [inih]=4096
                   [aircraft_file]=65536)
extra=()
[ "${TARN_FUZZ_KEEP_GOING:-0}" = 1 ] && extra=(-fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1)
failed=0
for t in "${targets[@]}"; do
  mkdir -p "$corpus/$t" "$build/findings/$t"
  echo "== $t: ${seconds} s"
  log=$build/findings/$t.log
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len="${maxlen[$t]}" \
      -dict="$root/tests/fuzz/dict/${dict[$t]}.dict" -artifact_prefix="$build/findings/$t/" -print_final_stats=1 \
      "${extra[@]}" "$corpus/$t" "$root/tests/fuzz/regressions/$t" >"$log" 2>&1; then
    failed=1
    grep -E "^==[0-9]+==ERROR|SUMMARY|check failed|artifact_prefix|Test unit written" "$log" | head -5 || true
    echo "fuzz.sh: $t found a problem; log: $log" >&2
  fi
  runs=$(grep -o "stat::number_of_executed_units: [0-9]*" "$log" | tail -1 | grep -o "[0-9]*$" || true)
  [ -n "$runs" ] || runs=$(grep -oE "^#[0-9]+" "$log" | tail -1 | tr -d '#')
  echo "   ${runs:-?} executions, corpus $(ls "$corpus/$t" | wc -l) inputs"
done
exit $failed
