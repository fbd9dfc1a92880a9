#!/usr/bin/env bash
# End to end: two copies of the program on one dbn.ib see each other's changes
# at once. A note added in one is listed by the other; an alarm fired by one
# is announced once and blinks in both; acknowledging it in the copy that
# announced it stops the blinking in both.
#   bash tests/e2e/two_copies.sh PENWICK_BINARY SCHEMA_SQL [server]
# With "server", the notes are on a private Firebird server on 127.0.0.1 and
# the two copies stand for two machines that use it.
# What each copy lists is read from its own log (the penwick.list category).
set -u
[ $# -ge 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL [server]" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
# Two checker passes of each copy after the firing take 20 s and more.
E2E_DEADLINE=${E2E_DEADLINE:-100}
e2e_init
command -v dunstctl >/dev/null || fatal "missing dunstctl (apt-get install dunst)"

e2e_prepare_app "$1" "$2"
if [ "${3:-}" = server ]; then
    # shellcheck source=tests/server/firebird-server.sh
    . "$E2E_ROOT/tests/server/firebird-server.sh"
    server_start "$E2E_STATE/server" || fatal "start a private Firebird server"
    rm -f "$db"
    db="inet://127.0.0.1:$SERVER_PORT/$SERVER_DB_DIR/dbn.ib"
    export PENWICK_DATABASE=$db
    "$(dirname "$(realpath "$1")")/penwick-makedb" "$(realpath "$2")" "$db" >"$E2E_STATE/make-db.log" 2>&1 ||
        fatal "make the database on the server (see $E2E_STATE/make-db.log)"
    pass "the notes are on a private server, port $SERVER_PORT"
fi
created=$(date -d '10 minutes ago' '+%Y-%m-%d %H:%M:%S')
db_query "$db" "SET GENERATOR GenNotka TO 10;
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm) VALUES (1, 'Plain note', 'Nothing', '$created', 0);
COMMIT;" >"$E2E_STATE/seed.log" 2>&1
[ "$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI)")" = 1 ] || fatal "seed a note (see $E2E_STATE/seed.log)"

desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
notify_log="$E2E_STATE/notify.log"
start_dbus_monitor "$notify_log" || fatal "watch Notify calls on the private bus"

export QT_LOGGING_RULES="penwick.list.debug=true;penwick.alarms.debug=true"
start_program "$E2E_STATE" "$app" a.log
pid_a=$E2E_APP_PID
start_program "$E2E_STATE" "$app" b.log
pid_b=$E2E_APP_PID
# Both are stopped at the end, the first one (and the server) by hand.
stop_first() {
    # Not cut short by the test's own deadline, as the cleanup after it is not.
    E2E_DEADLINE_MS=""
    [ -n "$pid_a" ] && stop_pid "$pid_a"
    [ -n "${SERVER_PID:-}" ] && server_stop
}
trap 'rc=$?; stop_first; (exit $rc); e2e_cleanup' EXIT

# last_list LOG: the copy's last "list: N rows, M running" line.
last_list() { grep -o 'list: [0-9]* rows, [0-9]* running' "$E2E_STATE/$1" | tail -1; }
lists() { [ "$(last_list a.log)" = "$1" ] && [ "$(last_list b.log)" = "$1" ]; }
passes() { grep -c 'alarms: pass: ' "$E2E_STATE/$1"; }

icon_a="" icon_b=""
wait_for 'icon_a=$(tray_icon_of $pid_a) && icon_b=$(tray_icon_of $pid_b)' 20 || fatal "both tray icons embedded"
pass "both copies show a tray icon"
win_a="" win_b=""
click_window "$icon_a" 1
wait_for 'win_a=$(window_mapped $pid_a)' 10 || fatal "copy A shows its window"
clicked=$(_e2e_now_ms)
park_pointer
clicks_apart "$clicked"
click_window "$icon_b" 1
wait_for 'win_b=$(window_mapped $pid_b)' 10 || fatal "copy B shows its window"
park_pointer
check "both list the seeded note" wait_for 'lists "list: 1 rows, 0 running"' 10

# A new note saved in copy A: Ins opens the editor with its default title, Enter saves.
focus_window "$win_a" || e2e_log "copy A's window did not get the focus"
press Insert
wait_for '[ "$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI)")" = 1 ] && xdotool search --onlyvisible --pid $pid_a --name "^Penwick - Note" >/dev/null 2>&1' 10 ||
    fatal "Ins opens the editor in copy A"
press Return
check "the new note is stored" wait_for '[ "$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI)")" = 2 ]' 10
check "copy B lists it at once" wait_for '[ "$(last_list b.log)" = "list: 2 rows, 0 running" ]' 5

# A due alarm, written by a third program: one of the copies fires it.
due=$(date -d '1 minute ago' '+%Y-%m-%d %H:%M')
db_query "$db" "INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (3, 'Due note', 'Take the bread out', '$(date '+%Y-%m-%d %H:%M:%S')', 2, 0, '${due% *}', '${due#* }');
COMMIT;" >>"$E2E_STATE/seed.log" 2>&1
check "the alarm is announced" wait_for '[ "$(alarm_count)" -ge 1 ]' 20
check "both copies list it running" wait_for 'lists "list: 3 rows, 1 running"' 10
check "both copies blink it" eval 'grep -q "blinking on" "$E2E_STATE/a.log" && grep -q "blinking on" "$E2E_STATE/b.log"'
firing=""
wait_for 'firing=$(grep -l "pass: .* 1 fired here" "$E2E_STATE/a.log" "$E2E_STATE/b.log" | head -1); [ -n "$firing" ]' 10 ||
    fatal "one copy says it fired the alarm"
[ "$firing" = "$E2E_STATE/a.log" ] && fired_pid=$pid_a || fired_pid=$pid_b
e2e_log "the alarm was fired by $(basename "$firing" .log)"
# The notification's default action, while it is still shown (it expires after 3 s).
wait_for '[ "$(x dunstctl count displayed 2>/dev/null)" -ge 1 ]' 10 || fatal "dunst shows the notification"
x dunstctl action 0 || fatal "dunstctl action"
win=""
wait_for 'win=$(window_mapped $fired_pid)' 10 || fatal "the announcing copy shows its window"

# Once each copy has made two more passes, neither can announce it any more.
after_a=$(passes a.log) after_b=$(passes b.log)
wait_for '[ "$(passes a.log)" -ge $((after_a + 2)) ] && [ "$(passes b.log)" -ge $((after_b + 2)) ]' 30 ||
    fail "both checkers keep making passes"
n=$(alarm_count)
check "exactly one announcement between the two copies (got $n)" [ "$n" = 1 ]

# Opening it acknowledges it: both stop blinking.
focus_window "$win" || e2e_log "the window did not get the focus"
press F2
check "F2 acknowledges it (Alarm = 3)" \
    wait_for '[ "$(db_value "$db" "(SELECT Alarm FROM NOTATKI WHERE ID = 3)")" = 3 ]' 10
check "both copies list it no longer running" wait_for 'lists "list: 3 rows, 0 running"' 10
check "both copies stop blinking" eval '[ "$(grep -c "blinking off" "$E2E_STATE/a.log")" -ge 1 ] && [ "$(grep -c "blinking off" "$E2E_STATE/b.log")" -ge 1 ]'
press Escape

for pid in $pid_a $pid_b; do
    kill -TERM "$pid"
    wait_exit "$pid" 10 && [ "$E2E_EXIT" = 0 ] || fail "SIGTERM ends copy $pid in order (status ${E2E_EXIT:-none})"
done
pid_a=""
exit "$((E2E_FAILS > 0))"
