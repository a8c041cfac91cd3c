#!/usr/bin/env bash
# Installs what is missing, builds the normal, AddressSanitizer and
# ThreadSanitizer builds and the fuzz targets, runs every test through CTest
# and the fuzzers, and ends with one line of totals. Exits non-zero when
# anything fails.
#
# The work overlaps where the machine allows: while one build's tests run
# (they mostly wait on real-time audio and servers), the next builds compile
# at the lowest priority, so they take only what the tests leave. Within a
# build CTest runs tests side by side; each that plays in real time holds a
# core (cmake/OrnivoxTests.cmake).
#   scripts/test.sh           what CI runs
#   scripts/test.sh --long    the same with each fuzz target run for ten
#                             minutes instead of 20 s, and then the player's
#                             soak: 30 minutes on a bad network
#                             (tests/app/faults_test.py --soak)
#   ORNIVOX_PRESETS   the builds to test (default "release asan tsan")
#   ORNIVOX_JOBS      CTest's parallel slots (default three times the
#                     processors; twice under the thread checker, whose
#                     tests are slow on their own)
#   ORNIVOX_FUZZ_SECONDS, ORNIVOX_NO_FUZZ=1
set -uo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  "") ;;
  --long)
    export ORNIVOX_FUZZ_SECONDS=${ORNIVOX_FUZZ_SECONDS:-600}
    soak_minutes=${ORNIVOX_SOAK_MINUTES:-30}
    ;;
  *) echo "usage: $0 [--long]" >&2; exit 2 ;;
esac

scripts/install-deps.sh || { echo "installing packages failed"; exit 1; }
scripts/build-ffmpeg.sh >/dev/null || { echo "building FFmpeg failed"; exit 1; }

read -r -a presets <<<"${ORNIVOX_PRESETS:-release asan tsan}"
[ "${ORNIVOX_NO_FUZZ:-0}" = 1 ] || presets+=(fuzz)
cores=$(nproc)
start=$(date +%s)
stamp() { echo "=== $(($(date +%s) - start)) s: $*"; }

passed=0
failed=0
gtests=0
problems=()
state=build/test-state
rm -rf "$state"
mkdir -p "$state"

build_one() {  # preset; writes $state/<preset> with the build's exit status
  local preset=$1 status
  {
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"
  } >"$state/$preset.log" 2>&1
  status=$?
  echo "$status" >"$state/$preset"
}

wait_built() {  # preset; true when it built (within an hour, by a builder still alive)
  local waited=0
  while [ ! -f "$state/$1" ]; do
    if [ -n "${builder:-}" ] && ! kill -0 "$builder" 2>/dev/null && [ ! -f "$state/$1" ]; then
      echo "the background build ended before $1" >"$state/$1.log"
      return 1
    fi
    [ "$waited" -lt 3600 ] || return 1
    sleep 1
    waited=$((waited + 1))
  done
  [ "$(cat "$state/$1")" = 0 ]
}

# The builds run in the order they are tested. The first has the machine to
# itself; the others follow in the background, one after another, at the
# lowest priority, so they take only what the running tests leave. The
# AddressSanitizer build is the largest and its tests the lightest, so it
# comes next; the ThreadSanitizer build compiles during those tests, and the
# fuzz targets (small) last. Starting the background builds at once lets them
# use the moments the first build leaves a processor idle.
order=("${presets[0]}")
for preset in asan tsan release fuzz; do
  for wanted in "${presets[@]:1}"; do
    [ "$wanted" = "$preset" ] && order+=("$preset")
  done
done
for wanted in "${presets[@]:1}"; do
  [[ " ${order[*]} " == *" $wanted "* ]] || order+=("$wanted")
