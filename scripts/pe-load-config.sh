#!/usr/bin/env bash
# Points a linked Windows program's LOAD_CONFIG data directory at its _load_config_used
# (platform/SafeStartup_win.cpp): the linker of Debian 12 (binutils 2.40) leaves the entry
# empty, and without it Windows never reads the structure.
#
# Usage: pe-load-config.sh PROGRAM.exe NM
#
# PE layout read and written (Microsoft's PE format documentation, little-endian):
#   0x3C                 u32 offset of "PE\0\0"
#   PE + 24              optional header: u16 magic (0x10B PE32, 0x20B PE32+); ImageBase is
#                        a u32 at 28 (PE32) or a u64 at 24 (PE32+); NumberOfRvaAndSizes is a
#                        u32 at 92 (PE32) or 108 (PE32+), and the 8-byte (rva, size) data
#                        directories follow it; LOAD_CONFIG is the eleventh (index 10).
# The directory's size is the structure's own Size field: 72 bytes in PE32, 112 in PE32+.
set -euo pipefail

program="${1:?usage: pe-load-config.sh PROGRAM.exe NM}"
nm="${2:?usage: pe-load-config.sh PROGRAM.exe NM}"

read_u() {  # read_u OFFSET BYTES: an unsigned little-endian number
  local value=0 shift=0 byte
  for byte in $(od -An -v -t u1 -j "$1" -N "$2" "$program"); do
    value=$((value + (byte << shift)))
    shift=$((shift + 8))
  done
  echo "$value"
}

write_u32() {  # write_u32 OFFSET VALUE
  local bytes="" i
  for i in 0 8 16 24; do
    bytes+=$(printf '\\%03o' $((($2 >> i) & 0xFF)))
  done
  printf "$bytes" | dd of="$program" bs=1 seek="$1" conv=notrunc status=none
}

fail() { echo "pe-load-config: $program: $*" >&2; exit 1; }

pe=$(read_u 60 4)
[ "$(od -An -c -j "$pe" -N 2 "$program" | tr -d ' ')" = PE ] || fail "no PE header"
optional=$((pe + 24))
case "$(read_u "$optional" 2)" in
  267) image_base=$(read_u $((optional + 28)) 4); directories=$((optional + 96)); size=72 ;;
  523) image_base=$(read_u $((optional + 24)) 8); directories=$((optional + 112)); size=112 ;;
  *) fail "neither PE32 nor PE32+" ;;
esac
[ "$(read_u $((directories - 4)) 4)" -gt 10 ] || fail "too few data directories"

# MinGW's i686 symbols carry a leading underscore, so the C name shows with two.
address=$("$nm" "$program" | awk '$3 == "_load_config_used" || $3 == "__load_config_used" { print $1 }')
[ -n "$address" ] || fail "no _load_config_used symbol"
rva=$((16#$address - image_base))
[ "$rva" -gt 0 ] && [ "$rva" -lt $((1 << 32)) ] || fail "_load_config_used lies outside the image"

write_u32 $((directories + 80)) "$rva"
write_u32 $((directories + 84)) "$size"
