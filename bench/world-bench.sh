#!/usr/bin/env bash
# The world benchmark: a 4 x 4 world of 1025 x 1025 tiles (two noise layers, a hydraulic erosion
# entry) built through scripts/build-world.sh with --jobs 1 and --jobs 2, the peak memory of one tile
# process, the seams, and the time a 32 x 32 world would take on 64 such machines.
# Usage: bench/world-bench.sh [BUILD_DIR] (default build/bench, configured with the benchmarks on).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/bench}")
if [ ! -x "$build/velmoran-build" ] || [ ! -x "$build/bench/WorldBench" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORAN_BUILD_TESTS=OFF \
    -DVELMORAN_BUILD_BENCH=ON >&2
  cmake --build "$build" --target velmoran-build WorldBench >&2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/WorldBench" make "$work/bench.velmoran"
export VELMORAN_BUILD="$build/velmoran-build"

seconds() { # runs the command, prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
one=$(seconds "$root/scripts/build-world.sh" "$work/bench.velmoran" "$work/jobs1" --jobs 1 --formats r16,exr)
two=$(seconds "$root/scripts/build-world.sh" "$work/bench.velmoran" "$work/jobs2" --jobs 2 --formats r16,exr)
cmp -s "$work/jobs1/bench_x2_y1.r16" "$work/jobs2/bench_x2_y1.r16" || echo "the runs' tiles differ" >&2
/usr/bin/time -v "$build/velmoran-build" "$work/bench.velmoran" --out "$work/one" --tile 1,1 \
  2>"$work/time.txt" >/dev/null
peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")

printf 'tiles: 16 of 1025 x 1025 (4 x 4), two noise layers and hydraulic erosion (250,000 droplets a tile, overlap 48)\n'
calc() { awk "BEGIN { print $1 }"; }
printf -- '--jobs 1: %.1f s (%.2f s a tile)\n' "$one" "$(calc "$one / 16")"
printf -- '--jobs 2: %.1f s (speed-up %.2f)\n' "$two" "$(calc "$one / $two")"
printf 'peak memory of one tile process: %.0f MB\n' "$(calc "$peak / 1024")"
# 32 x 32 = 1024 tiles on 64 machines like this one: 16 tiles each, two at a time.
printf '32 x 32 tiles on 64 such machines (16 tiles each, --jobs 2): about %.0f s\n' \
  "$(calc "$two / 16 * 1024 / 64")"
"$build/bench/WorldBench" seams "$work/jobs2" bench
