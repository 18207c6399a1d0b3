#!/usr/bin/env bash
# The folders' layering: block decryption knows nothing of the container, the container
# nothing of the installer, and the package writer nothing of the tool that drives it.
# Fails, naming each offending line, when an include crosses a layer the wrong way.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
# forbid FOLDER INCLUDED...: no file in FOLDER includes a header of any INCLUDED folder.
forbid() {
  local folder=$1
  shift
  local included
  for included in "$@"; do
    if grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"$included/" "$folder"; then
      echo "check-layers: $folder/ must not include $included/" >&2
      status=1
    fi
  done
}

forbid crypto package app packer vantis-pack
forbid package app packer vantis-pack
forbid packer app vantis-pack
exit "$status"
