#!/usr/bin/env bash
# Cross-builds Tarn sim for 64-bit Windows with MinGW-w64 into build-windows/:
# tarnsim.exe and tarn-flight.exe (statically linked: the only DLL beyond
# Windows' own is D3DX's d3dx9_43.dll), the run directory run/ with the content
# (made by the native content builder, which is built first in build/), and
# TarnSim-<version>-windows.zip, ready to unpack and run.
#   scripts/build-windows.sh           programs, run directory, zip
#   scripts/build-windows.sh --tests   also the headless GoogleTest suites and
#                                      the Direct3D 9 contact sheet
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(tarnsim tarn-flight)
[ "${1:-}" = "--tests" ] && targets+=(foundation_tests shader_asm_test assets_tests input_tests key_names_tests physics_test
                                      aircraft_tests aircraft_scenarios tarn-contactsheet)

scripts/setup.sh --windows

# CPU is scarce and MinGW compiles are slow: cache them, like the native ones.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
jobs="${JOBS:-$(nproc)}"

# The content is the same on every system: the native builder makes it.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build --target tarn-content -j"$jobs"
# The programs' icon, painted as the Linux one is, for their resources.
mkdir -p build-windows
build/tarn-content --icons build-windows/icons >/dev/null

cmake -S . -B build-windows --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-windows --target "${targets[@]}" -j"$jobs"

rm -rf build-windows/run
build/tarn-content content build-windows/run /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf

# The zip: both programs (without their debug information) beside the
# content, so a double click starts the simulator where it finds its files.
version=$(sed -n 's/^#define TARN_VERSION "\(.*\)"$/\1/p' build-windows/generated/tarn_version.h)
name="TarnSim-$version-windows"
stage="build-windows/package/$name"
rm -rf build-windows/package "build-windows/$name.zip"
mkdir -p "$stage"
cp -r build-windows/run/. "$stage/"
for exe in tarnsim tarn-flight; do
  x86_64-w64-mingw32-strip -o "$stage/$exe.exe" "build-windows/$exe.exe"
done
sed "s/@VERSION@/$version/" packaging/windows/README.txt.in >"$stage/README.txt"
scripts/notices.sh windows >"$stage/NOTICES.txt"
sed -i 's/$/\r/' "$stage/README.txt" "$stage/NOTICES.txt"
(cd build-windows/package && zip -qr "../$name.zip" "$name")
echo "build-windows/$name.zip"
