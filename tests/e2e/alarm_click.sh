#!/usr/bin/env bash
# End to end: the alarm notification offers a default action; invoking it (as a
# click does) shows the main window with the alarm's note selected, so that F2
# opens that very note.
#   bash tests/e2e/alarm_click.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init
command -v dunstctl >/dev/null || fatal "missing dunstctl (apt-get install dunst)"

e2e_prepare_app "$1" "$2"

due=$(date -d '1 minute ago' '+%Y-%m-%d %H:%M')
created_a=$(date -d '5 minutes ago' '+%Y-%m-%d %H:%M:%S')
created_b=$(date '+%Y-%m-%d %H:%M:%S')
# The plain note is newer, so a list with nothing selected would not point at the alarm.
db_query "$db" "SET GENERATOR GenNotka TO 10;
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (1, 'Due note', 'Take the bread out of the oven', '$created_a', 2, 0, '${due% *}', '${due#* }');
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm) VALUES (2, 'Plain note', 'Nothing', '$created_b', 0);
COMMIT;" >"$E2E_STATE/seed.log" 2>&1
[ "$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI)")" = 2 ] || fatal "seed two notes (see $E2E_STATE/seed.log)"

desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
notify_log="$E2E_STATE/notify.log"
start_dbus_monitor "$notify_log" || fatal "watch Notify calls on the private bus"

start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID
summary="Penwick A L A R M"
wait_for 'notify_records "$notify_log" | grep -q "^$summary"' 20 || fatal "an alarm notification within 20 s"
pass "an alarm notification was sent"
# The actions array follows the body: first the key "default" and its label "Open".
check "the notification offers the default action 'Open'" \
    eval 'tr -d "\n" <"$notify_log" | grep -q "array \[ *string \"default\" *string \"Open\" "'
check "the window stays hidden until the notification is clicked" eval '! window_mapped $pid >/dev/null'

wait_for '[ "$(x dunstctl count displayed 2>/dev/null)" -ge 1 ]' 10 || fatal "dunst shows the notification"
x dunstctl action 0 || fatal "dunstctl action"
win=""
wait_for 'win=$(window_mapped $pid)' 10 || fatal "the default action shows the main window"
pass "the default action shows the main window (window $win)"
screenshot "$E2E_STATE/after_click.png"

# F2 opens the selected note; opening the running alarm acknowledges it.
focus_window "$win" || e2e_log "the main window did not get the focus"
press F2
check "F2 opens the alarm's note: it is acknowledged (Alarm = 3)" \
    wait_for '[ "$(db_value "$db" "(SELECT Alarm FROM NOTATKI WHERE ID = 1)")" = 3 ]' 10

kill -TERM "$pid"
wait_exit "$pid" 10 || fail "SIGTERM ends the program"
exit "$((E2E_FAILS > 0))"
