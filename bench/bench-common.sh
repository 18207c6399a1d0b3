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
