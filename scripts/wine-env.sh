# Sourced by the scripts that run Windows programs. One Wine prefix per machine and word
# size, made once and reused.

vantis_wine_base="${VANTIS_WINE_HOME:-${XDG_CACHE_HOME:-$HOME/.cache}/vantis}"
export WINEDEBUG=-all
# Keeps Wine from asking for Mono and Gecko, which it would try to download. A test adds
# its own overrides through VANTIS_WINE_DLL_OVERRIDES.
export WINEDLLOVERRIDES="mscoree,mshtml=${VANTIS_WINE_DLL_OVERRIDES:+;$VANTIS_WINE_DLL_OVERRIDES}"

# True where the machine executes 32-bit x86 code itself. Some virtual machines cannot;
# there a 32-bit Wine runs only through qemu's emulator (registered with binfmt_misc),
# where starting one Windows process takes minutes, so the Windows tests use the 64-bit
# build instead.
vantis_runs_32bit() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    if [ -f "$entry" ] && grep -q '^enabled' "$entry" 2>/dev/null &&
       grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null; then
      return 1
    fi
  done
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# "32" or "64": the machine field of a Windows program's PE header.
vantis_pe_bits() {
  local pe machine
  pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -t x2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ')
  case "$machine" in
    014c) echo 32 ;;
    8664) echo 64 ;;
    *) echo "unknown" ;;
  esac
}

# Sets WINEPREFIX, WINEARCH and the loader for programs of the given word size.
vantis_use_wine() {
  export WINEPREFIX="$vantis_wine_base/wineprefix-win$1"
  export WINEARCH="win$1"
  if [ "$1" = 64 ]; then
    export WINELOADER=/usr/lib/wine/wine64
    vantis_wine=/usr/lib/wine/wine64
    vantis_wineserver=/usr/lib/wine/wineserver64
  else
    unset WINELOADER
    vantis_wine=/usr/lib/wine/wine
    vantis_wineserver=/usr/bin/wineserver
  fi
}

# A Unix path as Wine's drive Z: names it.
vantis_winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Without a display, starts Xvfb on a random one for Wine's windows; it is stopped when the
# calling script exits.
vantis_ensure_display() {
  if [ -n "${DISPLAY:-}" ]; then return; fi
  export DISPLAY=":$((90 + RANDOM % 200))"
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  vantis_xvfb_pid=$!
  trap 'kill $vantis_xvfb_pid 2>/dev/null || true' EXIT
  sleep 1
}
