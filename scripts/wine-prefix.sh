#!/usr/bin/env bash
# Creates the project's Wine prefix for 32- or 64-bit programs (argument 32 or 64) once;
# later calls return at once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
vantis_use_wine "${1:?usage: wine-prefix.sh 32|64}"

# Named after the settings below: a prefix made before a change to them gets them anew.
stamp="$WINEPREFIX/.vantis-ready-2"
[ -e "$stamp" ] && exit 0

if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  echo "wine-prefix: creating $WINEPREFIX" >&2
  "$vantis_wine" wineboot -i >/dev/null 2>&1 || true
  [ -d "$WINEPREFIX/drive_c/windows" ] || { echo "wine-prefix: wineboot failed" >&2; exit 1; }
fi
reg() { "$vantis_wine" reg add "$@" /f >/dev/null 2>&1; }
# Without a window manager every closing window costs Wine about two seconds.
reg 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
# Wine has no Chinese glyphs of its own: the dialog font falls back to a free CJK font.
for font in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
  reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$font" \
    /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei"
done
"$vantis_wineserver" -w
touch "$stamp"
