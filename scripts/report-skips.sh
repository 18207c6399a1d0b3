#!/usr/bin/env bash
# Lists every skipped test in the GoogleTest XML results below RESULTS (one folder per
# stage), as "STAGE Suite.Test: reason". A skip passes as success, so under CI=true any
# skip fails, except where the processor lacks the instructions of a vector path (reasons
# starting "instruction set missing:", tests/InstructionSetSkip.h): a CI machine cannot
# help that one.
#
#   scripts/report-skips.sh RESULTS
set -euo pipefail

results=$1
skips=$(
  for file in "$results"/*/*.xml; do
    [ -f "$file" ] || continue
    awk -v stage="$(basename "$(dirname "$file")")" '
      function attribute(line, key) {
        if (!match(line, " " key "=\"[^\"]*\"")) return ""
        return substr(line, RSTART + length(key) + 3, RLENGTH - length(key) - 4)
      }
      /<testcase / { test = attribute($0, "classname") "." attribute($0, "name") }
      /<skipped message="/ {
        reason = attribute($0, "message")
        sub(/^[^&]*&#x0A;/, "", reason)  # the file and line
        gsub(/&#x0A;/, " ", reason)
        gsub(/&quot;/, "\"", reason); gsub(/&apos;/, "\047", reason)
        gsub(/&lt;/, "<", reason); gsub(/&gt;/, ">", reason); gsub(/&amp;/, "\\&", reason)
        print stage " " test ": " reason
      }' "$file"
  done
)
if [ -z "$skips" ]; then
  echo "no test skipped"
  exit 0
fi
echo "$skips"
not_allowed=$(grep -v '^[^:]*: instruction set missing: ' <<<"$skips" || true)
if [ "${CI:-}" = true ] && [ -n "$not_allowed" ]; then
  echo "report-skips: under CI every test must run, but these skipped:" >&2
  echo "$not_allowed" >&2
  exit 1
fi
