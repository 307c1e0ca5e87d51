#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under a virtual X server; then the
# same suite built by clang with AddressSanitizer and UndefinedBehaviorSanitizer, and from the same
# build the fuzz targets of the OBJ and project readers for a bounded time each.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh test
# Every C++ source keeps the repository's .clang-format (scripts/format.sh applies it).
if ! git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
  echo "Sources differ from .clang-format: run scripts/format.sh"
  exit 1
fi
jobs="$(nproc)"
# Each part's wall time is printed as it ends ("[time] PART: N s"), to see where the run's time goes.
timed() {
  local label="$1" start=$SECONDS
  shift
  "$@"
  echo "[time] $label: $((SECONDS - start)) s"
}
# -noreset: by default the server resets whenever its last client leaves, and a test process that
# connects during the reset fails to open the display.
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24 -noreset")

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORAN_BUILD_TESTS=ON -DVELMORAN_BUILD_BENCH=ON
timed "release build" cmake --build build/test
# The user's journey drives the real window by input and waits for its frames: it runs alone, after
# the rest, so no other test loads the machine under it, and a run that misses a frame is tried once more
# (a fault fails both runs).
timed "release tests" "${xvfb[@]}" ctest --test-dir build/test --output-on-failure -j "$jobs" -E "^UserJourneyTest$"
timed "release journey" "${xvfb[@]}" ctest --test-dir build/test --output-on-failure -R "^UserJourneyTest$" \
  --repeat until-pass:2

# Sanitizers: a lightly optimised debug build keeps the run short; line tables (-g1) are all the
# stack traces need, and full debug information would double the build's time. clang compiles it a
# quarter faster than gcc, and its libFuzzer lets the fuzz targets build in the same tree.
cmake -S . -B build/asan -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DCMAKE_C_FLAGS=-O1 \
  -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 \
  -DVELMORAN_BUILD_TESTS=ON -DVELMORAN_BUILD_BENCH=OFF -DVELMORAN_SANITIZE=ON -DVELMORAN_FUZZ=ON
timed "sanitizer build" cmake --build build/asan
timed "sanitizer tests" "${xvfb[@]}" ctest --test-dir build/asan --output-on-failure -j "$jobs" -E "^UserJourneyTest$"
timed "sanitizer journey" "${xvfb[@]}" ctest --test-dir build/asan --output-on-failure -R "^UserJourneyTest$" \
  --repeat until-pass:2

# Fuzzing: each reader for a bounded time, the OBJ reader from the committed seeds, the project reader
# from seeds our project writer makes at the start of the run. New inputs go to build/asan/fuzz/*corpus;
# a crash leaves its input in build/asan/fuzz/ and fails the run.
fuzz_dir=build/asan/fuzz
fuzz_start=$SECONDS
mkdir -p "$fuzz_dir/corpus" "$fuzz_dir/project-corpus" "$fuzz_dir/project-seeds"
"$fuzz_dir/MakeProjectSeeds" "$fuzz_dir/project-seeds"
fuzz_seconds="${VELMORAN_FUZZ_SECONDS:-45}"
fuzz() {
  local target="$1" log="$fuzz_dir/$1.log"
  shift
  if ! "$fuzz_dir/$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$fuzz_dir/" -print_final_stats=1 "$@" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$target failed; see $log"
    exit 1
  fi
  echo "$target: $(grep -E '^Done [0-9]+ runs' "$log" || tail -n 1 "$log")"
}
# The two readers are fuzzed side by side, one on each core.
fuzz ObjReaderFuzz "$fuzz_dir/corpus" fuzz/corpus tests/data/obj &
obj_fuzz=$!
fuzz ProjectReaderFuzz "$fuzz_dir/project-corpus" "$fuzz_dir/project-seeds" &
project_fuzz=$!
status=0
wait "$obj_fuzz" || status=1
wait "$project_fuzz" || status=1
echo "[time] fuzzing: $((SECONDS - fuzz_start)) s"
echo "[time] whole run: $SECONDS s"
exit "$status"
