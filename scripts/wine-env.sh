# Sourced by the scripts that run Windows programs: one Wine prefix per machine, made once
# and reused, because a new prefix takes from half a minute to several minutes to create.
export WINEPREFIX="${VANTIS_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/vantis/wineprefix}"
export WINEARCH=win32
export WINEDEBUG=-all
# Keeps Wine from asking for Mono and Gecko, which it would try to download.
export WINEDLLOVERRIDES="mscoree,mshtml="
