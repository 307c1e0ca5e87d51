#!/usr/bin/env bash
# Installs the Debian packages the project needs. Usage: install-deps.sh [run|test]
#   run  - what building and starting the editor needs
#   test - additionally the test, benchmark, sanitizer and virtual X server tools
set -euo pipefail

mode="${1:-run}"

packages=(
  build-essential cmake ninja-build pkg-config
  libglfw3-dev libglew-dev libglm-dev libstb-dev libspdlog-dev libfmt-dev libimgui-dev
  nlohmann-json3-dev libzip-dev zlib1g-dev libcli11-dev
  libspng-dev libtinygltf-dev libtinyexr-dev
  libgl1-mesa-dri libglx-mesa0
  parallel
)
if [ "$mode" = "test" ]; then
  packages+=(
    libgtest-dev libbenchmark-dev libtinyobjloader-dev
    xvfb xauth libx11-dev libxtst-dev
    clang-14 libclang-rt-14-dev clang-format
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
