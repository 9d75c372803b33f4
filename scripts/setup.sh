#!/usr/bin/env bash
# Installs the Debian packages Tarn sim builds, tests and runs with, skipping
# those already present. Works as root; uses sudo otherwise.
# With --windows, also what the Windows cross build and its runs under Wine
# need (about 1 GB); with --fuzz, the compiler and runtime the fuzz targets
# need (scripts/fuzz.sh).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libsdl2-dev libepoxy-dev libstb-dev fonts-dejavu-core libinih-dev libcli11-dev libimgui-dev parallel
  libgtest-dev libgmock-dev libbenchmark-dev
  libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  xvfb xdotool imagemagick x11-utils
  dpkg-dev file lintian desktop-file-utils man-db help2man
)
if [ "${1:-}" = "--windows" ]; then
  # MinGW-w64 brings d3d9.h, d3dx9.h and their import libraries. Wine's
  # Direct3D crashes instead of failing cleanly when Mesa's driver is
  # missing, so libgl1 and libgl1-mesa-dri are named, not left to Recommends.
  packages+=(g++-mingw-w64-x86-64-posix googletest wine64 wine libgl1 libgl1-mesa-dri zip unzip ccache)
elif [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev python3)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
