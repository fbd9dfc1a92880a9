#!/usr/bin/env bash
# End to end: the running program's door on the session bus and the actions of
# its alarm notification. penwickctl window show, toggle, open and new-note
# reach the first copy (a second start gets no door); a second new-note brings
# up the open editor instead of stacking another; "Snooze 10 min" re-arms a
# one-time alarm with the window hidden and "Done" acknowledges a daily one
# under an open editor, each invoked through dunst, which is told by rules of
# this test's own which action its "do action" command invokes.
#   bash tests/e2e/door.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
# Two passes of the alarm checker, ten seconds apart, lie on the way.
E2E_DEADLINE=${E2E_DEADLINE:-80}
e2e_init
command -v dunstctl >/dev/null || fatal "missing dunstctl (apt-get install dunst)"
ctl="$(dirname "$(realpath "$1")")/penwickctl"
[ -x "$ctl" ] || fatal "penwickctl beside the program"

e2e_prepare_app "$1" "$2"
bus_name=io.github.penwick.Penwick

# Each notification gets the action its body asks for; the daily alarm's
# comes alone, so its rule is never met by the first one.
export E2E_DUNSTRC="$E2E_STATE/dunstrc"
cat "$E2E_DIR/dunstrc" - >"$E2E_DUNSTRC" <<'EOF'

[door_snooze]
    appname = Penwick
    body = "*Tea is ready*"
    action_name = snooze

[door_done]
    appname = Penwick
    body = "*Stand-up*"
    action_name = done
EOF

due=$(date -d '1 minute ago' '+%Y-%m-%d %H:%M')
db_query "$db" "SET GENERATOR GenNotka TO 10;
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (1, 'Tea is ready', 'Green', '$(date '+%Y-%m-%d %H:%M:%S')', 2, 0, '${due% *}', '${due#* }');
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (2, 'Ringing', 'Since yesterday', '2024-05-01 10:00:00', 1, 0, '2024-05-01', '10:00');
COMMIT;" >"$E2E_STATE/seed.log" 2>&1
[ "$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI)")" = 2 ] || fatal "seed two notes (see $E2E_STATE/seed.log)"

desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
notify_log="$E2E_STATE/notify.log"
start_dbus_monitor "$notify_log" || fatal "watch Notify calls on the private bus"

start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID
wait_for '[ "$(bus_name_owner_pid $bus_name)" = "$pid" ]' 15 || fatal "the program owns $bus_name"
pass "the program owns $bus_name on the session bus"

