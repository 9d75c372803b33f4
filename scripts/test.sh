#!/usr/bin/env bash
# Sets up, builds and runs every test. With --sanitize, builds into build-asan
# with AddressSanitizer and UndefinedBehaviorSanitizer instead of build/.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON -DTARN_BENCH=OFF)
  # LeakSanitizer stops and scans every thread at exit, and its tracer now and
  # then crashes on Mesa's idle worker threads. Rasterise on the calling thread
  # and skip the shader disk cache so that a GL test ends with one thread.
  export LP_NUM_THREADS=0 MESA_SHADER_CACHE_DISABLE=true
fi

scripts/setup.sh

# Every run gets its own scratch folder (GoogleTest's TempDir() reads it), so
# two checkouts testing at once never share a file.
export TEST_TMPDIR
TEST_TMPDIR=$(mktemp -d /tmp/tarn-tests.XXXXXX)
cleanup() { rm -rf "$TEST_TMPDIR"; }
trap cleanup EXIT

# Window and GL tests need an X server; start a private one when there is none.
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  source tests/e2e/window_helpers.sh
  start_private_xvfb 90 120 1280x800 || { echo "could not start Xvfb" >&2; exit 1; }
  trap 'kill $xvfb_pid 2>/dev/null || true; cleanup' EXIT
fi
export LIBGL_ALWAYS_SOFTWARE=1

cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
