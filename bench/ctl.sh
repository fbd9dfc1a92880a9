#!/usr/bin/env bash
# penwickctl from a shell, as a desktop shortcut or a timer runs it:
#   - `penwickctl new` from the fork to the exit, CTL_NEW_RUNS times (21) on
#     one file, each a process of its own (goal: at most 150 ms);
#   - `penwickctl export --markdown` of 10,000 notes (bench/seed_10000.sql)
#     into an empty folder, CTL_EXPORT_RUNS times (5) (goal: at most 2 s),
#     each after a sync, taking turns with this file system's floor: a bare
#     loop that creates as many files of the same sizes in the same place.
# Prints every run and, last, one line of medians and worst runs.
#   bench/ctl.sh BUILD_FOLDER
set -u
[ $# -eq 1 ] || { echo "usage: $0 BUILD_FOLDER" >&2; exit 2; }
build=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
ctl=$build/penwickctl
new_runs=${CTL_NEW_RUNS:-21}
export_runs=${CTL_EXPORT_RUNS:-5}
work=$(mktemp -d "${TMPDIR:-/tmp}/penwick-ctl.XXXXXX")
trap 'rm -rf "$work"' EXIT
for file in fresh notes10k; do
    "$build/penwick-makedb" "$root/schema/dbn.sql" "$work/$file.ib" >>"$work/makedb.log" 2>&1 ||
        { echo "cannot create a database (see $work/makedb.log)" >&2; exit 1; }
done
(
    # shellcheck source=tools/firebird-env.sh
    . "$root/tools/firebird-env.sh" "$work/notes10k.ib" || exit 1
    isql-fb -q -bail -user sysdba -password quietbird "$work/notes10k.ib" -i "$here/seed_10000.sql"
) >"$work/seed.log" 2>&1 || { echo "seeding failed (see $work/seed.log)" >&2; exit 1; }

now_ms() { date +%s%3N; }
# time_ms COMMAND...: the command's wall time in ms on stdout; fails with it.
time_ms() {
    local start end
    start=$(now_ms)
    "$@" >/dev/null 2>>"$work/errors.log" || return 1
    end=$(now_ms)
    echo $((end - start))
}
stats() { sort -n | awk '{ v[NR] = $1 } END { printf "%s %s", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2, v[NR] }'; }

: >"$work/new.ms"
for n in $(seq 1 "$new_runs"); do
    ms=$(time_ms "$ctl" --database "$work/fresh.ib" new --title "Run $n" "A note from the bench") ||
        { echo "penwickctl new failed:" >&2; cat "$work/errors.log" >&2; exit 1; }
    echo "new $n: $ms ms"
    echo "$ms" >>"$work/new.ms"
done

: >"$work/export.ms"
: >"$work/floor.ms"
for n in $(seq 1 "$export_runs"); do
    # Each run starts with the disk idle, not behind the last run's writeback.
    sync
    ms=$(time_ms "$ctl" --database "$work/notes10k.ib" export --markdown "$work/md$n") ||
        { echo "penwickctl export failed:" >&2; cat "$work/errors.log" >&2; exit 1; }
    files=$(find "$work/md$n" -type f | wc -l)
    echo "export $n: $ms ms, $files files"
    [ "$files" = 10000 ] || { echo "the export wrote $files files, not 10000" >&2; exit 1; }
    echo "$ms" >>"$work/export.ms"
    find "$work/md$n" -type f -printf '%s\n' >"$work/sizes"
    rm -rf "$work/md$n"
    sync
    ms=$(time_ms python3 -c 'import os, sys
os.mkdir(sys.argv[1])
for i, size in enumerate(open(sys.argv[2])):
    with open("%s/%d.md" % (sys.argv[1], i), "x") as f:
        f.write("x" * int(size))' "$work/floor$n" "$work/sizes") || { echo "the floor loop failed" >&2; exit 1; }
    echo "floor $n: $ms ms"
    echo "$ms" >>"$work/floor.ms"
    rm -rf "$work/floor$n"
done

read -r new_median new_worst < <(stats <"$work/new.ms")
read -r export_median export_worst < <(stats <"$work/export.ms")
read -r floor_median _ < <(stats <"$work/floor.ms")
echo "penwickctl new ms: median $new_median worst $new_worst; export markdown ms: median $export_median" \
    "worst $export_worst files 10000 floor $floor_median"
