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
[ "${1:-}" = "--tests" ] && targets+=(foundation_tests shader_asm_test assets_tests input_tests physics_test
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
cat > "$stage/README.txt" <<TEXT
Tarn sim $version for 64-bit Windows

Start tarnsim.exe: it reads Models, Textures, Shaders and Fonts from its own
folder and writes compiled models into Models (into %LOCALAPPDATA%\tarnsim
where that folder is read-only).
Keys: P or Pause start/stop, E arm, Z power, arrows pitch/roll, Space tail,
C camera, Delete cut the balloon, F1 reset, F2 screenshot, F8 stick monitor,
F9 record the flight, F10 set-up menu, H help line, Escape quit. Gamepads and
joysticks fly it.

Settings (stick, buttons, keys): tarnsim.exe --write-config writes the
commented defaults to %APPDATA%\tarnsim\tarnsim.conf. Recorded flights go to
%APPDATA%\tarnsim\flights, screenshots to your Pictures\tarnsim folder.
tarnsim.exe --replay FILE plays a flight back; tarnsim.exe --help lists more.

Direct3D 9 and D3DX 9 draw the window. d3dx9_43.dll is not part of Windows
itself: if the program reports it missing, install Microsoft's
"DirectX End-User Runtime" (June 2010), which brings it.
TEXT
sed -i 's/$/\r/' "$stage/README.txt"
(cd build-windows/package && zip -qr "../$name.zip" "$name")
echo "build-windows/$name.zip"
