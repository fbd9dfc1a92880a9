#!/usr/bin/env bash
# End to end: penwickctl window through the running copy's door on the session
# bus, and the alarm notification's "Snooze 10 min" (the window hidden) and
# "Done" (under an open editor) invoked through dunst, whose rules here say
# which action `dunstctl action` takes on each notification.
#   bash tests/e2e/door.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init
ctl="$(dirname "$(realpath "$1")")/penwickctl"
e2e_prepare_app "$1" "$2"
# One pass fires both alarms: the first notification lists the tea alone, the
# second the stand-up too (the later rule wins). Neither expires meanwhile.
export E2E_DUNSTRC="$E2E_STATE/dunstrc"
printf '%s\n' '[snooze]' 'body = "*Tea*"' 'action_name = snooze' 'override_dbus_timeout = 0' \
    '[done]' 'body = "*Stand-up*"' 'action_name = done' | cat "$E2E_DIR/dunstrc" - >"$E2E_DUNSTRC"
due=$(date -d '1 minute ago' '+%Y-%m-%d %H:%M')
db_query "$db" "INSERT INTO NOTATKI (ID, Tytul, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  SELECT 1, 'Tea', '2024-05-03 10:00', 2, 0, '${due% *}', '${due#* }' FROM RDB\$DATABASE UNION ALL
  SELECT 2, 'Stand-up', '2024-05-02 10:00', 2, 1, '${due% *}', '00:00' FROM RDB\$DATABASE UNION ALL
  SELECT 3, 'Ringing', '2024-05-01 10:00', 1, 0, '2024-05-01', '10:00' FROM RDB\$DATABASE; COMMIT;" >"$E2E_STATE/seed.log" 2>&1
desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
start_dbus_monitor "$E2E_STATE/notify.log" || fatal "watch Notify calls on the private bus"
start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID

window() { ctl_err=$("$ctl" window "$@" 2>&1 >/dev/null); }
# row ID: the note's state and acknowledgement ("-": none).
row() { db_value "$db" "(SELECT Alarm || ' ' || COALESCE(CAST(AlarmArchiwum AS VARCHAR(24)), '-') FROM NOTATKI WHERE ID = $1)"; }
# editor [EXCEPT]: a shown editor window, other than EXCEPT.
editor() { window_titled "$pid" "Penwick - Note" "${1:-}"; }
close_editor() { focus_window "$(editor)" && press Escape && wait_for '! editor >/dev/null' 10; }
# act: dunst's "do action" on its first notification, which the program then closes.
act() {
    local shown
    shown=$(x dunstctl count displayed) && x dunstctl action 0 &&
        wait_for "[ \"\$(x dunstctl count displayed)\" -lt $shown ]" 10
}

wait_for '[ "$(x dunstctl count displayed 2>/dev/null)" = 2 ]' 25 || fatal "two alarm notifications"
check "only the tea's own notification offers Snooze 10 min" [ "$(grep -c '"Snooze 10 min"' "$E2E_STATE/notify.log")" = 1 ]
before=$(date +%s)
check "Snooze, the window hidden, closes its notification" act
at=$(date -d "$(db_value "$db" "(SELECT AlarmData || ' ' || SUBSTRING(AlarmGodzina FROM 1 FOR 5) FROM NOTATKI WHERE ID = 1)")" +%s)
check "and re-arms the tea ten minutes on, to the minute, the window left hidden" eval '[ "$(row 1)" = "2 -" ] &&
    [ $((at - before)) -ge 600 ] && [ $((at - before)) -le 720 ] && [ $((at % 60)) = 0 ] && ! window_mapped $pid'

window show
check "window show shows the window" wait_for 'win=$(window_mapped $pid)' 10
window toggle
check "window toggle hides it" wait_for '! window_mapped $pid >/dev/null' 10
window open 3
wait_for '[ "$(focused_window)" = "$(window_mapped $pid)" ]' 10 && press F2
check "window open 3 shows note 3 selected: F2 acknowledges it" wait_for '[ "$(row 3 | cut -c1)" = 3 ]' 10
close_editor || fail "Esc closes the editor"
window open 99
check "window open 99 says: $ctl_err" [ "$ctl_err" = "penwickctl: there is no note 99" ]

window new-note
check "window new-note opens the editor" wait_for 'first=$(editor)' 10
# The focus elsewhere, and the pointer moved: without a window manager the
# server refuses a focus request older than the last change of the focus.
x xdotool windowfocus "$win" && wait_for '[ "$(focused_window)" = "$win" ]' 5 &&
    x xdotool mousemove --sync --window "$win" 30 30
window new-note
check "a second one brings that editor up instead of another" \
    wait_for '[ "$(focused_window)" = "$first" ] && ! editor "$first" >/dev/null' 10
check "Done under the editor closes its notification" act
check "and acknowledges the stand-up, the tea left snoozed" eval '[ "$(row 2 | cut -c1)" = 3 ] && [ "$(row 1)" = "2 -" ]'
screenshot "$E2E_STATE/door.png"
close_editor || fail "Esc closes the editor"

kill -TERM "$pid"
wait_exit "$pid" 10 || fail "SIGTERM ends the program"
check "with no copy running, window show fails, saying so" \
    eval 'window show; [ $? = 1 ] && [ "$ctl_err" = "penwickctl: no copy of Penwick is running" ]'
exit "$((E2E_FAILS > 0))"
