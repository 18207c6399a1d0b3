#!/usr/bin/env bash
# Fetches consecutive releases of real software from the npm registry and lays them out as
# pairs of game folders, DEST/PAIR/old at 1.0.4 and DEST/PAIR/new at 1.0.5, each with its
# Bin/version.xml and Bin/Vantis.exe (which the installer looks for), for `vantis-pack diff`
# and the delta benchmark. Data a game ships:
#
#   exe      a native Windows executable, esbuild.exe of two patch releases (about 10 MB)
#   elf      the same release's Linux executable
#   scripts  the typescript package of two patch releases (lib/*.js of several MB each)
#   archive  an uncompressed tar of typescript's lib folder, the newer one with members
#            replaced, a few inserted and a few dropped (tens of MB)
#   game     the Windows executable, four large scripts and the archive of the scripts
#   small    lodash of two patch releases, a few MB in all: for end-to-end tests
#
#   bench/fetch-releases.sh DEST [PAIR]...
#
# Without PAIR it lays out every pair. What is already there is kept: a pair is made once
# (DEST/PAIR.complete marks it), a release fetched once (DEST/releases). Prints the folder
# of each pair.
set -euo pipefail

dest=$(realpath -m "${1:?usage: fetch-releases.sh DEST [PAIR]...}")
shift
pairs=("$@")
[ ${#pairs[@]} -gt 0 ] || pairs=(exe elf scripts archive game small)
mkdir -p "$dest/releases"

# The releases of each side: the game's build number, esbuild, typescript and lodash.
declare -A releases=([old]="4 0.25.9 5.4.4 4.17.20" [new]="5 0.25.10 5.4.5 4.17.21")

# The unpacked release NAME@VERSION: its folder, fetched and unpacked on first use.
release() {
  local name=$1 version=$2
  local folder=$dest/releases/${name//\//-}-$version
  if [ ! -f "$folder.complete" ]; then
    rm -rf "$folder" "$folder.tmp"
    mkdir -p "$folder.tmp"
    echo "fetching $name@$version" >&2
    (cd "$folder.tmp" && npm pack --silent "$name@$version" >/dev/null)
    tar -xzf "$folder.tmp"/*.tgz -C "$folder.tmp"
    mv "$folder.tmp/package" "$folder"
    rm -rf "$folder.tmp"
    touch "$folder.complete"
  fi
  echo "$folder"
}

# Bin/version.xml at 1.0.BUILD, and Bin/Vantis.exe, which the installer wants to see before
# it installs: a stand-in unless the pair ships it.
game_folder() {  # FOLDER BUILD
  mkdir -p "$1/Bin"
  echo "stands in for the game" >"$1/Bin/Vantis.exe"
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<version>\n\t<major>1</major>\n\t<minor>0</minor>\n\t<build_number>%s</build_number>\n</version>\n' \
    "$2" >"$1/Bin/version.xml"
}

# An uncompressed tar of typescript's lib folder, the same bytes on every run. The newer
# one also drops two translations of the messages and takes in a few of lodash's files,
# which sort into the middle of the archive.
scripts_archive() {  # OUTPUT old|new
  local lib build esbuild typescript lodash
  read -r build esbuild typescript lodash <<<"${releases[$2]}"
  lib=$(release typescript "$typescript")
  local staging=$dest/archive-staging
  rm -rf "$staging"
  mkdir -p "$staging"
  cp -r "$lib/lib" "$staging/lib"
  if [ "$2" = new ]; then
    rm -rf "$staging/lib/de" "$staging/lib/pt-br"
    mkdir -p "$staging/lib/lodash"
    cp "$(release lodash "$lodash")"/{lodash.js,core.js,fp/_baseConvert.js} "$staging/lib/lodash/"
  fi
  tar -cf "$1" -C "$staging" --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner lib
  rm -rf "$staging"
}

make_pair() {  # PAIR
  local pair=$1 side build esbuild typescript lodash
  for side in old new; do
    local folder=$dest/$pair/$side
    read -r build esbuild typescript lodash <<<"${releases[$side]}"
    game_folder "$folder" "$build"
    case "$pair" in
      exe) cp "$(release @esbuild/win32-x64 "$esbuild")/esbuild.exe" "$folder/Bin/Vantis.exe" ;;
      elf) cp "$(release @esbuild/linux-x64 "$esbuild")/bin/esbuild" "$folder/Bin/" ;;
      scripts)
        mkdir -p "$folder/Data"
        cp -r "$(release typescript "$typescript")" "$folder/Data/typescript" ;;
      archive)
        mkdir -p "$folder/Data"
        scripts_archive "$folder/Data/scripts.pak" "$side" ;;
      game)
        cp "$(release @esbuild/win32-x64 "$esbuild")/esbuild.exe" "$folder/Bin/Vantis.exe"
        mkdir -p "$folder/Data/scripts"
        cp "$(release typescript "$typescript")"/lib/{typescript,tsserver,tsc,typingsInstaller}.js \
          "$folder/Data/scripts/"
        scripts_archive "$folder/Data/scripts.pak" "$side" ;;
      small)
        mkdir -p "$folder/Data"
        cp -r "$(release lodash "$lodash")" "$folder/Data/lodash" ;;
      *) echo "no pair named $pair" >&2; exit 2 ;;
    esac
  done
}

for pair in "${pairs[@]}"; do
  if [ ! -f "$dest/$pair.complete" ]; then
    rm -rf "${dest:?}/$pair"
    echo "laying out $pair" >&2
    make_pair "$pair"
    touch "$dest/$pair.complete"
  fi
  echo "$pair: $dest/$pair/old -> $dest/$pair/new ($(du -sh "$dest/$pair" | cut -f1))"
done
