#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it in its working folder
# (build/release/work: shaders/, icon.png and output/).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh run
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORAN_BUILD_TESTS=OFF
cmake --build build/release
cd build/release/work
exec ../velmoran
