#!/usr/bin/env bash
# Two copies write one file at once, each N notes through the data module, and
# each started with a TMPDIR of its own (as from a terminal and from a
# sandbox). Every save reported done must be in the file afterwards.
#   bench/two_copies.sh BUILD_DIR [N] [NAMES]
# NAMES: how the second copy reaches the file: "same" (the one path; the
# default), "hardlink" (a hard link in another folder) or "bind" (a bind mount
# onto a file in another folder; needs root).
set -u
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [N] [same|hardlink|bind]" >&2; exit 2; }
build=$(realpath "$1")
n=${2:-1000}
names=${3:-same}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
worker="$build/tests/storeworker"
[ -x "$worker" ] || { echo "no $worker: build the tests first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/penwick-two.XXXXXX")
second=""
trap '[ -n "$second" ] && [ "$names" = bind ] && umount "$second" 2>/dev/null; rm -rf "$work"' EXIT
db="$work/dbn.ib"
mkdir -p "$work/tmp-a" "$work/tmp-b" "$work/other"
"$build/penwick-makedb" "$root/schema/dbn.sql" "$db" || exit 1
case $names in
    same) second=$db ;;
    hardlink) second="$work/other/dbn.ib"; ln "$db" "$second" || exit 1 ;;
    bind) second="$work/other/dbn.ib"; : >"$second"; mount --bind "$db" "$second" || exit 1 ;;
    *) echo "unknown NAMES: $names" >&2; exit 2 ;;
esac

start=$(date +%s%N)
TMPDIR="$work/tmp-a" "$worker" write-rows "$db" a "$n" >"$work/a.out" 2>"$work/a.err" &
a=$!
TMPDIR="$work/tmp-b" "$worker" write-rows "$second" b "$n" >"$work/b.out" 2>"$work/b.err" &
b=$!
wait "$a"; status_a=$?
wait "$b"; status_b=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))

# shellcheck source=tools/firebird-env.sh
. "$root/tools/firebird-env.sh" "$db" || exit 1
count() {
    printf "SET HEADING OFF;\nSELECT COUNT(*) FROM NOTATKI WHERE Tytul STARTING WITH '%s-';\n" "$1" |
        isql-fb -q -user sysdba -password quietbird "$db" | grep -o '[0-9][0-9]*' | head -1
}
# shellcheck source=bench/validate.sh
. "$root/bench/validate.sh"
validate_file "$db"
sound=$?
echo "copy a: status $status_a, saves reported done $(cat "$work/a.out"), rows found $(count a)"
echo "copy b: status $status_b, saves reported done $(cat "$work/b.out"), rows found $(count b)"
echo "names: $names; time: $ms ms for $((2 * n)) saves"
echo "gfix -v -full: $validation_errors errors, $validation_warnings warnings"
[ -n "$validation_listing" ] && printf '%s\n' "$validation_listing"
[ "$(count a)" = "$(cat "$work/a.out")" ] && [ "$(count b)" = "$(cat "$work/b.out")" ] && [ "$sound" = 0 ]
