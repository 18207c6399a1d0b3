#!/usr/bin/env bash
# The folders' layering, written once: each folder of the product and what it may include
# besides itself. Block ciphers know nothing of the package, the package format nothing of
# the installer or the tool, the installer nothing of the tool. Fails, naming each
# offending line, when an include crosses a layer the wrong way.
#
# Usage: check-layers.sh [ROOT]   (the source tree; default: this script's tree)
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

# FOLDER:ALLOWED... (a folder's own subfolders are layers of their own when listed here)
layers=(
  "platform:"
  "crypto:platform"
  "delta:"
  "package/format:crypto platform"
  "package:package/format delta crypto platform"
  "app/game:platform"
  "resources:"
  "app:app/game resources delta package package/format crypto platform"
  "vantis-pack:vantis-pack/commands vantis-pack/writing vantis-pack/report vantis-pack/names vantis-pack/host app/game resources delta package package/format crypto platform"
  "vantis-pack/host:delta platform"
  "vantis-pack/names:vantis-pack/host package package/format platform"
  "vantis-pack/report:vantis-pack/host app/game delta package package/format platform"
  "vantis-pack/writing:vantis-pack/report vantis-pack/host resources delta package package/format crypto platform"
  "vantis-pack/commands:vantis-pack/writing vantis-pack/report vantis-pack/names vantis-pack/host app/game resources delta package package/format crypto platform"
)

status=0
folders=()
for entry in "${layers[@]}"; do folders+=("${entry%%:*}"); done
# Every include of every product file, as FILE:LINE:INCLUDED; awk gives each path the
# longest listed folder it starts with and checks the pair against the table.
grep -rnE --include='*.h' --include='*.cpp' --include='*.inc' --include='*.rc' \
     '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "${folders[@]}" |
  sed -E 's/^([^:]+):([0-9]+):.*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1:\2:\3/' | sort -u |
  awk -F: -v table="${layers[*]}" -v outside="tests fuzz bench" '
    BEGIN {
      # Test and tool folders may include any product folder; no product folder includes them.
      split(outside, names, " ")
      for (i in names) folder[names[i]] = 1
      n = split(table, entries, " ")
      for (i = 1; i <= n; ++i) {
        if (index(entries[i], ":") > 0) {
          split(entries[i], parts, ":"); current = parts[1]; folder[current] = 1
          allowed[current, current] = 1
          if (parts[2] != "") allowed[current, parts[2]] = 1
        } else {
          allowed[current, entries[i]] = 1
        }
      }
    }
    function layer(path,    f, best) {
      best = ""
      for (f in folder) {
        if (index(path, f "/") == 1 && length(f) > length(best)) best = f
      }
      return best
    }
    {
      from = layer($1); to = layer($3)
      if (to != "" && !((from, to) in allowed)) {
        printf "%s:%s: includes %s\ncheck-layers: %s/ must not include %s/\n", $1, $2, $3, from, to
        bad = 1
      }
    }
    END { exit bad }' >&2 || status=1

exit "$status"
