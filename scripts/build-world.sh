#!/usr/bin/env bash
# Builds every tile of a world, one velmoran-build process per tile, through GNU parallel: on this
# machine's cores by default, or over ssh on the hosts of a file (GNU parallel's --sshloginfile: a
# host a line, "N/host" to run N tiles there at once, ":" for this machine). Remote hosts must see
# WORLD, OUT and the velmoran-build program at the same paths (a shared file system).
#
# Usage: build-world.sh WORLD OUT [--jobs N] [--hosts FILE] [--formats LIST]
#   --jobs N        tiles built at once on each host (default: one per core); each tile
#                   process runs on one core (velmoran-build --threads 1)
#   --hosts FILE    the hosts to build on, instead of this machine alone
#   --formats LIST  the tile files: png16, r16, exr, glb (default png16,r16)
# VELMORAN_BUILD names the program (default build/release/velmoran-build, built when missing).
#
# A progress line counts the tiles as they finish; the summary gives the tiles built, skipped (their
# files were up to date) and failed, and names each failed tile with its error. A failed tile fails
# the run (status 1); a rerun builds only what is missing.
set -euo pipefail

usage() {
  echo "usage: $(basename "$0") WORLD OUT [--jobs N] [--hosts FILE] [--formats LIST]" >&2
  exit 2
}
[ $# -ge 2 ] || usage
world=$(realpath -e "$1") || { echo "build-world: $1: no such file" >&2; exit 2; }
out=$(realpath -m "$2")
shift 2
jobs=""
hosts=""
formats=()
while [ $# -gt 0 ]; do
  case "$1" in
    --jobs) [ $# -ge 2 ] || usage; jobs=$2; shift 2 ;;
    --hosts) [ $# -ge 2 ] || usage; hosts=$(realpath -e "$2"); shift 2 ;;
    --formats) [ $# -ge 2 ] || usage; formats=(--formats "$2"); shift 2 ;;
    *) usage ;;
  esac
done
if [ -n "$jobs" ] && ! [[ "$jobs" =~ ^[1-9][0-9]*$ ]]; then
  echo "build-world: --jobs takes a whole number from 1, not $jobs" >&2
  exit 2
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORAN_BUILD:-$root/build/release/velmoran-build}
if [ ! -x "$build" ]; then
  cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORAN_BUILD_TESTS=OFF >&2
  cmake --build "$root/build/release" --target velmoran-build >&2
fi
if ! command -v parallel >/dev/null; then
  echo "build-world: GNU parallel is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

tiles=$("$build" "$world" --out "$out" --tiles list) || exit 1
total=$(printf '%s\n' "$tiles" | grep -c .)
logs="$out/.build-world"
mkdir -p "$logs"
rm -f "$logs"/*.err "$logs/jobs.log"

options=(--will-cite --tag --line-buffer --halt never --joblog "$logs/jobs.log")
[ -n "$jobs" ] && options+=(--jobs "$jobs")
[ -n "$hosts" ] && options+=(--sshloginfile "$hosts")
# The command each job runs (through a shell, on the host that takes it); each tile's messages go to a
# file of its own, shown when the tile fails.
# Each tile process works on one core: the tiles side by side keep the cores busy, without the
# waits of splitting one tile's passes over threads.
command=$(printf '%q ' "$build" "$world" --out "$out" --threads 1 "${formats[@]}")
command+="--tile {} 2>$(printf '%q' "$logs")/{}.err"

done=0
built=0
skipped=0
progress() {
  local line
  line=$(printf 'build-world: %d of %d tiles done (%d built, %d skipped, %d failed)' \
    "$done" "$total" "$built" "$skipped" "$((done - built - skipped))")
  if [ -t 2 ]; then printf '\r%s' "$line" >&2; else printf '%s\n' "$line" >&2; fi
}
progress
# Each job prints "built B, skipped S" for its tile, tagged with the tile.
while IFS=$'\t' read -r tile counts; do
  done=$((done + 1))
  case "$counts" in
    "built 1, skipped 0") built=$((built + 1)) ;;
    "built 0, skipped 1") skipped=$((skipped + 1)) ;;
  esac
  progress
done < <(printf '%s\n' "$tiles" | parallel "${options[@]}" "$command" || true)
[ -t 2 ] && printf '\n' >&2

# The job log has the final word on failures (a job that died printed nothing).
failed=()
while IFS=$'\t' read -r _ _ _ _ _ _ status signal command_line; do
  [ "$status" = "Exitval" ] && continue
  if [ "$status" != 0 ] || [ "$signal" != 0 ]; then
    tile=${command_line##*--tile }
    tile=${tile%% *}
    tile=${tile//\'/}
    failed+=("$tile")
  fi
done <"$logs/jobs.log"
finished=$(($(wc -l <"$logs/jobs.log") - 1))
missing=$((total - finished))

echo "build-world: $total tiles: $built built, $skipped skipped, ${#failed[@]} failed" >&2
for tile in "${failed[@]}"; do
  reason=$(grep -v '^velmoran-build: \(Reading\|Building\) ' "$logs/$tile.err" 2>/dev/null | tail -n 1 || true)
  echo "build-world: tile $tile failed: ${reason:-no message}" >&2
done
if [ "${#failed[@]}" -gt 0 ] || [ "$missing" -gt 0 ]; then
  [ "$missing" -gt 0 ] && echo "build-world: $missing tiles did not run" >&2
  exit 1
fi
exit 0
