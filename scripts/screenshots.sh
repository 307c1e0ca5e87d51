#!/usr/bin/env bash
# Remakes the README's pictures (docs/start.png, docs/session.png) from a real session of the editor
# under a virtual X server: builds what is missing (build/test, as scripts/test.sh does), then runs
# tools/screenshots/Screenshots.cpp, which drives the editor through a short session and writes the
# window's pixels.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -f build/test/build.ninja ]; then
  ./scripts/install-deps.sh test
  cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORAN_BUILD_TESTS=ON
fi
cmake --build build/test -j2 --target velmoran_screenshots velmoran_workdir
mkdir -p docs
docs="$(pwd)/docs"
cd build/test/work
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ../velmoran_screenshots "$docs" > /dev/null
ls -l "$docs"/start.png "$docs"/session.png
