#!/usr/bin/env bash
# End to end: the tray icon shows and hides the main window, the window size is
# saved when the program is closed from the tray menu, and settings are saved on SIGTERM.
#   bash tests/e2e/tray_window_state.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init

e2e_prepare_app "$1" "$2"
settings="FormMainTop FormMainLeft FormMainWidth FormMainHeight TytulSzerokosc DataSzerokosc"

desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"

# --- first run: window shown and hidden from the tray, resized, closed from the menu
start_program "$E2E_STATE" "$app" penwick.1.log
pid=$E2E_APP_PID
e2e_log "program started, pid $pid"

icon=""
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded under trayer's panel"
pass "tray icon embedded under trayer's panel (window $icon)"

click_window "$icon" 1
first_click_ms=$(_e2e_now_ms)
park_pointer
win=""
wait_for 'win=$(window_mapped $pid)' 10 || fatal "left click on the tray icon shows the main window titled Penwick"
pass "left click on the tray icon shows the main window titled Penwick (window $win)"
screenshot "$E2E_STATE/window_shown.png"

focus_window "$win" || e2e_log "the main window did not get the focus"
press Escape
check "Escape hides the main window" wait_for '[ "$(map_state $win)" != IsViewable ]' 15

# Two clicks on the icon closer together than the double-click time are one
# double click, which the program leaves alone: this is input spacing, not a
# wait for the program.
clicks_apart "$first_click_ms"
click_window "$icon" 1
park_pointer
wait_for 'win=$(window_mapped $pid)' 10 || fatal "a second left click on the tray icon shows the main window again"
pass "a second left click on the tray icon shows the main window again"

x xdotool windowsize "$win" 420 520
check "the main window takes the size 420x520" \
    wait_for '[ "$(geometry $win | cut -d" " -f3,4)" = "420 520" ]' 15
# The program reads the new size before the keys that follow: X delivers in order.

focus_window "$win" || e2e_log "the main window did not get the focus"
press Escape
check "Escape hides the resized main window" wait_for '[ "$(map_state $win)" != IsViewable ]' 15

click_window "$icon" 3
menu=""
wait_for 'menu=$(popup_menu_of $pid)' 15 || fatal "right click on the tray icon opens the menu"
pass "right click on the tray icon opens the menu (window $menu, geometry $(geometry "$menu"))"
screenshot "$E2E_STATE/tray_menu.png"
# Close is the last item: a click near the menu's bottom edge, which needs no
# keyboard grab to have been taken yet.
set -- $(geometry "$menu")
x xdotool mousemove --sync $(( $1 + $3 / 2 )) $(( $2 + $4 - 8 )) click 1
if wait_exit "$pid" 10; then
    pass "Close in the tray menu ends the program"
    check "the program ends with status 0 after Close (got $E2E_EXIT)" [ "$E2E_EXIT" = 0 ]
else
    fatal "Close in the tray menu ends the program"
fi

width=$(db_setting "$db" FormMainWidth)
height=$(db_setting "$db" FormMainHeight)
check "USTAWIENIA FormMainWidth is 420 (got '${width//$'\n'/,}')" [ "$width" = 420 ]
check "USTAWIENIA FormMainHeight is 520 (got '${height//$'\n'/,}')" [ "$height" = 520 ]
for name in FormMainTop FormMainLeft TytulSzerokosc DataSzerokosc; do
    value=$(db_setting "$db" "$name")
    check "USTAWIENIA $name exists (got '${value//$'\n'/,}')" [ -n "$value" ]
done

# --- second run: nothing changed, ended by SIGTERM; the settings must be written again.
# Remove them while no program runs, so only a save at SIGTERM can bring them back.
db_query "$db" "DELETE FROM USTAWIENIA; COMMIT;" >"$E2E_STATE/delete.log" 2>&1
left=$(db_value "$db" "(SELECT COUNT(*) FROM USTAWIENIA)")
[ "$left" = 0 ] || fatal "empty USTAWIENIA before the second run (still $left rows)"

start_program "$E2E_STATE" "$app" penwick.2.log
pid=$E2E_APP_PID
e2e_log "program started again, pid $pid"
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded again on the second run"
pass "tray icon embedded again on the second run"
kill -TERM "$pid"
if wait_exit "$pid" 10; then
    pass "SIGTERM ends the program"
    # A handler may quit normally or re-raise the signal; anything else is a crash.
    check "the program ends cleanly on SIGTERM (status $E2E_EXIT)" \
        eval '[ "$E2E_EXIT" = 0 ] || [ "$E2E_EXIT" = 143 ]'
else
    fatal "SIGTERM ends the program"
fi
for name in $settings; do
    value=$(db_setting "$db" "$name")
    check "USTAWIENIA $name written again at SIGTERM (got '${value//$'\n'/,}')" [ -n "$value" ]
done
width=$(db_setting "$db" FormMainWidth)
height=$(db_setting "$db" FormMainHeight)
check "FormMainWidth and FormMainHeight written at SIGTERM are positive numbers" \
    eval '[[ "$width" =~ ^[1-9][0-9]*$ && "$height" =~ ^[1-9][0-9]*$ ]]'

[ "$E2E_FAILS" = 0 ] || echo "screenshot of the shown window: $E2E_STATE/window_shown.png"
exit "$((E2E_FAILS > 0))"
