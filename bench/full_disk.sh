#!/usr/bin/env bash
# A full disk under the notes: a copy saves notes in a loop on a small file
# system that fills up, while a second process opens the same file. Neither
# may die of a signal or hang; every save reported done must be in the file.
# Needs root (it mounts a small tmpfs).
#   bench/full_disk.sh BUILD_DIR [SIZE]        (SIZE of the file system, default 4m)
set -u
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [SIZE]" >&2; exit 2; }
build=$(realpath "$1")
size=${2:-4m}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
worker="$build/tests/storeworker"
[ -x "$worker" ] || { echo "no $worker: build the tests first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/penwick-full.XXXXXX")
disk="$work/disk"
mkdir -p "$disk"
trap 'umount "$disk" 2>/dev/null; rm -rf "$work"' EXIT
mount -t tmpfs -o size="$size" tmpfs "$disk" || { echo "cannot mount a tmpfs (not root?)" >&2; exit 2; }
"$build/penwick-makedb" "$root/schema/dbn.sql" "$work/made.ib" || exit 1
db="$disk/dbn.ib"
cp "$work/made.ib" "$db"
# Room for a few hundred notes, then none.
head -c "$(( $(df --output=avail -B1 "$disk" | tail -1) - 300000 ))" /dev/zero >"$disk/filler" 2>/dev/null

timeout 60 "$worker" save-loop "$db" >"$work/saves" 2>"$work/saves.err" &
saver=$!
sleep 1
start=$(date +%s%N)
timeout 30 "$worker" write-rows "$db" second 20 >"$work/second" 2>"$work/second.err"
second_status=$?
second_ms=$(( ($(date +%s%N) - start) / 1000000 ))
wait "$saver"
saver_status=$?
reported=$(grep -cx '[0-9][0-9]*' "$work/saves")
rm -f "$disk/filler"
cp "$db" "$work/after.ib"
# shellcheck source=tools/firebird-env.sh
. "$root/tools/firebird-env.sh" "$work/after.ib" || exit 1
found=$(printf 'SET HEADING OFF;\nSELECT COUNT(*) FROM NOTATKI WHERE Tytul STARTING WITH '"'"'loop-'"'"';\n' |
    isql-fb -q -user sysdba -password quietbird "$work/after.ib" | grep -o '[0-9][0-9]*' | head -1)
# shellcheck source=bench/validate.sh
. "$root/bench/validate.sh"
validate_file "$work/after.ib"
sound=$?
echo "saving copy: status $saver_status (1: a save failed, as it must once the disk is full), saves reported done $reported, in the file $found"
echo "its last word: $(tail -1 "$work/saves.err")"
echo "second opener: status $second_status in $second_ms ms, saves reported done $(cat "$work/second")"
echo "gfix -v -full: $validation_errors errors, $validation_warnings warnings"
[ -n "$validation_listing" ] && printf '%s\n' "$validation_listing"
# 124: timeout killed it (a hang); above 128: a signal.
[ "$saver_status" -lt 124 ] && [ "$second_status" -lt 124 ] && [ "$found" = "$reported" ] && [ "$sound" = 0 ]
