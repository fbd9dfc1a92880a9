#!/usr/bin/env bash
# End to end: a note whose alarm is due is announced once through the desktop's
# notification daemon and marked as running; a future alarm is left alone.
#   bash tests/e2e/alarm_announce.sh PENWICK_BINARY SCHEMA_SQL
# The main window with the list is saved as alarm_list.png in $E2E_ARTIFACTS
# (default: the state folder, which goes after a pass).
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init

artifacts=${E2E_ARTIFACTS:-$E2E_STATE}
mkdir -p "$artifacts"

e2e_prepare_app "$1" "$2"

# One reading of the clock for both the seed and the expectation, so the date is
# right around midnight too.
due=$(date -d '1 minute ago' '+%Y-%m-%d %H:%M')
future=$(date -d '1 day' '+%Y-%m-%d %H:%M')
# The due note is the older one: if it still comes first, that is the alarm order.
created_a=$(date -d '5 minutes ago' '+%Y-%m-%d %H:%M:%S')
created_b=$(date '+%Y-%m-%d %H:%M:%S')
db_query "$db" "SET GENERATOR GenNotka TO 10;
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (1, 'Due note', 'Take the bread out of the oven', '$created_a', 2, 0, '${due% *}', '${due#* }');
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (2, 'Future note', 'Water the plants', '$created_b', 2, 0, '${future% *}', '${future#* }');
COMMIT;" >"$E2E_STATE/seed.log" 2>&1
[ "$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI WHERE Alarm = 2)")" = 2 ] ||
    fatal "seed two notes with alarms (see $E2E_STATE/seed.log)"
e2e_log "seeded: due alarm at $due, future alarm at $future"

desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
notify_log="$E2E_STATE/notify.log"
start_dbus_monitor "$notify_log" || fatal "watch Notify calls on the private bus"

summary="Penwick A L A R M"

start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID
started_ms=$(_e2e_now_ms)
e2e_log "program started, pid $pid"

if wait_for '[ "$(alarm_count)" -ge 1 ]' 15; then
    pass "a Notify call with summary '$summary' within 15 s"
else
    fatal "a Notify call with summary '$summary' within 15 s (seen: $(notify_records "$notify_log" | cut -f1 | paste -sd'|'))"
fi
body=$(notify_records "$notify_log" | awk -F'\t' -v s="$summary" '$1 == s { print $2; exit }')
e2e_log "notification body: $body"
check "the body holds '[Alarm: $due] '" eval '[[ "$body" == *"[Alarm: $due] "* ]]'
check "the body holds the title 'Due note'" eval '[[ "$body" == *"Due note"* ]]'
check "no notification mentions 'Future note'" eval '! notify_records "$notify_log" | grep -q "Future note"'

check "the due note is marked running (Alarm = 1)" \
    wait_for '[ "$(db_value "$db" "(SELECT Alarm FROM NOTATKI WHERE ID = 1)")" = 1 ]' 10
check "the future note keeps Alarm = 2" \
    eval '[ "$(db_value "$db" "(SELECT Alarm FROM NOTATKI WHERE ID = 2)")" = 2 ]'

icon=""
wait_for 'icon=$(tray_icon_of $pid)' 10 || fatal "tray icon embedded under trayer's panel"
pass "tray icon embedded under trayer's panel"
win=""
# The alarm may have brought the window up already; a click could then hide it.
if ! win=$(window_mapped "$pid"); then
    click_window "$icon" 1
    park_pointer
    wait_for 'win=$(window_mapped $pid)' 10 || fatal "left click on the tray icon shows the main window"
fi
pass "the main window is shown (window $win)"
sleep 1
screenshot "$artifacts/alarm_list.png"
check "screenshot of the list saved" [ -s "$artifacts/alarm_list.png" ]
if [ -n "${E2E_ARTIFACTS:-}" ]; then
    echo "screenshot of the list for a human look (the due note should come first): $artifacts/alarm_list.png"
fi

# Let a full 15 s pass before counting, so a second announcement has time to show.
rest_ms=$(( started_ms + 15000 - $(_e2e_now_ms) ))
(( rest_ms > 0 )) && sleep "$(awk -v m="$rest_ms" 'BEGIN { printf "%.1f", m / 1000 }')"
n=$(alarm_count)
check "exactly one alarm notification in 15 s (got $n)" [ "$n" = 1 ]

kill -TERM "$pid"
if wait_exit "$pid" 10; then
    pass "SIGTERM ends the program"
else
    fail "SIGTERM ends the program"
fi
n=$(alarm_count)
check "still exactly one alarm notification at the end (got $n)" [ "$n" = 1 ]

exit "$((E2E_FAILS > 0))"
