#!/usr/bin/env bash
# End to end: while the note editor is open, the tray icon still toggles the main
# window and its menu still opens; "Close" from it cancels the editor and ends the
# program in order (status 0, window state stored, the typed note not saved).
#   bash tests/e2e/tray_under_dialog.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init

e2e_prepare_app "$1" "$2"
desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"

# editor_of PID: the program's shown note editor (its title starts "Penwick - Note").
editor_of() {
    local w
    for w in $(x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        case "$(x xdotool getwindowname "$w" 2>/dev/null)" in
            "Penwick - Note"*) is_toplevel "$w" && { echo "$w"; return 0; } ;;
        esac
    done
    return 1
}

start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID
icon=""
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded under trayer's panel"
pass "tray icon embedded (window $icon)"

# Tray "New note" while the window is hidden: the window shows, then the editor.
click_window "$icon" 3
menu=""
wait_for 'menu=$(popup_menu_of $pid)' 5 || fatal "right click on the tray icon opens the menu"
sleep 0.2
# From no selection Down lands on "Open", the next one on "New note".
press Down Down Return
editor=""
wait_for 'editor=$(editor_of $pid)' 10 || fatal "tray New note opens the editor"
pass "tray New note opens the editor (window $editor)"
win=""
check "tray New note shows the main window too" wait_for 'win=$(window_mapped $pid)' 5
focus_window "$editor" || e2e_log "the editor did not get the focus"
press u n s a v e d
park_pointer

# A left click on the tray icon still toggles the main window under the editor.
click_window "$icon" 1
park_pointer
check "a left click on the tray icon hides the main window while the editor is open" \
    wait_for '[ "$(map_state $win)" != IsViewable ]' 5
# Apart by more than the double-click interval (400 ms), or it is a double click.
sleep 0.6
click_window "$icon" 1
park_pointer
check "a second left click shows it again, the editor still open" \
    wait_for '[ "$(map_state $win)" = IsViewable ] && editor_of $pid >/dev/null' 5
screenshot "$E2E_STATE/under_editor.png"

click_window "$icon" 3
wait_for 'menu=$(popup_menu_of $pid)' 5 || fatal "right click on the tray icon opens the menu while the editor is open"
pass "right click on the tray icon opens the menu while the editor is open (window $menu)"
sleep 0.2
# Up from no selection lands on the last item, Close.
press Up Return
if wait_exit "$pid" 5; then
    pass "tray Close under the editor ends the program within 5 s"
    check "the program ends with status 0 (got $E2E_EXIT)" [ "$E2E_EXIT" = 0 ]
else
    fatal "tray Close under the editor ends the program within 5 s"
fi

for name in FormMainWidth FormMainHeight FormMainTop FormMainLeft TytulSzerokosc DataSzerokosc; do
    value=$(db_setting "$db" "$name")
    check "USTAWIENIA $name stored once (got '${value//$'\n'/,}')" eval '[[ "$value" =~ ^-?[0-9]+$ ]]'
done
notes=$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI)")
check "the cancelled editor saved nothing (notes: $notes)" [ "$notes" = 0 ]

exit "$((E2E_FAILS > 0))"
