#!/usr/bin/env bash
# The patches `vantis-pack diff` makes for real consecutive releases (bench/fetch-releases.sh)
# against three delta tools as anchors: bsdiff, xdelta3 -9 and zstd -19 --patch-from. For
# each pair of game folders, each changed file's patch size, time and peak memory under each
# anchor, and the stored size and kind of each entry of our patch ("whole", "compressed",
# "delta"); then the time and peak memory of `diff` for the whole pair, and the installer's
# length less the installer program's, of `diff` and of `diff --plain` (whole files). Prints
# one Markdown table per pair.
#
#   bench/delta-benchmark.sh VANTIS_PACK [DEST]
#
# VANTIS_PACK is a native release build of vantis-pack; DEST holds the releases (default
# /tmp/vantis-delta-bench), fetched there on first use. Environment:
#   PAIRS          the pairs to measure (default: exe elf scripts archive game)
#   STUB           the installer program (default: build/win64's, else build/win32's)
#   WINDOWS_BUILD  a Windows build folder (build/win64): its installer becomes the stub, and
#                  the installer's time under Wine is measured, installing WINE_PAIR (default
#                  game) from a fresh copy of its old folder, the patch of `diff` against the
#                  whole-file patch of `diff --plain`, REPEAT times each (default 3), in turn,
#                  with the installer process's peak resident memory
#
# A file that only the new folder has is given to each anchor against a one-byte old file
# (bsdiff refuses an empty one): for them it is compression alone. Every anchor's patch is
# applied again and checked against the new file, and so is every installer (`verify`).
set -euo pipefail

pack=$(realpath "${1:?usage: delta-benchmark.sh VANTIS_PACK [DEST]}")
dest=$(realpath -m "${2:-/tmp/vantis-delta-bench}")
read -r -a pairs <<<"${PAIRS:-exe elf scripts archive game}"
here=$(dirname "$(realpath "$0")")
windows_build=${WINDOWS_BUILD:+$(realpath "$WINDOWS_BUILD")}
stub=${STUB:-}
if [ -n "$windows_build" ]; then stub=$windows_build/app/vantis-installer.exe; fi
for candidate in "$here/../build/win64/app/vantis-installer.exe" \
                 "$here/../build/win32/app/vantis-installer.exe"; do
  if [ -z "$stub" ] && [ -f "$candidate" ]; then stub=$candidate; fi
done
[ -n "$stub" ] || { echo "no installer program: build the win64 preset or set STUB" >&2; exit 1; }
stub=$(realpath "$stub")
wine_pair=${WINE_PAIR:-game}
repeat=${REPEAT:-3}
source "$here/bench-common.sh"
for tool in bsdiff bspatch xdelta3 zstd jq; do
  command -v "$tool" >/dev/null || { echo "$tool missing: apt-get install it" >&2; exit 1; }
done

"$here/fetch-releases.sh" "$dest" "${pairs[@]}" >&2
bench=$dest/work
rm -rf "$bench"
mkdir -p "$bench"
printf '\0' >"$bench/one-byte"
key=000102030405060708090a0b0c0d0e0f
# The whole-file patch: `diff --plain`, or where this vantis-pack has no --plain, `diff` onto
# a copy of the installer program whose list of the entry kinds it reads (beyond whole ones)
# is blanked out, which makes vantis-pack write whole entries; the program is otherwise the
# same. Before entry kinds, both are today's whole-file patch.
plain_stub=$stub plain_options=(--plain)
if ! "$pack" diff --help | grep -q -- '--plain'; then
  python3 - "$stub" "$bench/plain-stub.exe" <<'PYTHON'
import sys
program = open(sys.argv[1], "rb").read()
declared = b"compressed delta"
if program.count(declared) > 1:
    sys.exit("the installer program declares its entry kinds more than once")
open(sys.argv[2], "wb").write(program.replace(declared, b"-" * len(declared)))
PYTHON
  plain_stub=$bench/plain-stub.exe plain_options=()
fi

# Runs a command under /usr/bin/time, its messages kept back unless it fails, and sets
# $seconds and $kib.
measure() {
  (bench_time '%e %M' "$@") 2>"$bench/stderr.txt" || { cat "$bench/stderr.txt" >&2; exit 1; }
  read -r seconds kib <"$bench/time.txt"
}