done
presets=("${order[@]}")
if [ ${#presets[@]} -gt 1 ]; then
  (
    for preset in "${presets[@]:1}"; do
      nice -n 19 bash -c "$(declare -f build_one); state=$state; build_one $preset"
    done
  ) &
  builder=$!
fi
stamp "build: ${presets[0]}"
build_one "${presets[0]}"

run_tests() {
  local preset=$1 log="build/$preset/ctest.log" line f total jobs
  jobs=${ORNIVOX_JOBS:-$((cores * 3))}
  [ "$preset" != tsan ] || jobs=${ORNIVOX_JOBS:-$((cores * 2))}
  stamp "tests: $preset"
  # Each GoogleTest program leaves its report here (a shard, or a run of a
  # program again, under a name of its own: cmake/OrnivoxTests.cmake), so
  # that the tests inside the entries can be counted.
  local reports="$PWD/build/$preset/gtest-reports"
  rm -rf "$reports"
  mkdir -p "$reports"
  GTEST_OUTPUT="xml:$reports/" ctest --test-dir "build/$preset" -j "$jobs" --output-on-failure --timeout 600 \
    >"$log" 2>&1
  grep -E '^(The following tests FAILED|\s+[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess|Exception|Not Run))' "$log"
  # What failed and where, so that a run elsewhere can be read without its log.
  if grep -q '^The following tests FAILED' "$log"; then
    grep -E -A5 ': Failure$|^\[  FAILED  \]|ERROR: (Address|Leak)Sanitizer|WARNING: ThreadSanitizer|runtime error:|SUMMARY: |^hang guard:|^FAILED: ' "$log" |
      cut -c1-300 | head -n 100
  fi
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    problems+=("ctest $preset ran nothing")
    failed=$((failed + 1))
    return
  fi
  echo "$preset: $line ($(grep -E 'Total Test time' "$log" | sed -E 's/.*= *//'))"
  local counted ran skipped gfailed
  counted=$(python3 - "$reports" <<'COUNT'
import glob, sys
import xml.etree.ElementTree as ET
ran = skipped = failed = 0
for path in glob.glob(sys.argv[1] + "/*.xml"):
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError:
        continue
    for case in root.iter("testcase"):
        if case.get("result") == "skipped":
            skipped += 1
        elif case.get("status") == "run":
            ran += 1
    failed += int(root.get("failures", 0)) + int(root.get("errors", 0))
print(ran, skipped, failed)
COUNT
)
  read -r ran skipped gfailed <<<"$counted"
  echo "$preset: GoogleTest ran $ran tests in these entries ($skipped skipped where they do not apply), $gfailed failed"
  gtests=$((gtests + ran))
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + total - f))
  failed=$((failed + f))
  [ "$f" -eq 0 ] || problems+=("$f failed in $preset")
}

# The fuzzers (20 s each, all at once) run beside the last build's tests, at
# the lowest priority: those tests leave a processor partly idle, and
# nothing else is left to build then.
tested=()
for preset in "${presets[@]}"; do
  [ "$preset" = fuzz ] || tested+=("$preset")
done
fuzzer=
start_fuzzing() {
  stamp "fuzz: every target at once, ${ORNIVOX_FUZZ_SECONDS:-20} s each, beside the tests"
  (
    if ! wait_built fuzz; then
      echo "build of fuzz failed:"
      grep -E 'error|FAILED' "$state/fuzz.log" | head -n 20
      exit 1
    fi
    nice -n 19 scripts/fuzz.sh --no-build
  ) >build/test-state/fuzz-run.log 2>&1 &
  fuzzer=$!
}

for preset in "${tested[@]}"; do
  if [ "$preset" = "${tested[-1]}" ] && [[ " ${presets[*]} " == *" fuzz "* ]]; then
    start_fuzzing
  fi
  if ! wait_built "$preset"; then
    stamp "build of $preset failed:"
    grep -E 'error|FAILED' "$state/$preset.log" | head -n 20
    problems+=("build $preset")
    failed=$((failed + 1))
    continue
  fi
  run_tests "$preset"
done
if [ -z "$fuzzer" ] && [[ " ${presets[*]} " == *" fuzz "* ]]; then
  start_fuzzing
fi
if [ -n "$fuzzer" ]; then
  if wait "$fuzzer"; then
    passed=$((passed + 1))
  else
    problems+=("fuzzing")
    failed=$((failed + 1))
  fi
  cat build/test-state/fuzz-run.log
fi
[ -n "${builder:-}" ] && wait "$builder"

# The soak wants a quiet machine: it runs after everything else.
if [ -n "${soak_minutes:-}" ] && [ -x build/release/src/app/ornivox-demo ]; then
  stamp "soak: $soak_minutes minutes"
  tests/fixtures/in_netns.sh tests/fixtures/with_xvfb.sh /usr/bin/python3 -B tests/app/faults_test.py \
    --player build/release/src/app/ornivox-demo --ping build/release/tests/app/window_ping \
    --soak "$soak_minutes" >build/test-state/soak.log 2>&1
  grep -E '^(minute|soak|FAILED)' build/test-state/soak.log
  if grep -q '^all held' build/test-state/soak.log; then
    passed=$((passed + 1))
  else
    problems+=("soak")
    failed=$((failed + 1))
  fi
fi

echo
stamp "done"
[ ${#problems[@]} -eq 0 ] || printf 'problem: %s\n' "${problems[@]}"
echo "ornivox: $passed passed, $failed failed (CTest entries and fuzz runs; $gtests GoogleTest tests within them)"
[ "$failed" -eq 0 ]
