#!/usr/bin/env bash
# Builds the fuzz targets and runs them all at once, each for a bounded time
# (ORNIVOX_FUZZ_SECONDS, 20) on a copy of its seed corpus. Exits non-zero
# when any of them found a crash, a hang or a sanitizer report.
#   scripts/fuzz.sh            build, then run
#   scripts/fuzz.sh --no-build run what build/fuzz holds
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${ORNIVOX_FUZZ_SECONDS:-20}
if [ "${1:-}" != --no-build ]; then
  scripts/build.sh fuzz >/dev/null || { echo "fuzz: the build failed"; exit 1; }
fi
declare -A corpus=([net_playlist]=net_playlist [icy_splitter]=icy_stream [playlists]=playlists [settings]=settings
                   [stream_title]=stream_title [header_tags]=header_tags [version_block]=version_block)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pids=()
targets=()
for target in "${!corpus[@]}"; do
  program=build/fuzz/tests/fuzz/fuzz_$target
  [ -x "$program" ] || { echo "fuzz: $program is missing"; exit 1; }
  mkdir -p "$work/$target"
  cp tests/fuzz/corpus/"${corpus[$target]}"/* "$work/$target"/
  "$program" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=0 \
    "$work/$target" >"$work/$target.log" 2>&1 &
  pids+=($!)
  targets+=("$target")
done
failed=0
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then
    echo "fuzz ${targets[$i]} for ${seconds}s: $(grep -E '^Done [0-9]+ runs' "$work/${targets[$i]}.log" | tail -n 1)"
  else
    echo "fuzz ${targets[$i]} failed:"
    tail -n 30 "$work/${targets[$i]}.log"
    failed=1
  fi
done
exit "$failed"
