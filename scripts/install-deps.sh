#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Ornivox
# need, and nothing when they are all there already.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git python3
  libgtest-dev libgmock-dev
  nasm make xz-utils
  libsdl2-dev libcurl4-openssl-dev
  icecast2 ffmpeg util-linux procps
  clang libclang-rt-14-dev
  qt6-base-dev libjpeg62-turbo-dev libpng-dev fonts-wine fonts-dejavu-core
  xvfb xauth xcompmgr x11-utils iproute2
  weston qt6-wayland xwayland
  libx11-dev libxcb1-dev qt6-webengine-dev python3-aiosmtpd dbus-daemon playerctl gdb
  lintian desktop-file-utils appstream xdg-utils libglib2.0-bin dpkg-dev fakeroot file binutils xdotool imagemagick openbox
  at-spi2-core python3-pyatspi
)
if [ "${1:-}" = "--with" ] && [ -n "${2:-}" ] && [ -f "$2" ]; then
  mapfile -t extra < <(grep -v '^\s*#' "$2" | grep -v '^\s*$')
  packages+=("${extra[@]}")
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# The engine's FFmpeg is built from Debian's source package
# (scripts/build-ffmpeg.sh): source entries beside the machine's own ones.
need_update=
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  list_dir=/etc/apt/sources.list.d
  stanzas=$(for f in "$list_dir"/*.sources; do
    [ -f "$f" ] && sed -E 's/^Types:.*/Types: deb-src/' "$f" && echo
  done)
  lines=$([ -f /etc/apt/sources.list ] && sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list || true)
  [ -z "$stanzas" ] || printf '%s\n' "$stanzas" | "${sudo_cmd[@]}" tee "$list_dir/ornivox-src.sources" >/dev/null
  [ -z "$lines" ] || printf '%s\n' "$lines" | "${sudo_cmd[@]}" tee "$list_dir/ornivox-src.list" >/dev/null
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ -z "$need_update" ] && exit 0

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
