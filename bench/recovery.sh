#!/usr/bin/env bash
# How soon the player sounds again after its server comes back, in one
# command: builds the demo player (unless --no-build), then runs
# bench/recovery.py in an X server of its own and, as root, in a network
# namespace of its own (the demo station's fixed port is then free).
#   bench/recovery.sh [--no-build] [--rounds N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=1
args=()
for a in "$@"; do
  case "$a" in
    --no-build) build=0 ;;
    *) args+=("$a") ;;
  esac
done
if [ "$build" = 1 ]; then
  (cd "$root" && cmake --preset release >/dev/null && cmake --build build/release --target ornivox-demo) >&2
fi
netns=()
if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
  netns=("$root/tests/fixtures/in_netns.sh")
fi
exec "${netns[@]}" "$root/tests/fixtures/with_xvfb.sh" /usr/bin/python3 "$here/recovery.py" "${args[@]}"
