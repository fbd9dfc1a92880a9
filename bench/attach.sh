#!/usr/bin/env bash
# The engine's attach and the access password read, each in a process of its
# own, with the program's Unicode library look-up (attach_probe) and without
# it (attach_probe_plain), taking turns: medians of ATTACH_RUNS (15) each.
#   bench/attach.sh BUILD_FOLDER
set -u
[ $# -eq 1 ] || { echo "usage: $0 BUILD_FOLDER" >&2; exit 2; }
build=$(realpath "$1")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${ATTACH_RUNS:-15}
work=$(mktemp -d "${TMPDIR:-/tmp}/penwick-attach.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/penwick-makedb" "$root/schema/dbn.sql" "$work/dbn.ib" >"$work/makedb.log" 2>&1 ||
    { echo "cannot create a database (see $work/makedb.log)" >&2; exit 1; }
for n in $(seq 1 "$runs"); do
    for probe in attach_probe attach_probe_plain; do
        "$build/bench/$probe" "$work/dbn.ib" >>"$work/$probe.data" || { echo "$probe failed" >&2; exit 1; }
    done
done
median() { awk -v c="$2" '{ print $c }' "$1" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-36s %10s %10s\n' "attach ($runs runs each, medians)" "attach ms" "read ms"
printf '%-36s %10s %10s\n' "with the program's library look-up" "$(median "$work/attach_probe.data" 2)" \
    "$(median "$work/attach_probe.data" 4)"
printf '%-36s %10s %10s\n' "the loader's own search" "$(median "$work/attach_probe_plain.data" 2)" \
    "$(median "$work/attach_probe_plain.data" 4)"
