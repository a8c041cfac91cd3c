#!/usr/bin/env bash
# The player benchmark in one command: builds the two programs it runs
# (unless --no-build), then hands every other argument to bench.py.
#   bench/run.sh [--no-build] [--quick] [--json FILE] [--runs N] [--play-seconds S] ...
# See bench/README.md; bench.py --help lists all options.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

build=1
args=()
for a in "$@"; do
  if [ "$a" = "--no-build" ]; then build=0; else args+=("$a"); fi
done

if [ "$build" = 1 ]; then
  # Only the bench's own targets: a half-finished test elsewhere in the tree
  # should not keep the bench from running.
  (cd "$root" && cmake --preset release >/dev/null &&
     cmake --build build/release --target ornivox-play ornivox-decode-bench) >&2
fi
exec /usr/bin/python3 "$here/bench.py" "${args[@]}"
