#!/usr/bin/env bash
# Times `vantis-pack build` of a tree of about 1 GiB (a few large files, many small ones)
# against `tar -cf` and `7z a -mx0` of the same tree, in one run on one machine, and prints
# the ratios; then the IDEA speed of each path, decryption next to encryption. The tree is
# made once under BENCH_DIR and kept.
#
#   bench/build-benchmark.sh VANTIS_PACK [STUB.exe]
#
# VANTIS_PACK is a native release build of vantis-pack; STUB is the installer program to
# append the package to (the default is vantis-pack's own). Environment:
#   BENCH_DIR  working folder (default /tmp/vantis-build-bench)
#   TREE_MIB   size of the tree in MiB (default 1024)
#   REPEAT     timed runs of each command (default 3); medians are shown
#
# Every command reads from the page cache (the tree is read once first) and writes into it.
# Each writes a new file: its previous output is deleted before the timing starts. Replacing
# a file costs differently by method: tar truncates the old file first and writes into the
# pages just freed, while vantis-pack writes beside it and renames at the end, so its new
# pages come from the free pool, which a virtual machine may have handed back to its host.
set -euo pipefail

pack=$(realpath "${1:?usage: build-benchmark.sh VANTIS_PACK [STUB.exe]}")
stub=${2:+$(realpath "$2")}
bench=${BENCH_DIR:-/tmp/vantis-build-bench}
tree_mib=${TREE_MIB:-1024}
repeat=${REPEAT:-3}
here=$(dirname "$(realpath "$0")")
source "$here/bench-common.sh"
idea_speed=$(dirname "$pack")/../bench/idea-speed
command -v 7z >/dev/null || { echo "7z missing: run scripts/setup.sh" >&2; exit 1; }

tree=$bench/tree-$tree_mib
mkdir -p "$bench"
bench_make_tree "$tree" "$tree_mib" || true
files=$(find "$tree" -type f | wc -l)
bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
echo "tree: $files files, $bytes bytes"
find "$tree" -type f -exec cat {} + >/dev/null

key=000102030405060708090a0b0c0d0e0f
now() { date +%s.%N; }
# Runs a command once, writing OUTPUT anew, and prints "WALL CPU" in seconds: wall time and
# the command's processor time, user and system, which others on the machine disturb less.
timed() {
  local output=$1
  shift
  rm -f "$output"
  sync
  local start end
  start=$(now)
  bench_time '%U %S %M' "$@"
  end=$(now)
  echo "$(echo "$end - $start" | bc) $(awk '{print $1 + $2}' "$bench/time.txt")"
}

load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)
declare -A runs
for round in $(seq "$repeat"); do
  runs[build]+="$(timed "$bench/out.exe" "$pack" build "$tree" -o "$bench/out.exe" --key "$key" \
    ${stub:+--stub "$stub"})"$'\n'
  peak=$(awk '{print $3}' "$bench/time.txt")
  runs[tar]+="$(timed "$bench/out.tar" tar -cf "$bench/out.tar" -C "$bench" "tree-$tree_mib")"$'\n'
  runs[7z]+="$(timed "$bench/out.7z" 7z a -mx0 "$bench/out.7z" "$tree")"$'\n'
done
load_after=$(cut -d ' ' -f 1-3 /proc/loadavg)
# The same tree and key give the same installer.
first=$(sha1sum <"$bench/out.exe")
"$pack" build "$tree" -o "$bench/out.exe" --key "$key" ${stub:+--stub "$stub"} >/dev/null 2>&1
[ "$(sha1sum <"$bench/out.exe")" = "$first" ] || { echo "build is not reproducible" >&2; exit 1; }
"$pack" verify "$bench/out.exe" >/dev/null || { echo "the installer does not verify" >&2; exit 1; }
rm -f "$bench"/out.exe "$bench"/out.tar "$bench"/out.7z "$bench/time.txt"

declare -A m
for command in build tar 7z; do
  m[$command,wall]=$(printf '%s' "${runs[$command]}" | median 1)
  m[$command,cpu]=$(printf '%s' "${runs[$command]}" | median 2)
done
echo
echo "load average $load_before before, $load_after after, on $(nproc) processors;" \
     "medians of $repeat runs each"
printf '%-20s %8s %8s %10s %10s\n' "" "wall s" "cpu s" "wall/tar" "cpu/tar"
row() {  # LABEL COMMAND
  printf '%-20s %8.2f %8.2f %10.2f %10.2f\n' "$1" "${m[$2,wall]}" "${m[$2,cpu]}" \
    "$(echo "${m[$2,wall]} / ${m[tar,wall]}" | bc -l)" "$(echo "${m[$2,cpu]} / ${m[tar,cpu]}" | bc -l)"
}
row "vantis-pack build" build
row "tar -cf" tar
row "7z a -mx0" 7z
echo "vantis-pack build peak resident memory: $peak KiB"
if [ -x "$idea_speed" ]; then
  echo
  "$idea_speed"
fi
