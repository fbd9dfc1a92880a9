#!/usr/bin/env bash
# End to end: every window's title reaches the window manager exactly as the
# program sets it ("Penwick - Note", not "Penwick - Note — Penwick").
#   bash tests/e2e/window_titles.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init
e2e_prepare_app "$1" "$2"

seed_note "$db"

desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"

# wm_name WID PROPERTY: the text of a window's name property as the window manager reads it.
wm_name() {
    x xprop -id "$1" "$2" 2>/dev/null | sed -n 's/^[^=]*= "\(.*\)"$/\1/p'
}

# dialog_of PID MAIN: a shown top-level window of PID other than its main window.
dialog_of() {
    local w
    for w in $(x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        [ "$w" = "$2" ] && continue
        is_toplevel "$w" || continue
        is_override_redirect "$w" && continue
        [ "$(map_state "$w")" = IsViewable ] || continue
        echo "$w"
        return 0
    done
    return 1
}

# check_titles WID TITLE: both name properties hold exactly TITLE.
check_titles() {
    local w=$1 title=$2 net plain
    net=$(wm_name "$w" _NET_WM_NAME)
    plain=$(wm_name "$w" WM_NAME)
    check "_NET_WM_NAME is '$title' (got '$net')" [ "$net" = "$title" ]
    check "WM_NAME is '$title' (got '$plain')" [ "$plain" = "$title" ]
}

start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID
icon=""
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded under trayer's panel"
click_window "$icon" 1
park_pointer
win=""
wait_for 'win=$(window_mapped $pid)' 10 || fatal "left click on the tray icon shows the main window"
pass "the main window is shown (window $win)"
check_titles "$win" "Penwick"

# The note editor: File > New note (Ins).
focus_window "$win" || e2e_log "the main window did not get the focus"
press Insert
dialog=""
wait_for 'dialog=$(dialog_of $pid $win)' 10 || fatal "Insert opens the note editor"
pass "Insert opens the note editor (window $dialog)"
check_titles "$dialog" "Penwick - Note"
focus_window "$dialog" || e2e_log "the editor did not get the focus"
press Escape
check "Escape closes the note editor" wait_for '! dialog_of $pid $win >/dev/null' 5

# The delete confirmation: select the note, then File > Delete (Del).
focus_window "$win" || e2e_log "the main window did not get the focus"
# Tab from the search box to the list; Space selects its current row.
press Tab space
press Delete
wait_for 'dialog=$(dialog_of $pid $win)' 10 || fatal "Delete opens the delete confirmation"
pass "Delete opens the delete confirmation (window $dialog)"
check_titles "$dialog" "Penwick - Delete"
focus_window "$dialog" || e2e_log "the delete confirmation did not get the focus"
press Escape
check "Escape closes the delete confirmation" wait_for '! dialog_of $pid $win >/dev/null' 5
check "the note is still there" eval '[ "$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI)")" = 1 ]'

kill -TERM "$pid"
if wait_exit "$pid" 10; then
    pass "SIGTERM ends the program"
else
    fail "SIGTERM ends the program"
fi
exit "$((E2E_FAILS > 0))"
