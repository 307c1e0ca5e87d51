#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh test
jobs="$(nproc)"
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORAN_BUILD_TESTS=ON -DVELMORAN_BUILD_BENCH=ON
cmake --build build/test
"${xvfb[@]}" ctest --test-dir build/test --output-on-failure -j "$jobs"
