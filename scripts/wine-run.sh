#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix and passes on its exit code.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
"$here/wine-prefix.sh"
exec wine "$@"