commas() { printf '%s' "$1" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {r = a / b; printf(r >= 100 ? "%.0f" : "%.3g", r)}'; }
mib() { awk -v k="$1" 'BEGIN {printf "%.0f", k / 1024}'; }

# Each entry of an installer as "NAME<TAB>KIND<TAB>STORED SIZE<TAB>INSTALLED SIZE". Where
# `list --json` names no kind, aux2 holds it (package/format/EntryEncoding.h; 0, whole, in
# packages before kinds); an installed size it does not give is left empty.
entries() {
  "$pack" list --json "$1" | jq -r '.entries[] | [.name,
    (.kind // (["whole", "compressed", "delta"][.aux2] // "aux2 \(.aux2)")), .size,
    (.installedSize // "")] | @tsv'
}

# The patch installer of a pair, by `diff` with the given options, and its measures.
diff_pair() {  # PAIR OUTPUT STUB [OPTION]...
  local pair=$1 output=$2 program=$3
  shift 3
  rm -f "$output"
  measure "$pack" diff "$dest/$pair/old" "$dest/$pair/new" -o "$output" --stub "$program" \
    --key "$key" --quiet "$@"
  "$pack" verify --quiet "$output" || { echo "$output does not verify" >&2; exit 1; }
}

anchor() {  # TOOL OLD NEW: measures TOOL's patch, applies it and checks the result
  local tool=$1 old=$2 new=$3 patch=$bench/patch.$1
  rm -f "$patch" "$bench/applied"
  case "$tool" in
    bsdiff) measure bsdiff "$old" "$new" "$patch"
            bspatch "$old" "$bench/applied" "$patch" ;;
    xdelta3) measure xdelta3 -e -9 -f -s "$old" "$new" "$patch"
             xdelta3 -d -f -s "$old" "$patch" "$bench/applied" ;;
    # --long=31 lets the window cover old and new files up to 2 GiB; decompression then
    # needs the same flag to accept that window.
    zstd) measure zstd -q -19 --long=31 --patch-from="$old" "$new" -o "$patch"
          zstd -q -d --long=31 --patch-from="$old" "$patch" -o "$bench/applied" ;;
  esac
  cmp -s "$new" "$bench/applied" || { echo "$tool did not rebuild $new" >&2; exit 1; }
  size=$(stat -c %s "$patch")
}

for pair in "${pairs[@]}"; do
  old=$dest/$pair/old new=$dest/$pair/new
  diff_pair "$pair" "$bench/$pair.exe" "$stub"
  declare -A ours=([seconds]=$seconds [kib]=$kib [length]=$(($(stat -c %s "$bench/$pair.exe") -
                                                               $(stat -c %s "$stub"))))
  declare -A kind=() stored=() installed=()
  while IFS=$'\t' read -r name k s i; do kind[$name]=$k stored[$name]=$s installed[$name]=$i; done \
    < <(entries "$bench/$pair.exe")
  diff_pair "$pair" "$bench/$pair-plain.exe" "$plain_stub" ${plain_options[@]+"${plain_options[@]}"}
  ours[plain_seconds]=$seconds ours[plain_kib]=$kib
  ours[plain_length]=$(($(stat -c %s "$bench/$pair-plain.exe") - $(stat -c %s "$stub")))

  echo
  echo "### $pair"
  echo
  echo "| file | new size | bsdiff | xdelta3 | zstd | ours | ours / best anchor |"
  echo "|---|---|---|---|---|---|---|"
  declare -A total=([new]=0 [bsdiff]=0 [xdelta3]=0 [zstd]=0 [ours]=0 [best]=0)
  declare -A tool_seconds=([bsdiff]=0 [xdelta3]=0 [zstd]=0) tool_kib=([bsdiff]=0 [xdelta3]=0 [zstd]=0)
  while IFS= read -r file; do
    [ "$file" != Bin/version.xml ] || continue
    if [ -f "$old/$file" ] && cmp -s "$old/$file" "$new/$file"; then continue; fi
    from=$old/$file
    [ -f "$from" ] || from=$bench/one-byte
    new_size=$(stat -c %s "$new/$file")
    row="| $file$([ -f "$old/$file" ] || echo ' (new)') | $(commas "$new_size")"
    best=
    for tool in bsdiff xdelta3 zstd; do
      anchor "$tool" "$from" "$new/$file"
      row+=" | $(commas "$size")"
      total[$tool]=$((total[$tool] + size))
      tool_seconds[$tool]=$(awk -v a="${tool_seconds[$tool]}" -v b="$seconds" 'BEGIN {print a + b}')
      [ "$kib" -le "${tool_kib[$tool]}" ] || tool_kib[$tool]=$kib
      if [ -z "$best" ] || [ "$size" -lt "$best" ]; then best=$size; fi
    done
    [ -n "${kind[$file]:-}" ] || { echo "$pair: $file is not in the patch" >&2; exit 1; }
    [ -z "${installed[$file]}" ] || [ "${installed[$file]}" = "$new_size" ] ||
      { echo "$pair: the patch does not install $file at its new size" >&2; exit 1; }
    row+=" | $(commas "${stored[$file]}") ${kind[$file]} | $(ratio "${stored[$file]}" "$best") |"
    echo "$row"
    total[new]=$((total[new] + new_size))
    total[ours]=$((total[ours] + ${stored[$file]}))
    total[best]=$((total[best] + best))
  done < <(cd "$new" && find . -type f -printf '%P\n' | LC_ALL=C sort)
  echo "| all changed files | $(commas "${total[new]}") | $(commas "${total[bsdiff]}") |" \
       "$(commas "${total[xdelta3]}") | $(commas "${total[zstd]}") | $(commas "${total[ours]}") |" \
       "$(ratio "${total[ours]}" "${total[best]}") (best of each file: $(commas "${total[best]}")) |"
  echo "| installer less its program | | | | | $(commas "${ours[length]}");" \
       "whole files $(commas "${ours[plain_length]}") | |"
  echo "| time s | | ${tool_seconds[bsdiff]} | ${tool_seconds[xdelta3]} | ${tool_seconds[zstd]} |" \
       "${ours[seconds]}; whole files ${ours[plain_seconds]} | |"
  echo "| peak memory MiB | | $(mib "${tool_kib[bsdiff]}") | $(mib "${tool_kib[xdelta3]}") |" \
       "$(mib "${tool_kib[zstd]}") | $(mib "${ours[kib]}"); whole files $(mib "${ours[plain_kib]}") | |"
  unset ours kind stored installed total tool_seconds tool_kib
