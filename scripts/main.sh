#!/usr/bin/env bash
# The main job: set up the machine, then build the native tools and the 32-bit Windows
# installer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

jobs=$(nproc)
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$jobs"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
echo "built: build/native-release (native tools) and build/win32 (Windows programs)"
