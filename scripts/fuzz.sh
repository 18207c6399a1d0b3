#!/usr/bin/env bash
# Builds the libFuzzer programs (the fuzz preset: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each in turn for SECONDS (default 60), starting from
# its committed corpus in fuzz/corpus/<fuzzer>/. Inputs it finds go to
# build/fuzz/corpus/<fuzzer>/; a failing input goes to build/fuzz/artifacts/<fuzzer>/ and
# fails the script once every fuzzer has run. A fixed failure's input belongs in
# fuzz/crashes/<fuzzer>/, where the replay tests run it from then on.
#
#   scripts/fuzz.sh [SECONDS [FUZZER...]]
#
# The limits make allocation bombs and hangs failures: any single allocation of 16 MiB or more
# (the readers need at most their 2 MiB chunk buffer), more than 2 GiB resident, or one
# input running longer than 10 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
fuzzers=("$@")
cmake --preset fuzz >/dev/null
if [ ${#fuzzers[@]} -eq 0 ]; then
  # Every fuzzer that fuzz/CMakeLists.txt defines.
  mapfile -t fuzzers < build/fuzz/fuzz/fuzzers.txt
fi
cmake --build --preset fuzz -j "$(nproc)" --target "${fuzzers[@]/%/_fuzzer}"

build=build/fuzz
failed=()
for fuzzer in "${fuzzers[@]}"; do
  corpus=$build/corpus/$fuzzer
  artifacts=$build/artifacts/$fuzzer
  log=$build/logs/$fuzzer.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  echo "== fuzz: $fuzzer for ${seconds}s"
  status=0
  timeout --kill-after=30 $((seconds + 300)) \
    "$build/fuzz/${fuzzer}_fuzzer" \
    -max_total_time="$seconds" -malloc_limit_mb=16 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" "fuzz/corpus/$fuzzer" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9/]*[a-zA-Z]*' "$log" | tail -1 || true)
  if [ -z "$runs" ]; then
    # Without its final statistics it did not run as asked, whatever its status says.
    echo "   no run statistics"
    [ "$status" -ne 0 ] || status=1
  else
    echo "   ${runs:-?} runs, ${coverage:-no coverage reported}"
  fi
  if [ "$status" -ne 0 ]; then
    failed+=("$fuzzer")
    grep -E 'ERROR|SUMMARY|fuzz property failed|Test unit written' "$log" | head -5 || true
    echo "   full log: $log"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failures in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: all ${#fuzzers[@]} fuzzers ran ${seconds}s each without a failure"
