#!/usr/bin/env bash
# Installs this build into a fresh prefix, moves the installed tree, and packs the sample
# patch with the moved tool and no --stub: it must find the installer program it was
# installed with, relative to itself, and the installer must verify. The manual page must
# read with man, and --version and the installer program's version resource must be the
# project's.
#
# Usage: InstalledToolTest.sh BUILD_DIR SOURCE_DIR VERSION INSTALLER_PROGRAM
set -euo pipefail
build="$1" source="$2" version="$3" program="$4"

if [ ! -f "$program" ]; then
  echo "no installer program at $program: build the win32 preset first" >&2
  exit 77  # skipped
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log"
mv "$scratch/prefix" "$scratch/moved"
tool="$scratch/moved/bin/vantis-pack"
installed="$scratch/moved/share/vantis-pack/vantis-installer.exe"

[ "$("$tool" --version)" = "vantis-pack $version" ] || { echo "--version: $("$tool" --version)" >&2; exit 1; }
cmp "$program" "$installed"
# The installer program's version resource (UTF-16 strings) carries the same version.
strings -el "$installed" | grep -qx "$version.0" || { echo "no version $version.0 in $installed" >&2; exit 1; }

cd "$scratch"
"$tool" build "$source/examples/patch" -o p.exe --quiet
cmp -n "$(stat -c %s "$installed")" "$installed" p.exe
"$tool" verify p.exe --quiet

page=$(MANWIDTH=80 man -M "$scratch/moved/share/man" vantis-pack 2>&1)
for text in "vantis-pack - build and inspect Vantis patch installers" \
            "usage: vantis-pack build SOURCE_DIR -o OUTPUT.exe" "--exclude PATTERN"; do
  grep -qF -- "$text" <<<"$page" || { echo "man vantis-pack lacks: $text" >&2; echo "$page" >&2; exit 1; }
done
echo "installed, moved, packed without --stub, verified; man page and version as built"
