#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine, from Debian's
# packages only. Safe to run again: it installs only what is missing. Needs root.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386 xvfb x11-utils imagemagick locales
  googletest libssl-dev openssl
  clang libclang-rt-14-dev
  qemu-user-static
)

install_packages() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (${missing[*]}); run as root" >&2
    exit 1
  fi
  if [ "$have_i386" -eq 0 ]; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "setup: installed ${missing[*]}"
}

# Wine's 32-bit loader is an i386 Linux program. Some virtual machines cannot run 32-bit
# code at all (exec fails with "Exec format error"); there we hand i386 programs to qemu's
# user-mode emulator through binfmt_misc. The registration does not survive a reboot, so
# it is checked on every run.
enable_i386_execution() {
  if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    return
  fi
  local misc=/proc/sys/fs/binfmt_misc
  [ -e "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc"
  if [ ! -e "$misc/qemu-i386" ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' >"$misc/register"
  fi
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "setup: this machine cannot run 32-bit programs, not even through qemu" >&2
    exit 1
  fi
  echo "setup: 32-bit programs run through qemu user-mode emulation on this machine"
}

missing=()
have_i386=0
dpkg --print-foreign-architectures | grep -qx i386 && have_i386=1
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
else
  install_packages
fi
enable_i386_execution

