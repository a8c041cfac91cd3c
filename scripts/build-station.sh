#!/usr/bin/env bash
# Builds a station's own player and its Debian package from the station's
# kit, in one command:
#   scripts/build-station.sh stations/<name>          (or the station.conf in it)
# Installs what is missing, builds in build/station-<name> and prints where
# the package is. Options such as -DORNIVOX_STATION_BRAND=... after the kit
# override its settings.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ]; then
  echo "usage: $0 stations/<name> [-D<option>=<value>...]" >&2
  exit 2
fi
kit=$1
shift
[ -d "$kit" ] && kit=$kit/station.conf
if [ ! -f "$kit" ]; then
  echo "$0: no station file $kit" >&2
  exit 2
fi
kit=$(realpath "$kit")
name=$(basename "$(dirname "$kit")")
build=build/station-$name

scripts/install-deps.sh
ffmpeg=$(scripts/build-ffmpeg.sh)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORNIVOX_FFMPEG_PREFIX="$ffmpeg" \
  -DORNIVOX_BUILD_TESTS=OFF -DORNIVOX_BUILD_BENCH=OFF -DORNIVOX_STATION_FILE="$kit" "$@" >/dev/null
cmake --build "$build"
rm -rf "$build/deb"
cpack --config "$build/CPackConfig.cmake" -B "$build/deb" >/dev/null
package=$(ls "$build"/deb/*.deb)
echo "Package: $(realpath "$package")"
echo "Install it with: sudo apt-get install $(realpath "$package")"