# window: runs penwickctl window "$@"; its status in ctl_rc, its error line in ctl_err.
window() {
    ctl_err=$("$ctl" window "$@" 2>&1 >/dev/null)
    ctl_rc=$?
}
alarm_of() {
    db_value "$db" "(SELECT Alarm || ' ' || AlarmRodzaj || ' ' || COALESCE(CAST(AlarmArchiwum AS VARCHAR(30)), 'none')
                     FROM NOTATKI WHERE ID = $1)"
}
# actions_of TITLE: the actions array of the Notify call whose body names TITLE.
actions_of() {
    tr -d '\n' <"$notify_log" | sed 's/method call /\n/g' | grep -F "$1" | grep -o 'array \[[^]]*\]' | head -1 |
        tr -s ' '
}
editor() { window_titled "$pid" "Penwick - Note"; }
editor_count() {
    local w n=0
    for w in $(x xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
        [ "$(x xdotool getwindowname "$w" 2>/dev/null)" = "Penwick - Note" ] && is_toplevel "$w" && n=$((n + 1))
    done
    echo "$n"
}
# close_editor: Esc in the editor, until it is gone.
close_editor() {
    local w
    w=$(editor) || return 0
    focus_window "$w" || e2e_log "the editor did not get the focus"
    press Escape
    wait_for '! editor >/dev/null' 10
}
# act_on_notification: dunst's "do action" on the one notification shown,
# which the program then closes (dunst keeps it otherwise).
act_on_notification() {
    wait_for '[ "$(x dunstctl count displayed 2>/dev/null)" = 1 ]' 10 || fatal "dunst shows one notification"
    x dunstctl action 0 || fatal "dunstctl action"
    check "the program closes the notification it acted on" \
        wait_for '[ "$(x dunstctl count displayed 2>/dev/null)" = 0 ]' 10
}

# --- "Snooze 10 min", the window hidden -------------------------------------
wait_for 'notify_records "$notify_log" | grep -q "Tea is ready"' 25 || fatal "the alarm notification within 25 s"
check "a one-time alarm's notification offers Open, Done and Snooze 10 min" \
    eval '[ "$(actions_of "Tea is ready")" = "array [ string \"default\" string \"Open\" string \"done\" string \"Done\" string \"snooze\" string \"Snooze 10 min\" ]" ]'
check "the window is hidden" eval '! window_mapped $pid >/dev/null'
before=$(date +%s)
act_on_notification
after=$(date +%s)
check "Snooze re-arms the one-time alarm (state 2, kind 0, no acknowledgement)" \
    wait_for '[ "$(alarm_of 1)" = "2 0 none" ]' 10
moment=$(db_value "$db" "(SELECT AlarmData || ' ' || SUBSTRING(AlarmGodzina FROM 1 FOR 5) FROM NOTATKI WHERE ID = 1)")
at=$(date -d "$moment" +%s 2>/dev/null || echo 0)
check "for ten minutes later, rounded up to the minute ($moment)" \
    eval '[ $((at - before)) -ge 600 ] && [ $((at - after)) -le 660 ] && [ $((at % 60)) = 0 ]'
check "the window stays hidden" eval '! window_mapped $pid >/dev/null'

# The next pass fires a daily alarm, for "Done".
db_query "$db" "INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (3, 'Stand-up', 'Daily', '$(date '+%Y-%m-%d %H:%M:%S')', 2, 1, '${due% *}', '00:00'); COMMIT;" \
    >>"$E2E_STATE/seed.log" 2>&1

# --- the door's methods ------------------------------------------------------
win=""
window show
check "window show answers" [ "$ctl_rc" = 0 ]
check "window show shows the main window" wait_for 'win=$(window_mapped $pid)' 10
window toggle
check "window toggle hides it" wait_for '! window_mapped $pid >/dev/null' 10
window toggle
check "window toggle shows it again, with the focus" \
    wait_for 'win=$(window_mapped $pid) && [ "$(focused_window)" = "$win" ]' 10

window open 2
check "window open 2 answers" [ "$ctl_rc" = 0 ]
wait_for '[ "$(focused_window)" = "$win" ]' 10
# F2 opens the selected note; opening the running alarm acknowledges it.
press F2
check "window open 2 selects note 2: F2 opens it (acknowledged)" wait_for '[ "$(alarm_of 2 | cut -d" " -f1)" = 3 ]' 10
close_editor || fail "Esc closes the editor"
window open 99
check "window open of a note that is not there fails: $ctl_err" \
    eval '[ "$ctl_rc" = 1 ] && [ "$ctl_err" = "penwickctl: there is no note 99" ]'
window open twelve
check "window open of a word is a wrong call" [ "$ctl_rc" = 2 ]

window new-note
first=""
check "window new-note opens the editor for a new note" wait_for 'first=$(editor)' 10
# The focus elsewhere, so that the second call shows where it went. (The
# pointer's move gives the program a time later than that change: without a
# window manager the server refuses a focus request older than the focus.)
x xdotool windowfocus "$win" >/dev/null 2>&1
wait_for '[ "$(focused_window)" = "$win" ]' 5 || e2e_log "the main window did not get the focus"
x xdotool mousemove --sync --window "$win" 30 30 >/dev/null 2>&1
window new-note
check "a second window new-note brings up the open editor" \
    wait_for '[ "$(focused_window)" = "$first" ] && [ "$(editor_count)" = 1 ]' 10
close_editor || fail "Esc closes the editor"

# --- "Done", under an open editor ---------------------------------------------
wait_for 'notify_records "$notify_log" | grep -q "Stand-up"' 25 || fatal "the daily alarm's notification"
check "a daily alarm's notification offers Open and Done only" \
    eval '[ "$(actions_of "Stand-up")" = "array [ string \"default\" string \"Open\" string \"done\" string \"Done\" ]" ]'
window new-note
wait_for 'first=$(editor)' 10 || fatal "the editor opens again"
act_on_notification
check "Done acknowledges the daily alarm under the open editor" \
    wait_for '[ "$(alarm_of 3 | cut -d" " -f1-2)" = "3 1" ] && [ "$(alarm_of 3 | cut -d" " -f3)" != none ]' 10
check "the editor stays open, alone" eval '[ "$(editor)" = "$first" ] && [ "$(editor_count)" = 1 ]'
screenshot "$E2E_STATE/door.png"
close_editor || fail "Esc closes the editor"

# --- a second copy, and none ---------------------------------------------------
names_log="$E2E_STATE/names.log"
dbus-monitor --session "type='method_call',member='RequestName'" </dev/null >"$names_log" 2>&1 &
E2E_MONITOR_PIDS+=("$!")
wait_for "grep -q 'member=NameLost' '$names_log'" 5 || fatal "watch RequestName calls"
start_program "$E2E_STATE" "$app" penwick-second.log
second=$E2E_APP_PID
E2E_APP_PID=$pid
E2E_MONITOR_PIDS+=("$second")
wait_for 'grep -q "string \"$bus_name\"" "$names_log"' 20 || fail "the second copy asks for $bus_name"
check "a second copy leaves the door to the first" eval '[ "$(bus_name_owner_pid $bus_name)" = "$pid" ]'
stop_pid "$second"

kill -TERM "$pid"
wait_exit "$pid" 10 || fail "SIGTERM ends the program"
window show
check "with no copy running, window show fails: $ctl_err" \
    eval '[ "$ctl_rc" = 1 ] && [ "$ctl_err" = "penwickctl: no copy of Penwick is running" ]'
exit "$((E2E_FAILS > 0))"
