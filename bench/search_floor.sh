#!/usr/bin/env bash
# The floor of one search keystroke: the list's two search statements run by
# isql-fb on the notes of bench_notelist (10,000 by default, bodies of about
# 400 characters, every hundredth one holding "qzx"), with the page cache the
# program asks for. Prints the median, over the runs, of both statements'
# elapsed times together (execute and fetch, as the engine reports them), for
# the statement that reads every body through Unicode and for the one that
# compares the stored bytes, and for a text that matches 1 % and one that
# matches nothing.
#   bench/search_floor.sh BUILD_DIR [NOTES]
# Environment: FLOOR_RUNS (31), FLOOR_KEEP=1 keeps the work folder.
set -u
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [NOTES]" >&2; exit 2; }
build=$(realpath "$1")
count=${2:-10000}
runs=${FLOOR_RUNS:-31}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
command -v isql-fb >/dev/null || { echo "isql-fb is missing (firebird3.0-utils)" >&2; exit 2; }
[ -x "$build/penwick-makedb" ] || { echo "no $build/penwick-makedb: build it first" >&2; exit 2; }

work=$(mktemp -d)
[ "${FLOOR_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
db="$work/notes.ib"
"$build/penwick-makedb" "$root/schema/dbn.sql" "$db" || exit 1
# shellcheck source=tools/firebird-env.sh
. "$root/tools/firebird-env.sh" "$db" || exit 1
isql() {
    isql-fb -q -c 2048 -user sysdba -password quietbird "$db" "$@"
}

# The rows bench_notelist makes, by the same block.
cat >"$work/seed.sql" <<EOF
SET TERM ^ ;
EXECUTE BLOCK AS DECLARE i INTEGER = 0; DECLARE body VARCHAR(600); BEGIN
body = 'Remember to bring the quarterly figures to the meeting with the auditors; check the spreadsheet twice, update the budget columns, call the supplier about the delayed parcel, water the plants on the balcony, book the dentist for next Tuesday, renew the parking permit before it expires, reply to the letter from the bank, buy batteries, milk, bread and coffee, and finally write the summary for the team. ';
WHILE (i < $count) DO BEGIN
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
VALUES (:i + 1, 'Note number ' || :i, :body || IIF(MOD(:i, 100) = 37, 'qzx ', '') || :i,
DATEADD(-:i MINUTE TO TIMESTAMP '2025-06-01 12:00:00'),
IIF(MOD(:i, 100) = 0, 1, IIF(MOD(:i, 10) = 0, 2, 0)), 0, DATE '2025-06-02', TIME '09:30');
i = i + 1; END
END^
SET TERM ; ^
COMMIT;
EOF
isql -bail -i "$work/seed.sql" >"$work/seed.log" 2>&1 || { cat "$work/seed.log" >&2; exit 1; }

# The statements as the program composes them (store/Statements.cpp).
statement() { # GROUP ("=" or "<>") TEXT FORM ("unicode" or "bytes")
    local body="Tresc CONTAINING '$2'"
    [ "$3" = bytes ] && body="CAST(Tresc AS VARCHAR(20000) CHARACTER SET NONE) CONTAINING '$2'"
    echo "SELECT * FROM NOTATKI WHERE (Alarm $1 1) AND (UPPER(Tytul) CONTAINING '$2' OR $body) ORDER BY DataGodzina DESC;"
}
cases=("unicode qzx" "bytes qzx" "unicode zqv" "bytes zqv")
{
    echo "SET STATS ON;"
    echo "SET BLOB OFF;"
    # One round first to fill the page cache; the runs take turns.
    for _ in $(seq 0 "$runs"); do
        for c in "${cases[@]}"; do
            read -r form text <<<"$c"
            statement "=" "$text" "$form"
            statement "<>" "$text" "$form"
        done
    done
} >"$work/runs.sql"
isql -i "$work/runs.sql" 2>&1 | sed -n 's/^Elapsed time= *\([0-9.]*\) sec$/\1/p' >"$work/elapsed"
want=$(( (runs + 1) * ${#cases[@]} * 2 ))
got=$(wc -l <"$work/elapsed")
[ "$got" = "$want" ] || { echo "expected $want timings, got $got" >&2; exit 1; }

printf '%-8s %-5s %10s\n' "body" "text" "median ms"
awk -v n="${#cases[@]}" -v skip="$(( ${#cases[@]} * 2 ))" 'NR > skip {
        i = int((NR - 1) / 2) % n
        if ((NR - 1) % 2 == 0) sum = $1; else { t[i, ++k[i]] = (sum + $1) * 1000 }
    }
    END {
        for (i = 0; i < n; i++) {
            m = k[i]
            for (a = 1; a <= m; a++) for (b = a + 1; b <= m; b++) if (t[i, b] < t[i, a]) { x = t[i, a]; t[i, a] = t[i, b]; t[i, b] = x }
            print i, (m % 2) ? t[i, (m + 1) / 2] : (t[i, m / 2] + t[i, m / 2 + 1]) / 2
        }
    }' "$work/elapsed" | while read -r i median; do
    read -r form text <<<"${cases[$i]}"
    printf '%-8s %-5s %10.1f\n' "$form" "$text" "$median"
done
