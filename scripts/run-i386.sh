#!/usr/bin/env bash
# Runs a 32-bit x86 Linux program: directly where the machine executes 32-bit code,
# otherwise through qemu's user-mode emulator.
set -euo pipefail
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  exec "$@"
fi
exec qemu-i386-static "$@"