done

# The installer under Wine: the game folder a fresh copy of the pair's old folder each run,
# the patch of `diff` and the whole-file one installed in turn, the result checked against
# the new folder.
if [ -n "$windows_build" ]; then
  [ -f "$bench/$wine_pair.exe" ] || diff_pair "$wine_pair" "$bench/$wine_pair.exe" "$stub"
  [ -f "$bench/$wine_pair-plain.exe" ] ||
    diff_pair "$wine_pair" "$bench/$wine_pair-plain.exe" "$plain_stub" \
      ${plain_options[@]+"${plain_options[@]}"}
  source "$here/../scripts/wine-env.sh"
  export -f drive vantis_winpath
  export here bench windows_build
  vantis_ensure_display
  game=$bench/game
  scenario install "$game" >"$bench/install.txt"
  scenario close "$game" >"$bench/close.txt"
  fresh_game() {  # PATCH: the game folder at the old release, PATCH in its updates/
    rm -rf "$game"
    cp -r "$dest/$wine_pair/old" "$game"
    mkdir -p "$game/updates"
    ln "$1" "$game/updates/patch.exe"
  }
  # One untimed start first: the first Wine process of a run also starts Wine's server.
  fresh_game "$bench/$wine_pair.exe"
  bash -c 'drive close' >/dev/null
  declare -A runs peaks
  # The installer's own peak resident memory (VmHWM, which only grows) while Wine runs it,
  # read every 20 ms from its process; the driver's and Wine's own processes are left out.
  watch_installer_peak() {
    local peak=0 value pid
    while true; do
      for pid in $(pgrep -f 'updates.patch\.exe' || true); do
        value=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
        if [ -n "$value" ] && [ "$value" -gt "$peak" ]; then
          peak=$value
          echo "$peak" >"$bench/installer-peak.txt"
        fi
      done
      sleep 0.02
    done
  }
  for round in $(seq "$repeat"); do
    order="delta plain"
    if [ $((round % 2)) = 0 ]; then order="plain delta"; fi
    for which in $order; do
      if [ "$which" = delta ]; then suffix=; else suffix=-plain; fi
      fresh_game "$bench/$wine_pair$suffix.exe"
      sync
      rm -f "$bench/installer-peak.txt"
      watch_installer_peak &
      watcher=$!
      measure bash -c 'drive install'
      kill "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null || true
      runs[$which]+="$seconds"$'\n'
      peaks[$which]+="$(cat "$bench/installer-peak.txt" 2>/dev/null || echo 0)"$'\n'
      diff -r -q --exclude=updates --exclude=version.xml "$game" "$dest/$wine_pair/new" >&2 ||
        { echo "the installed game differs from the new release" >&2; exit 1; }
    done
  done
  rm -rf "$game"
  delta_s=$(printf '%s' "${runs[delta]}" | median 1)
  plain_s=$(printf '%s' "${runs[plain]}" | median 1)
  echo
  echo "### installing $wine_pair under Wine ($(basename "$windows_build")), medians of $repeat runs"
  echo
  delta_peak=$(printf '%s' "${peaks[delta]}" | median 1)
  plain_peak=$(printf '%s' "${peaks[plain]}" | median 1)
  echo "| patch | installer less its program | install s | installer's peak memory MiB |"
  echo "|---|---|---|---|"
  echo "| \`diff\` | $(commas $(($(stat -c %s "$bench/$wine_pair.exe") - $(stat -c %s "$stub")))) | $delta_s | $(mib "$delta_peak") |"
  echo "| whole files |" \
       "$(commas $(($(stat -c %s "$bench/$wine_pair-plain.exe") - $(stat -c %s "$stub")))) | $plain_s | $(mib "$plain_peak") |"
fi
rm -rf "$bench"
