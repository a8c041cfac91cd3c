#!/usr/bin/env bash
# Builds the small static FFmpeg that the engine links: Debian's own FFmpeg
# source, configured with only the demuxers, decoders and protocols a radio
# station uses. Debian's shared FFmpeg drags in some 160 libraries (video
# codecs, SVG, TLS stacks) that cost a player 18 MB of memory for nothing.
# Idempotent: rebuilds only when this script changes. Prints the prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
prefix=$top/build/ffmpeg
src=$top/build/ffmpeg-src
stamp=$prefix/.stamp
hash=$(sha256sum "$0" | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$hash" ]; then
  echo "$prefix"
  exit 0
fi

options=(
  --disable-everything --disable-autodetect --disable-programs --disable-doc
  --disable-avdevice --disable-avfilter --disable-swscale --disable-postproc
  --disable-debug --enable-pic --enable-static --disable-shared
  --enable-swresample --enable-network
  --enable-decoder=mp1,mp1float,mp2,mp2float,mp3,mp3float,aac,aac_latm,vorbis,opus,flac,wmav1,wmav2,wmapro,wmalossless
  --enable-demuxer=mp3,aac,ogg,asf,mov,flac
  --enable-parser=mpegaudio,aac,vorbis,opus,flac
  --enable-protocol=http,tcp,mmsh,mmst
)

mkdir -p "$src"
tarball=$(ls "$src"/ffmpeg_*.orig.tar.* 2>/dev/null | head -n 1 || true)
if [ -z "$tarball" ]; then
  (cd "$src" && apt-get source --download-only -qq -o APT::Sandbox::User=root ffmpeg >&2)
  tarball=$(ls "$src"/ffmpeg_*.orig.tar.* | head -n 1)
fi
rm -rf "$src/tree" "$prefix"
mkdir -p "$src/tree"
tar -xf "$tarball" -C "$src/tree" --strip-components=1
(
  cd "$src/tree"
  ./configure --prefix="$prefix" "${options[@]}" >"$src/configure.log" 2>&1 ||
    { tail -n 20 "$src/configure.log" >&2; exit 1; }
  make -j"$(nproc)" >"$src/make.log" 2>&1 || { tail -n 30 "$src/make.log" >&2; exit 1; }
  make install >/dev/null
)
rm -rf "$src/tree"
echo "$hash" >"$stamp"
echo "$prefix"
