#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine, from Debian's
# packages only. Safe to run again: it installs only what is missing. Needs root.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  g++-i686-linux-gnu
  wine wine32:i386 wine64 xvfb x11-utils imagemagick locales fonts-wqy-microhei
  googletest libssl-dev openssl
  libssl-dev:i386    # vantis-pack's SHA-256 in the 32-bit Linux build (static libcrypto)
  zlib1g-dev zlib1g-dev:i386 libz-mingw-w64-dev   # deflated entries and deltas
  xdelta3 bsdiff zstd   # bench/: the delta tools a patch's size is measured against
  osslsigncode       # signs and verifies the installer in the end-to-end tests
  clang libclang-rt-14-dev
  llvm               # llvm-symbolizer: sanitizer and fuzzer reports with file and line
  qemu-user-static   # runs the 32-bit Linux tests where the machine cannot execute 32-bit code
  # bench/ only: Google Benchmark and the peer libraries it times ours against
  libbenchmark-dev libbotan-2-dev libcrypto++-dev libgcrypt20-dev
  p7zip-full         # bench/build-benchmark.sh: `7z a -mx0` of the same tree
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

