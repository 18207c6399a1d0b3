#!/usr/bin/env bash
# Every test: the unit tests natively with sanitizers and as a 32-bit Linux build, the
# same unit tests as Windows programs under Wine, and the end-to-end tests that drive the
# real installer under Wine.
#
# Windows programs run as 32-bit builds where the machine executes 32-bit code. Where it
# cannot (some virtual machines), 32-bit Wine works only through qemu's emulator at
# minutes per process, so the Windows tests run on the 64-bit build of the same sources.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh

echo "== layering: no folder includes a layer above it (scripts/check-layers.sh)"
scripts/check-layers.sh
scripts/check-layers-test.sh

scripts/setup.sh
jobs=$(nproc)

# Every GoogleTest program writes its results here, one folder per stage, so that skipped
# tests are listed at the end, and under CI=true fail the run (scripts/report-skips.sh).
results="$PWD/build/test-results"
rm -rf "$results"

build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

if vantis_runs_32bit; then
  windows_preset=win32
else
  windows_preset=win64
  echo "== note: this machine cannot execute 32-bit code; Windows tests use the win64 build"
fi

echo "== build: 32-bit Windows (the product)"
build win32
if [ "$windows_preset" != win32 ]; then
  echo "== build: $windows_preset (Windows tests)"
  build "$windows_preset"
fi
export VANTIS_WINDOWS_BUILD="$PWD/build/$windows_preset"

echo "== unit tests: Windows ($windows_preset) under Wine"
GTEST_OUTPUT="xml:$(vantis_winpath "$results/$windows_preset")\\" ctest --preset "$windows_preset"
# A Wine session started without a display keeps a desktop that cannot show windows; the
# end-to-end tests need a fresh one on their own display.
vantis_use_wine "${windows_preset#win}"
"$vantis_wineserver" -k 2>/dev/null || true

echo "== unit tests: 32-bit Linux"
build linux32
GTEST_OUTPUT="xml:$results/linux32/" ctest --preset linux32

echo "== two real consecutive releases for the end-to-end delta test (npm registry)"
bench/fetch-releases.sh build/releases small
export VANTIS_RELEASE_PAIR="$PWD/build/releases/small"

echo "== unit and end-to-end tests: native, AddressSanitizer + UndefinedBehaviorSanitizer"
build native-debug
GTEST_OUTPUT="xml:$results/native/" ctest --preset native-debug

echo "== fuzzers, ${VANTIS_FUZZ_SECONDS:-60} s each (libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)"
scripts/fuzz.sh "${VANTIS_FUZZ_SECONDS:-60}"

echo "== skipped tests"
scripts/report-skips.sh "$results"
