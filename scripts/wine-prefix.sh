#!/usr/bin/env bash
# Creates the project's Wine prefix for 32- or 64-bit programs (argument 32 or 64) once;
# later calls return at once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
vantis_use_wine "${1:?usage: wine-prefix.sh 32|64}"

stamp="$WINEPREFIX/.vantis-ready"
[ -e "$stamp" ] && exit 0

rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
echo "wine-prefix: creating $WINEPREFIX" >&2
"$vantis_wine" wineboot -i >/dev/null 2>&1 || true
# Without a window manager every closing window costs Wine about two seconds.
"$vantis_wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
"$vantis_wineserver" -w
[ -d "$WINEPREFIX/drive_c/windows" ] || { echo "wine-prefix: wineboot failed" >&2; exit 1; }
touch "$stamp"
