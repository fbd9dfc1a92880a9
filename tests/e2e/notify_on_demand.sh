#!/usr/bin/env bash
# End to end: the notification daemon is one that the bus starts on demand, and
# it does not run yet when an alarm comes due. The alarm still goes out as a
# desktop notification (the call itself starts the daemon), not as the tray
# icon's own balloon.
#   bash tests/e2e/notify_on_demand.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init
e2e_prepare_app "$1" "$2"

due=$(date -d '1 minute ago' '+%Y-%m-%d %H:%M')
db_query "$db" "SET GENERATOR GenNotka TO 10;
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (1, 'Due note', 'Take the bread out of the oven', '$(date '+%Y-%m-%d %H:%M:%S')', 2, 0,
          '${due% *}', '${due#* }');
COMMIT;" >"$E2E_STATE/seed.log" 2>&1
[ "$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI WHERE Alarm = 2)")" = 1 ] ||
    fatal "seed a note with a due alarm (see $E2E_STATE/seed.log)"

E2E_DUNST_ON_DEMAND=1 desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
check "no notification daemon runs before the alarm" eval '! bus_name_has_owner org.freedesktop.Notifications'
check "the bus can start one on demand" \
    eval '_e2e_bus ListActivatableNames | grep -q "\"org.freedesktop.Notifications\""'
notify_log="$E2E_STATE/notify.log"
start_dbus_monitor "$notify_log" || fatal "watch Notify calls on the private bus"

summary="Penwick A L A R M"

start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID
wait_for "tray_icon_of $pid >/dev/null" 15 || fatal "tray icon embedded under trayer's panel"
pass "tray icon embedded under trayer's panel"

if wait_for '[ "$(alarm_count)" -ge 1 ]' 25; then
    pass "a Notify call with summary '$summary'"
else
    fatal "a Notify call with summary '$summary' (seen: $(notify_records "$notify_log" | cut -f1 | paste -sd'|'))"
fi
check "the call started the notification daemon" wait_for "bus_name_has_owner org.freedesktop.Notifications" 10
check "the due note is marked running (Alarm = 1)" \
    wait_for '[ "$(db_value "$db" "(SELECT Alarm FROM NOTATKI WHERE ID = 1)")" = 1 ]' 10

kill -TERM "$pid"
if wait_exit "$pid" 10; then
    pass "SIGTERM ends the program"
else
    fail "SIGTERM ends the program"
fi

exit "$((E2E_FAILS > 0))"
