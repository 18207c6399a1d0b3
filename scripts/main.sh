#!/usr/bin/env bash
# The main job: set up the machine, build the tools and the installer, pack the sample patch
# in examples/ into an installer, put it into a scratch copy of the sample game folder and
# run it under Wine: interactively where there is a display and a terminal, otherwise
# driven through its windows (Install pressed) with a screenshot saved.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh

scripts/setup.sh
jobs=$(nproc)
build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

echo "== build"
build native-release
build win32
run_preset=win32
if ! vantis_runs_32bit; then
  # 32-bit Wine would run only through qemu's emulator here, at minutes per process.
  run_preset=win64
  build win64
fi
pack=build/native-release/vantis-pack/vantis-pack

work="$PWD/out/sample"
rm -rf "$work"
mkdir -p "$work"
cp -r examples/game "$work/game"
cp -r examples/patch "$work/patch"
# Several megabytes of map data, the same bytes on every run.
python3 - "$work/patch/Data/maps/world.pak" <<'PY'
import hashlib, sys
with open(sys.argv[1], "wb") as out:
    block = b"vantis"
    for i in range(6 * 1024 * 1024 // 32):
        block = hashlib.sha256(block).digest()
        out.write(block)
PY

echo "== pack"
"$pack" build "$work/patch" -o out/vantis-patch-1.0.5.exe --stub build/win32/app/vantis-installer.exe
installer="$work/game/updates/vantis-patch-1.0.5.exe"
if [ "$run_preset" = win32 ]; then
  cp out/vantis-patch-1.0.5.exe "$installer"
else
  echo "note: this machine cannot execute 32-bit code; the sample runs on the 64-bit build of the installer"
  "$pack" build "$work/patch" -o "$installer" --stub "build/$run_preset/app/vantis-installer.exe"
fi
"$pack" list "$installer"
"$pack" verify "$installer"

snapshot() { (cd "$work/game" && find . -type f ! -path './updates/*' -printf '%10s  %p\n' | sort -k2); }
echo "== game folder before"
snapshot
echo "-- Bin/version.xml"; cat "$work/game/Bin/version.xml"

if [ -n "${DISPLAY:-}" ] && [ -t 0 ] && [ -z "${CI:-}" ]; then
  echo "== running the installer; it opens on your display"
  set +e
  scripts/wine-run.sh "$installer"
  echo "installer exit code: $?"
  set -e
else
  vantis_ensure_display
  echo "== running the installer, driven through its windows"
  scenario="$work/scenario.txt"
  transcript="$work/transcript.txt"
  {
    echo "scenario sample"
    echo "start $(vantis_winpath "$installer")"
    echo "dialog install=enabled close=enabled"
    echo "screenshot $(vantis_winpath "$work/install-dialog.bmp")"
    echo "click 102"
    echo "box"
    echo "press 1"
    echo "exit"
    echo "end"
  } >"$scenario"
  scripts/wine-run.sh "build/$run_preset/tests/e2e/e2e-driver.exe" "$(vantis_winpath "$scenario")" "$(vantis_winpath "$transcript")"
  if [ -e "$work/install-dialog.bmp" ]; then
    convert "$work/install-dialog.bmp" "$work/install-dialog.png"
    echo "screenshot: $work/install-dialog.png"
  fi
fi

echo "== game folder after"
snapshot
echo "-- Bin/version.xml"; cat "$work/game/Bin/version.xml"
echo "installer for players: out/vantis-patch-1.0.5.exe (32-bit Windows)"
