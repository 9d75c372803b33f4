#!/usr/bin/env bash
# Installs the Debian packages Tarn sim builds, tests and runs with, skipping
# those already present. Works as root; uses sudo otherwise.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libsdl2-dev libepoxy-dev libstb-dev fonts-dejavu-core libinih-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  xvfb xdotool imagemagick x11-utils
)

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
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
