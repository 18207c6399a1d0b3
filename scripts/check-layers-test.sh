#!/usr/bin/env bash
# The layering check must fail on a wrong include in any layer: one planted in a copy of
# each product folder, against a folder above it (or a test folder for the top layer).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp -r platform crypto delta package app resources vantis-pack "$work"
mkdir -p "$work/scripts" && cp scripts/check-layers.sh "$work/scripts"
"$work/scripts/check-layers.sh" "$work" || { echo "check-layers-test: the tree itself fails" >&2; exit 1; }

failed=0
# FOLDER:INCLUDED, each a step the table forbids.
for plant in platform:crypto crypto:package/format delta:package package/format:package package:app/game \
             app/game:app resources:app app:vantis-pack vantis-pack/host:vantis-pack/names \
             vantis-pack/names:vantis-pack/report vantis-pack/report:vantis-pack/writing \
             vantis-pack/writing:vantis-pack/commands vantis-pack/commands:app \
             vantis-pack/commands:tests; do
  folder=${plant%%:*}
  included=${plant#*:}
  file=$(find "$work/$folder" -maxdepth 1 -name '*.h' -o -maxdepth 1 -name '*.rc' | sort | head -n 1)
  cp "$file" "$file.saved"
  echo "#include \"$included/Planted.h\"" >> "$file"
  if output=$("$work/scripts/check-layers.sh" "$work" 2>&1) ||
     [[ $output != *"$folder/ must not include $included/"* ]]; then
    echo "check-layers-test: an include of $included/ in $folder/ went unnoticed" >&2
    failed=1
  fi
  mv "$file.saved" "$file"
done
[ "$failed" -eq 0 ] && echo "check-layers-test: a planted include fails the check in each of 13 folders"
exit "$failed"
