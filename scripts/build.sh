#!/usr/bin/env bash
# Configures and builds one preset (release, asan, tsan, fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
[ "$preset" = fuzz ] || scripts/build-ffmpeg.sh >/dev/null
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
