#!/usr/bin/env bash
# Times `vantis-pack extract` of a package of about 1 GiB (a few large files, many small
# ones), or of many files of one length, against `cp -r` of the same plaintext tree, both in
# one run on one machine, and prints the ratio. With a Windows build it also times the real installer under Wine
# installing that package into a game folder, driven through its windows. The tree and the
# package are made once under BENCH_DIR and kept.
#
#   bench/extract-benchmark.sh VANTIS_PACK [STUB.exe]
#
# VANTIS_PACK is a native release build of vantis-pack; STUB is any installer program to
# append the package to (the default is vantis-pack's own). Environment:
#   BENCH_DIR      working folder (default /tmp/vantis-extract-bench)
#   TREE           the tree: MIB for the mixed tree of that many MiB (default 1024, or
#                  TREE_MIB), or FILESxBYTES for that many files of one length, as
#                  1000x16384
#   REPEAT         timed runs of each command (default 3); medians are shown
#   WINDOWS_BUILD  a Windows build folder (build/win64, or build/win32 where 32-bit code
#                  runs): its installer becomes the stub, and the installer is timed too
#
# Every command reads from the page cache (everything is read once first) and writes into
# it; the "+ sync" column also waits until the written data is on the disk. The installer
# has its files on the disk before it writes the version file, so its plain wall time
# already includes most of that wait: compare it with the "+ sync" column of cp -r.
set -euo pipefail

pack=$(realpath "${1:?usage: extract-benchmark.sh VANTIS_PACK [STUB.exe]}")
stub=${2:-}
bench=${BENCH_DIR:-/tmp/vantis-extract-bench}
tree_mib=${TREE_MIB:-1024}
repeat=${REPEAT:-3}
windows_build=${WINDOWS_BUILD:+$(realpath "$WINDOWS_BUILD")}
here=$(dirname "$(realpath "$0")")
source "$here/bench-common.sh"
if [ -n "$windows_build" ] && [ -z "$stub" ]; then
  stub=$windows_build/app/vantis-installer.exe
fi
stub=${stub:+$(realpath "$stub")}

tree_shape=${TREE:-$tree_mib}
tree=$bench/tree-$tree_shape
package=$bench/patch-$tree_shape-$( (if [ -n "$stub" ]; then cat "$stub"; fi) | sha1sum | cut -c1-8).exe
mkdir -p "$bench"

