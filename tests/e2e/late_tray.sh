#!/usr/bin/env bash
# End to end: on a desktop without a notification area the main window shows at
# start and Esc only minimises it; once a tray host appears, the icon embeds and
# Esc hides the window as usual.
#   bash tests/e2e/late_tray.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init

e2e_prepare_app "$1" "$2"

E2E_NO_TRAYER=1 desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"

root_log="$E2E_STATE/root-events.log"
start_root_watch "$root_log"
start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID
win=""
wait_for 'win=$(window_mapped $pid)' 15 || fatal "without a tray the main window shows at start"
pass "without a tray the main window shows at start (window $win)"
screenshot "$E2E_STATE/no_tray.png"

# Minimising needs a window manager, and there is none: the window stays mapped,
# which tells a minimise from a hide. The program handles its input in order:
# once a click after the key has opened the File menu, the key was handled.
wait_for 'grep -q "^MapNotify event" "$root_log"' 15 || fatal "the root window is watched"
focus_window "$win" || e2e_log "the main window did not get the focus"
press Escape
click_menu_bar "$win"
menu=""
wait_for 'menu=$(popup_menu_of $pid)' 10 || fatal "a click on the menu bar after Escape opens the File menu"
check "without a tray Escape does not hide the window" eval '! was_unmapped "$root_log" $win && [ "$(map_state $win)" = IsViewable ]'
check "the program still runs" _e2e_alive "$pid"
# Escape closes the menu once it holds the keyboard; until then the key only
# minimises the window again, which changes nothing.
menu_closed() { [ -z "$(popup_menu_of $pid)" ]; }
press Escape
wait_for menu_closed 3 || { press Escape; wait_for menu_closed 3; } || { press Escape; wait_for menu_closed 5; }
check "Escape closes the File menu" menu_closed

start_trayer || fatal "start the tray host"
icon=""
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "the tray icon embeds once a tray host appears"
pass "the tray icon embeds once a tray host appears (window $icon)"
# The program takes to the tray on its own poll, after Qt has embedded the icon;
# then the minimised window goes away. Click only once that has happened, on
# the icon where trayer finally put it.
check "with a tray the minimised window is put away" wait_for '[ -z "$(window_mapped $pid)" ]' 15
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "the tray icon is still embedded"

click_window "$icon" 1
park_pointer
wait_for 'win=$(window_mapped $pid)' 10 || fatal "a click on the new tray icon shows the main window"
pass "a click on the new tray icon shows the main window"
focus_window "$win" || e2e_log "the main window did not get the focus"
press Escape
check "with the tray Escape hides the main window" wait_for '[ -z "$(window_mapped $pid)" ]' 15

kill -TERM "$pid"
check "SIGTERM ends the program" wait_exit "$pid" 10

exit "$((E2E_FAILS > 0))"
