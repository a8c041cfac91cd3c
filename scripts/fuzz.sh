#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a bounded time on a copy of its
# seed corpus. Exits non-zero on the first crash, hang or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${ORNIVOX_FUZZ_SECONDS:-20}
scripts/build.sh fuzz >/dev/null
declare -A corpus=([net_playlist]=net_playlist [icy_splitter]=icy_stream [playlists]=playlists [settings]=settings [stream_title]=stream_title [header_tags]=header_tags [version_block]=version_block)
for target in "${!corpus[@]}"; do
  [ -x build/fuzz/tests/fuzz/fuzz_$target ] || continue
  work=$(mktemp -d)
  cp tests/fuzz/corpus/"${corpus[$target]}"/* "$work"/
  echo "fuzz $target for ${seconds}s"
  build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
    -print_final_stats=0 "$work" 2>&1 | tail -n 3
  status=${PIPESTATUS[0]}
  rm -rf "$work"
  [ "$status" -eq 0 ] || { echo "fuzz $target failed"; exit 1; }
done
