#!/usr/bin/env bash
# Times `vantis-pack build` and `verify` of two builds of vantis-pack (a change's before and
# after) on one tree of about 1 GiB, run by run in turn, so that the machine's other work
# falls on both alike, and prints the medians and the second's against the first's.
#
#   bench/compare-packers.sh BEFORE_PACK AFTER_PACK [STUB.exe]
#
# Both are native release builds; STUB is the installer program both append to (default:
# each one's own). Environment: BENCH_DIR (default /tmp/vantis-build-bench, whose tree
# build-benchmark.sh shares), TREE_MIB (default 1024), REPEAT (default 5).
set -euo pipefail

before=$(realpath "${1:?usage: compare-packers.sh BEFORE_PACK AFTER_PACK [STUB.exe]}")
after=$(realpath "${2:?usage: compare-packers.sh BEFORE_PACK AFTER_PACK [STUB.exe]}")
stub=${3:+$(realpath "$3")}
bench=${BENCH_DIR:-/tmp/vantis-build-bench}
tree_mib=${TREE_MIB:-1024}
repeat=${REPEAT:-5}
here=$(dirname "$(realpath "$0")")
source "$here/bench-common.sh"

tree=$bench/tree-$tree_mib
mkdir -p "$bench"
bench_make_tree "$tree" "$tree_mib" || true
find "$tree" -type f -exec cat {} + >/dev/null
key=000102030405060708090a0b0c0d0e0f
now() { date +%s.%N; }
timed() {  # prints "WALL CPU" of one run of the command
  local start end
  start=$(now)
  bench_time '%U %S' "$@"
  end=$(now)
  echo "$(echo "$end - $start" | bc) $(awk '{print $1 + $2}' "$bench/time.txt")"
}

declare -A runs
load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)
# The order changes from round to round, and every command starts with the previous one's
# writes on the disk: the second of two 1 GiB writes in a row otherwise waits for the
# first's write-back.
for round in $(seq "$repeat"); do
  order="before after"
  if [ $((round % 2)) = 0 ]; then order="after before"; fi
  for which in $order; do
    pack=${!which}
    output=$bench/compare-$which.exe
    rm -f "$output"
    sync
    runs[$which,build]+="$(timed "$pack" build "$tree" -o "$output" --key "$key" \
      ${stub:+--stub "$stub"})"$'\n'
    sync
    runs[$which,verify]+="$(timed "$pack" verify "$output")"$'\n'
  done
done
load_after=$(cut -d ' ' -f 1-3 /proc/loadavg)
rm -f "$bench"/compare-before.exe "$bench"/compare-after.exe "$bench/time.txt"

echo "load average $load_before before, $load_after after, on $(nproc) processors;" \
     "medians of $repeat runs each, in turn"
printf '%-8s %12s %12s %12s %12s %8s\n' "" "before wall" "after wall" "before cpu" \
  "after cpu" "wall"
for command in build verify; do
  bw=$(printf '%s' "${runs[before,$command]}" | median 1)
  aw=$(printf '%s' "${runs[after,$command]}" | median 1)
  bc_=$(printf '%s' "${runs[before,$command]}" | median 2)
  ac=$(printf '%s' "${runs[after,$command]}" | median 2)
  printf '%-8s %12.2f %12.2f %12.2f %12.2f %+7.1f%%\n' "$command" "$bw" "$aw" "$bc_" "$ac" \
    "$(echo "($aw / $bw - 1) * 100" | bc -l)"
done
