#!/usr/bin/env bash
# Installs what is missing, builds Ornivox and plays a station: the address
# given, or else a local demo station (a real Icecast server on 127.0.0.1
# playing test tones). With no sound device the audio is recorded to a file.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release >/dev/null
player=build/release/src/tools/ornivox-play
demo_dir=build/demo
mkdir -p "$demo_dir"

station_pid=
cleanup() { [ -n "$station_pid" ] && kill "$station_pid" 2>/dev/null && wait "$station_pid" 2>/dev/null; true; }
trap cleanup EXIT
trap 'exit 130' INT TERM

url=${1:-}
if [ -z "$url" ]; then
  echo "No station address given: starting the local demo station."
  coproc STATION { exec /usr/bin/python3 -B tests/fixtures/icecast_station.py; }
  station_pid=$STATION_PID
  read -r -t 40 ready <&"${STATION[0]}" || true
  port=$(sed -nE 's/.*"port": *([0-9]+).*/\1/p' <<<"${ready:-}")
  if [ -z "$port" ]; then
    echo "The demo station did not start: ${ready:-no answer}" >&2
    exit 1
  fi
  url="http://127.0.0.1:$port/tone.mp3"
  echo "Demo station: $url (also /tone.aac and /tone.ogg)"
fi

seconds=${ORNIVOX_PLAY_SECONDS:-0}
status=0
"$player" "$url" "$seconds" || status=$?
if [ "$status" -eq 3 ]; then
  raw="$demo_dir/recording.raw"
  wav="$demo_dir/recording.wav"
  seconds=${ORNIVOX_PLAY_SECONDS:-15}
  echo "No sound device here: recording ${seconds} s of what would be heard instead."
  rm -f "$raw"
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$raw" "$player" "$url" "$seconds" 2> >(grep -v 'disk i/o audio driver\|Writing to file' >&2) || status=$?
  ffmpeg -nostdin -loglevel error -y -f s16le -ar 44100 -ac 2 -i "$raw" "$wav" && rm -f "$raw"
  echo "Recorded audio: $(realpath "$wav")"
  [ "$status" -eq 3 ] && status=0
fi
exit "$status"
