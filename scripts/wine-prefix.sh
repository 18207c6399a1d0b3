#!/usr/bin/env bash
# Creates the project's Wine prefix once; later calls return at once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"

stamp="$WINEPREFIX/.vantis-ready"
[ -e "$stamp" ] && exit 0

mkdir -p "$(dirname "$WINEPREFIX")"
echo "wine-prefix: creating $WINEPREFIX (once per machine; slow under emulation)" >&2
wineboot -i >/dev/null 2>&1 || true
# Without a window manager every closing window costs Wine about two seconds.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
[ -d "$WINEPREFIX/drive_c/windows/system32" ] || { echo "wine-prefix: wineboot failed" >&2; exit 1; }
touch "$stamp"
