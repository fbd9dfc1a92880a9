#!/usr/bin/env bash
# Kills a process that saves notes in a loop (through the data module, as the
# program does) with SIGKILL at RUNS random moments, then compares what it had
# reported as saved with what the file holds, and validates the file.
#   bench/kill_during_saves.sh BUILD_DIR [RUNS]
# Prints: saves reported done, how many of them are in the file, rows in the
# file, and what `gfix -v -full` found. Fails on a reported save that is
# missing or on a validation error; warnings are counted and listed (see
# validate.sh).
set -u
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [RUNS]" >&2; exit 2; }
build=$(realpath "$1")
runs=${2:-100}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
worker="$build/tests/storeworker"
[ -x "$worker" ] || { echo "no $worker: build the tests first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/penwick-kill.XXXXXX")
trap 'rm -rf "$work"' EXIT
db="$work/dbn.ib"
"$build/penwick-makedb" "$root/schema/dbn.sql" "$db" || exit 1

: >"$work/reported"
for ((i = 1; i <= runs; i++)); do
    "$worker" save-loop "$db" >"$work/out" 2>"$work/err" &
    pid=$!
    # A random moment between 50 and 550 ms after the start.
    sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.3f", 0.05 + (r % 500) / 1000 }')"
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null
    # Only whole lines: a line cut by the kill was not reported.
    grep -x '[0-9][0-9]*' "$work/out" >>"$work/reported"
done

# shellcheck source=tools/firebird-env.sh
. "$root/tools/firebird-env.sh" "$db" || exit 1
printf 'SET HEADING OFF;\nSELECT ID FROM NOTATKI;\n' |
    isql-fb -q -user sysdba -password quietbird "$db" | grep -o '[0-9][0-9]*' | sort >"$work/rows"
sort "$work/reported" >"$work/reported.sorted"
reported=$(wc -l <"$work/reported.sorted")
found=$(comm -12 "$work/reported.sorted" "$work/rows" | wc -l)
rows=$(wc -l <"$work/rows")
# shellcheck source=bench/validate.sh
. "$root/bench/validate.sh"
validate_file "$db"
sound=$?
echo "kills: $runs"
echo "saves reported done: $reported"
echo "of those in the file: $found"
echo "rows in the file: $rows"
echo "gfix -v -full: $validation_errors errors, $validation_warnings warnings"
[ -n "$validation_listing" ] && printf '%s\n' "$validation_listing"
[ "$found" = "$reported" ] && [ "$sound" = 0 ]
