#!/usr/bin/env bash
# Sets up, builds, makes the content and starts the simulator in its run directory.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
cd build/run
exec ../tarnsim
