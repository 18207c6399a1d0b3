# Sourced by the benchmark scripts.

# Makes the tree at $1 with make-tree.py (the other arguments are its own) unless a complete
# one is there from an earlier run. True when it made a new tree.
bench_make_tree() {
  local tree=$1
  shift
  [ -f "$tree.complete" ] && return 1
  rm -rf "$tree"
  echo "making a tree in $tree"
  python3 "$(dirname "${BASH_SOURCE[0]}")/make-tree.py" "$tree" "$@"
  touch "$tree.complete"
}

# The median of one column of "WALL CPU" lines on standard input.
median() {
  awk -v c="$1" 'NF {print $c}' | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'
}

# Runs a command under /usr/bin/time with format $1, the figures going to $bench/time.txt
# and the command's standard output nowhere. A failed run has no time worth showing: it
# stops the benchmark. Called inside $(...), the exit ends the subshell, and the assignment
# that takes its output then fails the script under set -e.
bench_time() {
  local format=$1 status=0
  shift
  /usr/bin/time -f "$format" -o "$bench/time.txt" "$@" >/dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "benchmark stopped: $* failed (exit status $status)" >&2
    exit 1
  fi
}

# The installer under Wine, driven through its windows by the end-to-end tests' driver. The
# callers set $here (bench/), $bench (the working folder) and $windows_build, and source
# scripts/wine-env.sh.

# The driver's commands for the installer GAME/updates/patch.exe: MODE install presses
# Install and then OK on the success box, close only opens the dialog and closes it.
scenario() {  # MODE GAME
  echo "scenario $1"
  echo "start $(vantis_winpath "$2/updates/patch.exe")"
  echo "dialog install=enabled close=enabled"
  if [ "$1" = close ]; then echo "click 2"; else printf 'click 102\nbox\npress 1\n'; fi
  echo "exit"
  echo "end"
}

# Plays the scenario in $bench/MODE.txt and checks how it ended. Exported with
# vantis_winpath, it runs in `bash -c 'drive MODE'` under /usr/bin/time.
drive() {  # MODE
  "$here/../scripts/wine-run.sh" "$windows_build/tests/e2e/e2e-driver.exe" \
    "$(vantis_winpath "$bench/$1.txt")" "$(vantis_winpath "$bench/transcript.txt")"
  grep -q '^exit 0' "$bench/transcript.txt" ||
    { echo "the installer did not finish:" >&2; cat "$bench/transcript.txt" >&2; exit 1; }
}
