#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Ornivox
# need, and nothing when they are all there already.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git python3
  libgtest-dev libgmock-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libsdl2-dev libcurl4-openssl-dev
  icecast2 ffmpeg util-linux procps
  clang libclang-rt-14-dev
)
if [ "${1:-}" = "--with" ] && [ -n "${2:-}" ] && [ -f "$2" ]; then
  mapfile -t extra < <(grep -v '^\s*#' "$2" | grep -v '^\s*$')
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
