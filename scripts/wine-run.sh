#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix for its word size and passes
# on its exit code.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"

program="${1:?usage: wine-run.sh PROGRAM.exe [ARGUMENTS]}"
bits=$(vantis_pe_bits "$program")
case "$bits" in
  32|64) ;;
  *) echo "wine-run: $program is no 32- or 64-bit Windows program" >&2; exit 126 ;;
esac
if [ "$bits" = 32 ] && ! vantis_runs_32bit; then
  echo "wine-run: this machine cannot execute 32-bit code, so 32-bit Wine cannot run $program;" \
       "use the win64 preset's build" >&2
  exit 126
fi
"$here/wine-prefix.sh" "$bits"
vantis_use_wine "$bits"
exec "$vantis_wine" "$@"
