#!/usr/bin/env bash
# Prints the program's targets layer by layer, each with the targets of ours
# it links directly, and checks that every edge points down (or stays in
# its own folder). The configure step makes the list and stops on a wrong
# edge; this runs that step in a build folder of its own.
#   scripts/layers.sh            the targets of a normal build
#   scripts/layers.sh --graph    the same, and CMake's own graph in DOT form
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/layers
mkdir -p "$dir"
ffmpeg=$(scripts/build-ffmpeg.sh)
args=(-S . -B "$dir" -G Ninja "-DORNIVOX_FFMPEG_PREFIX=$ffmpeg" -DORNIVOX_BUILD_TESTS=OFF -DORNIVOX_BUILD_BENCH=OFF)
[ "${1:-}" = --graph ] && args+=("--graphviz=$dir/targets.dot")
if ! cmake "${args[@]}" >"$dir/configure.log" 2>&1; then
  grep -A20 'link upwards' "$dir/configure.log" || tail -n 20 "$dir/configure.log"
  exit 1
fi
echo "layer folder target: what it links of ours (the layers: cmake/OrnivoxTargets.cmake)"
sort -n -s -k1,1 "$dir/layers.txt"
echo "no target links one above it or beside it"
[ "${1:-}" = --graph ] && echo "CMake's graph: $dir/targets.dot"
true
