#!/usr/bin/env bash
# Installs what is missing, builds the normal and the sanitizer builds, runs
# every test through CTest and ends with one line of totals. Exits non-zero
# when anything fails.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh || { echo "installing packages failed"; exit 1; }

passed=0
failed=0
problems=()
run_preset() {
  local preset=$1
  echo "=== build: $preset"
  if ! scripts/build.sh "$preset"; then
    problems+=("build $preset")
    failed=$((failed + 1))
    return
  fi
  echo "=== tests: $preset"
  local log="build/$preset/ctest.log"
  ctest --test-dir "build/$preset" --output-on-failure --timeout 600 2>&1 | tee "$log"
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    problems+=("ctest $preset ran nothing")
    failed=$((failed + 1))
    return
  fi
  local f total
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + total - f))
  failed=$((failed + f))
  [ "$f" -eq 0 ] || problems+=("$f failed in $preset")
}

for preset in ${ORNIVOX_PRESETS:-release asan tsan}; do
  run_preset "$preset"
done

echo "=== fuzz: the scanners of what servers send, ${ORNIVOX_FUZZ_SECONDS:-20} s each"
if scripts/fuzz.sh; then
  passed=$((passed + 1))
else
  problems+=("fuzzing")
  failed=$((failed + 1))
fi

echo
[ ${#problems[@]} -eq 0 ] || printf 'problem: %s\n' "${problems[@]}"
echo "ornivox: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
