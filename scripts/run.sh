#!/usr/bin/env bash
# Installs what is missing, builds Ornivox and runs the player: on the
# playlist file given, or else on a local demo station (a real Icecast server
# on 127.0.0.1 playing test tones). With no display it runs in its own X
# server for ORNIVOX_RUN_SECONDS (default 15), records what would be heard,
# and says where the screenshot and the recording are.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release >/dev/null
bin=${ORNIVOX_BIN_DIR:-build/release/src/app}
demo_dir=build/demo
demo_port=8642
mkdir -p "$demo_dir"

station_pid=
cleanup() { [ -n "$station_pid" ] && kill "$station_pid" 2>/dev/null && wait "$station_pid" 2>/dev/null; true; }
trap cleanup EXIT
trap 'exit 130' INT TERM

player=("$bin/ornivox")
if [ $# -eq 0 ]; then
  echo "No playlist given: starting the local demo station on port $demo_port."
  coproc STATION { exec /usr/bin/python3 -B tests/fixtures/icecast_station.py --port "$demo_port"; }
  station_pid=$STATION_PID
  read -r -t 40 ready <&"${STATION[0]}" || true
  if ! grep -q '"ready": true' <<<"${ready:-}"; then
    echo "The demo station did not start: ${ready:-no answer}" >&2
    exit 1
  fi
  echo "Demo station: http://127.0.0.1:$demo_port/tone.mp3"
  player=("$bin/ornivox-demo")
else
  player+=("$1")
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "${player[@]}"
  exit $?
fi

seconds=${ORNIVOX_RUN_SECONDS:-15}
raw="$demo_dir/recording.raw"
wav="$demo_dir/recording.wav"
shot="$demo_dir/screenshot.png"
rm -f "$raw" "$wav" "$shot" "$demo_dir/player.log"
echo "No display here: running in Xvfb for $seconds s with a compositor, recording what would be heard."
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$raw" XDG_RUNTIME_DIR="$PWD/$demo_dir/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
export ORNIVOX_LOG="$demo_dir/player.log" ORNIVOX_SHOT="$shot" ORNIVOX_SHOT_AT=$((seconds / 2)) ORNIVOX_REST=$((seconds - seconds / 2))
ORNIVOX_COMPOSITOR=1 tests/fixtures/with_xvfb.sh bash -c '
  "$@" 2>>"$ORNIVOX_LOG" &
  player=$!
  sleep "$ORNIVOX_SHOT_AT"
  import -window root "$ORNIVOX_SHOT" 2>/dev/null || echo "no screenshot taken" >&2
  sleep "$ORNIVOX_REST"
  kill "$player" 2>/dev/null; wait "$player" 2>/dev/null; true
' bash "${player[@]}"
if [ -s "$raw" ]; then
  ffmpeg -nostdin -loglevel error -y -f s16le -ar 44100 -ac 2 -i "$raw" "$wav" && rm -f "$raw"
  echo "Recorded audio: $(realpath "$wav")"
else
  echo "Nothing was recorded." >&2
fi
[ -s "$shot" ] && echo "Screenshot: $(realpath "$shot")"
true