# A new tree makes every package of the old one stale.
# shellcheck disable=SC2086  # "1000x16384" becomes make-tree.py's two arguments
if bench_make_tree "$tree" ${tree_shape/x/ }; then rm -f "$bench"/patch-"$tree_shape"-*.exe; fi
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
# PREPARE, when set, names a function that fills the target folder before the timing.
prepare=
timed() {
  local target=$1 with_sync=$2
  shift 2
  rm -rf "$target"
  if [ -n "$prepare" ]; then "$prepare" "$target"; fi
  sync
  local start end cpu
  start=$(now)
  bench_time '%U %S' "$@"
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
rm -rf "$bench/out-cp" "$bench/out-extract"

# The installer under Wine: a game folder at 1.0.4 with the installer in updates/, the
# driver pressing Install and then OK on the success box. A run that only opens the dialog
# and closes it measures what Wine and the driver cost around the install, and Wine's own
# xcopy of the plaintext tree what writing these files costs any Windows program here.
installer_peak=
if [ -n "$windows_build" ]; then
  game=$bench/game
  source "$here/../scripts/wine-env.sh"
  xcopy="$vantis_wine_base/wineprefix-win$(vantis_pe_bits "$stub")/drive_c/windows/system32/xcopy.exe"
  scenario install "$game" >"$bench/install.txt"
  scenario close "$game" >"$bench/close.txt"
  make_game() {
    mkdir -p "$1/Bin" "$1/updates"
    echo "stands in for the game" >"$1/Bin/Vantis.exe"
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<version>\n\t<major>1</major>\n\t<minor>0</minor>\n\t<build_number>4</build_number>\n</version>\n' \
      >"$1/Bin/version.xml"
    ln "$package" "$1/updates/patch.exe"
  }
  export -f drive vantis_winpath
  export here bench windows_build

  vantis_ensure_display
  prepare=make_game
  for round in $(seq "$repeat"); do
    for with_sync in 0 1; do
      runs[installer,$with_sync]+="$(timed "$game" "$with_sync" bash -c 'drive install')"$'\n'
    done
    runs[around,0]+="$(timed "$game" 0 bash -c 'drive close')"$'\n'
  done
  prepare=
  for round in $(seq "$repeat"); do
    for with_sync in 0 1; do
      runs[xcopy,$with_sync]+="$(timed "$bench/out-xcopy" "$with_sync" \
        "$here/../scripts/wine-run.sh" "$xcopy" /E /I /Q "$(vantis_winpath "$tree")" \
        "$(vantis_winpath "$bench/out-xcopy")")"$'\n'
    done
  done
  rm -rf "$bench/out-xcopy"

  # The installer's peak memory, sampled while it runs.
  rm -rf "$game.peak"
  make_game "$game.peak"
  scenario peak "$game.peak" >"$bench/peak.txt"
  bash -c 'drive peak' &
  driver=$!
  installer_peak=0
  while kill -0 "$driver" 2>/dev/null; do
    for pid in $(pgrep -f 'updates.patch\.exe' || true); do
      hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
      if [ -n "$hwm" ] && [ "$hwm" -gt "$installer_peak" ]; then installer_peak=$hwm; fi
    done
    sleep 0.2
  done
  wait "$driver"
  diff -r -q "$tree/Data" "$game.peak/Data" >/dev/null ||
    { echo "the installer's files differ from the tree" >&2; exit 1; }
  rm -rf "$game" "$game.peak" "$bench"/{install,close,peak,transcript}.txt
  # Where an installer's time per file goes, call by call, on this system.
  calls=$("$here/../scripts/wine-run.sh" "$windows_build/bench/file-op-cost.exe" "$(vantis_winpath "$bench")" 1000)
fi
rm -f "$bench/time.txt"

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
if [ -n "$windows_build" ]; then
  m[installer,wall]=$(printf '%s' "${runs[installer,0]}" | median 1)
  m[installer,sync]=$(printf '%s' "${runs[installer,1]}" | median 1)
  m[around,wall]=$(printf '%s' "${runs[around,0]}" | median 1)
  m[xcopy,wall]=$(printf '%s' "${runs[xcopy,0]}" | median 1)
  m[xcopy,sync]=$(printf '%s' "${runs[xcopy,1]}" | median 1)
  echo
  echo "the installer under Wine ($windows_build), wall time only:"
  printf '%-22s %10.3f %10s %14.3f\n' "installer" "${m[installer,wall]}" "" "${m[installer,sync]}"
  printf '%-22s %10.3f\n' "Wine and driver alone" "${m[around,wall]}"
  printf '%-22s %10.3f %10s %14.3f\n' "xcopy under Wine" "${m[xcopy,wall]}" "" "${m[xcopy,sync]}"
  printf '%-22s %10.2f %10s %14.2f\n' "installer / cp -r" \
    "$(echo "${m[installer,wall]} / ${m[cp,wall]}" | bc -l)" "" \
    "$(echo "${m[installer,sync]} / ${m[cp,sync]}" | bc -l)"
  printf '%-22s %10.2f %10s %14.2f\n' "(install alone) / cp -r" \
    "$(echo "(${m[installer,wall]} - ${m[around,wall]}) / ${m[cp,wall]}" | bc -l)" "" \
    "$(echo "(${m[installer,sync]} - ${m[around,wall]}) / ${m[cp,sync]}" | bc -l)"
  printf '%-22s %10.2f %10s %14.2f\n' "installer / xcopy" \
    "$(echo "${m[installer,wall]} / ${m[xcopy,wall]}" | bc -l)" "" \
    "$(echo "${m[installer,sync]} / ${m[xcopy,sync]}" | bc -l)"
  if [ "$installer_peak" -gt 0 ]; then
    installer_peak="$installer_peak KiB"
  else
    installer_peak="not measured"  # no installer process was found while sampling
  fi
  echo "installer peak resident memory: $installer_peak (largest entry: $(
    find "$tree" -type f -printf '%s\n' | sort -n | tail -1) bytes)"
  echo
  echo "what each Windows call of the install costs (file-op-cost):"
  echo "$calls"
fi
