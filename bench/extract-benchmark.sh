#!/usr/bin/env bash
# Times `vantis-pack extract` of a package of about 1 GiB (a few large files, many small
# ones) against `cp -r` of the same plaintext tree, both in one run on one machine, and
# prints the ratio. The tree and the package are made once under BENCH_DIR and kept.
#
#   bench/extract-benchmark.sh VANTIS_PACK [STUB.exe]
#
# VANTIS_PACK is a native release build of vantis-pack; STUB is any installer program to
# append the package to (the default is vantis-pack's own). Environment:
#   BENCH_DIR   working folder (default /tmp/vantis-extract-bench)
#   TREE_MIB    size of the tree in MiB (default 1024)
#   REPEAT      timed runs of each command (default 3); medians are shown
#
# Both commands read from the page cache (everything is read once first) and write into
# it; the "+ sync" column also waits until the written data is on the disk.
set -euo pipefail

pack=$(realpath "${1:?usage: extract-benchmark.sh VANTIS_PACK [STUB.exe]}")
stub=${2:-}
bench=${BENCH_DIR:-/tmp/vantis-extract-bench}
tree_mib=${TREE_MIB:-1024}
repeat=${REPEAT:-3}

tree=$bench/tree-$tree_mib
package=$bench/patch-$tree_mib.exe
mkdir -p "$bench"

if [ ! -f "$tree.complete" ]; then
  rm -rf "$tree"
  echo "making a tree of $tree_mib MiB in $tree"
  python3 - "$tree" "$tree_mib" <<'PY'
import os, random, sys
root, mib = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
os.makedirs(root)
with open(os.path.join(root, "config.txt"), "w") as f:
    f.write("1.0.5 <= 1.0.4\nbenchmark patch\n")
total = mib << 20
# Four large files carry 80 %; files of 0 to 32 KiB, 16 KiB on average, the rest.
large = total * 8 // 10 // 4
for i in range(4):
    path = os.path.join(root, "Data", "packs", f"pack{i}.dat")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for _ in range(large >> 20):
            f.write(rng.randbytes(1 << 20))
left, n = total - 4 * large, 0
while left > 0:
    size = min(left, rng.randint(0, 32 << 10))
    path = os.path.join(root, "Data", f"set{n % 97:02d}", f"sub{n % 7}", f"file{n:05d}.bin")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(rng.randbytes(size))
    left -= size
    n += 1
print(f"  4 files of {large >> 20} MiB and {n} files of 0 to 32 KiB")
PY
  touch "$tree.complete"
  rm -f "$package"
fi
if [ ! -f "$package" ]; then
  echo "packing it into $package"
  "$pack" build "$tree" -o "$package" --key 000102030405060708090a0b0c0d0e0f \
    ${stub:+--stub "$stub"} >/dev/null
fi

files=$(find "$tree" -type f | wc -l)
bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
echo "tree: $files files, $bytes bytes; package: $(stat -c %s "$package") bytes"

# Page cache warm for both sources.
cat "$package" >/dev/null
find "$tree" -type f -exec cat {} + >/dev/null

now() { date +%s.%N; }
# Runs a command once into a fresh TARGET folder and prints "WALL CPU" in seconds: wall
# time (including a sync when WITH_SYNC is 1) and the command's processor time, user and
# system, which another process on the machine disturbs far less.
timed() {
  local target=$1 with_sync=$2
  shift 2
  rm -rf "$target"
  sync
  local start end cpu
  start=$(now)
  /usr/bin/time -f '%U %S' -o "$bench/time.txt" "$@" >/dev/null
  if [ "$with_sync" = 1 ]; then sync; fi
  end=$(now)
  cpu=$(awk '{print $1 + $2}' "$bench/time.txt")
  echo "$(echo "$end - $start" | bc) $cpu"
}

# Each command's runs as lines of "WALL CPU", with and without the sync.
declare -A runs
for round in $(seq "$repeat"); do
  for with_sync in 0 1; do
    runs[cp,$with_sync]+="$(timed "$bench/out-cp" "$with_sync" cp -r "$tree" "$bench/out-cp")"$'\n'
    runs[extract,$with_sync]+="$(timed "$bench/out-extract" "$with_sync" \
      "$pack" extract "$package" -C "$bench/out-extract")"$'\n'
  done
done

if ! diff -r -q "$bench/out-cp" "$bench/out-extract" >/dev/null; then
  echo "extract and cp -r disagree" >&2
  exit 1
fi
peak=$(/usr/bin/time -f %M "$pack" extract "$package" -C "$bench/out-extract" 2>&1 >/dev/null |
       tail -1)
rm -rf "$bench/out-cp" "$bench/out-extract" "$bench/time.txt"

median() {  # of one column of "WALL CPU" lines
  awk -v c="$1" 'NF {print $c}' | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'
}
declare -A m
for command in cp extract; do
  m[$command,wall]=$(printf '%s' "${runs[$command,0]}" | median 1)
  m[$command,cpu]=$(printf '%s' "${runs[$command,0]}" | median 2)
  m[$command,sync]=$(printf '%s' "${runs[$command,1]}" | median 1)
done
echo
echo "load average: $(cut -d ' ' -f 1-3 /proc/loadavg) on $(nproc) processors;" \
     "medians of $repeat runs each"
printf '%-22s %10s %10s %14s\n' "" "wall s" "cpu s" "wall + sync s"
printf '%-22s %10.3f %10.2f %14.3f\n' "cp -r" "${m[cp,wall]}" "${m[cp,cpu]}" "${m[cp,sync]}"
printf '%-22s %10.3f %10.2f %14.3f\n' "vantis-pack extract" "${m[extract,wall]}" \
  "${m[extract,cpu]}" "${m[extract,sync]}"
printf '%-22s %10.2f %10.2f %14.2f\n' "extract / cp -r" \
  "$(echo "${m[extract,wall]} / ${m[cp,wall]}" | bc -l)" \
  "$(echo "${m[extract,cpu]} / ${m[cp,cpu]}" | bc -l)" \
  "$(echo "${m[extract,sync]} / ${m[cp,sync]}" | bc -l)"
echo "extract peak resident memory: $peak KiB"
