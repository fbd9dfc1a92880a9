#!/usr/bin/env bash
# End to end, under a window manager (E2E_WM, xfwm4 unless set), with another
# program's window open: closing each of the program's dialogs and message
# boxes gives the keyboard focus back to the window it came from (the main
# window, or the editor for its own message), so the next key reaches it.
#   bash tests/e2e/focus_return.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
E2E_DEADLINE=${E2E_DEADLINE:-80}
dialogs_desktop "$1" "$2"

# Another program's window, where a window manager likes to put the focus.
xmessage -geometry 320x120+60+60 "another program" </dev/null >"$E2E_STATE/xmessage.log" 2>&1 &
E2E_MONITOR_PIDS+=("$!")
other=""
wait_for 'other=$(x xdotool search --onlyvisible --class Xmessage 2>/dev/null | head -n1); [ -n "$other" ]' 10 ||
    fatal "another program's window opens"

start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID
icon="" win=""
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded"
click_window "$icon" 1
park_pointer
wait_for 'win=$(window_mapped $pid)' 10 || fatal "the tray icon shows the main window"

# closes KEY...: closes what is open with each KEY in turn; after each the
# focus is back on the window the closed one came from.
closes() {
    local key
    for key in "$@"; do
        press "$key"
        check "$dialog: closed with $key, the focus is back on the window it came from" \
            wait_for '[ "$(focused_window)" = "$OPENER" ]' 5
        OPENER=$win
    done
}

# The editor twice: closed by Esc, and by OK, which saves the note.
for dialog in $E2E_DIALOGS editor-ok; do
    # From the other program each time, as a user goes back and forth.
    focus_window "$other" || e2e_log "the other program's window did not get the focus"
    open_dialog "${dialog%-ok}" "$pid" "$win" || fatal "$dialog: opens and takes the focus"
    case $dialog in
        editor-ok) closes Return ;;
        message) closes Return Escape ;;
        *) closes Escape ;;
    esac
done
check "OK in the editor saved its note" eval '[ "$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI)")" = 2 ]'
press Escape
check "the next Esc reaches the main window and hides it" wait_for '[ "$(map_state $win)" != IsViewable ]' 5
exit "$((E2E_FAILS > 0))"
