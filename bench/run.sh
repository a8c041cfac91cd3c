#!/usr/bin/env bash
# The player benchmark in one command: builds the programs it runs (unless
# --no-build), then hands every other argument to bench.py.
#   bench/run.sh [--no-build] [--quick] [--json FILE] [--runs N] [--play-seconds S] ...
# See bench/README.md; bench.py --help lists all options.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

build=1
window=1
args=()
for a in "$@"; do
  case "$a" in
    --no-build) build=0 ;;
    --no-window) window=0; args+=("$a") ;;
    *) args+=("$a") ;;
  esac
done

if [ "$build" = 1 ]; then
  # Only the bench's own targets: a half-finished test elsewhere in the tree
  # should not keep the bench from running.
  targets=(ornivox-play ornivox-decode-bench)
  [ "$window" = 1 ] && targets+=(ornivox-demo ornivox-xwatch)
  (cd "$root" && cmake --preset release >/dev/null &&
     cmake --build build/release --target "${targets[@]}") >&2
fi

# ornivox-demo plays from a fixed port; in a network namespace of its own the
# bench's station cannot meet another one there (and nothing leaves loopback).
netns=()
if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
  netns=("$root/tests/fixtures/in_netns.sh")
fi
exec "${netns[@]}" /usr/bin/python3 "$here/bench.py" "${args[@]}"
