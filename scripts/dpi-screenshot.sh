#!/usr/bin/env bash
# Shows the install dialog as Windows draws it at 150 % display scaling (144 DPI) and saves
# it as docs/install-dialog-144dpi.png. A Wine prefix of its own carries the DPI setting, so
# the tests' prefixes keep 96 DPI. Needs the builds that scripts/main.sh makes.
set -euo pipefail
cd "$(dirname "$0")/.."
export VANTIS_WINE_HOME="${VANTIS_WINE_HOME:-${XDG_CACHE_HOME:-$HOME/.cache}/vantis}/dpi144"
source scripts/wine-env.sh

preset=win32
vantis_runs_32bit || preset=win64   # 32-bit Wine would run only through qemu here
bits=${preset#win}
pack=build/native-release/vantis-pack/vantis-pack
driver="build/$preset/tests/e2e/e2e-driver.exe"
for needed in "$pack" "$driver" "build/$preset/app/vantis-installer.exe"; do
  [ -e "$needed" ] || { echo "dpi-screenshot: $needed is missing: run scripts/main.sh first" >&2; exit 1; }
done

scripts/wine-prefix.sh "$bits"
vantis_use_wine "$bits"
"$vantis_wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
"$vantis_wineserver" -w
vantis_ensure_display

work=$(mktemp -d)
trap 'rm -rf "$work"; kill ${vantis_xvfb_pid:-} 2>/dev/null || true' EXIT
cp -r examples/game "$work/game"
"$pack" build examples/patch -o "$work/game/updates/vantis-patch-1.0.5.exe" \
  --stub "build/$preset/app/vantis-installer.exe" --quiet
cat >"$work/scenario.txt" <<SCENARIO
scenario dpi144
start $(vantis_winpath "$work/game/updates/vantis-patch-1.0.5.exe")
dialog install=enabled close=enabled
screenshot $(vantis_winpath "$work/dialog.bmp")
click 2
exit
end
SCENARIO
scripts/wine-run.sh "$driver" "$(vantis_winpath "$work/scenario.txt")" \
  "$(vantis_winpath "$work/transcript.txt")"
convert "$work/dialog.bmp" docs/install-dialog-144dpi.png
identify docs/install-dialog-144dpi.png
