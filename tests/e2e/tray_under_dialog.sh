#!/usr/bin/env bash
# End to end, under a window manager (E2E_WM, xfwm4 unless set): for each of the
# program's dialogs and message boxes, while it is open the tray icon still
# toggles the main window and its menu still opens; "Close" from it cancels the
# dialog and ends the program in order (status 0, window state stored, nothing
# typed saved). No dialog has a taskbar entry; each carries the program's icon.
#   bash tests/e2e/tray_under_dialog.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
# One start of the program for each dialog.
E2E_DEADLINE=${E2E_DEADLINE:-150}
dialogs_desktop "$1" "$2"

for dialog in $E2E_DIALOGS; do
    db_query "$db" "DELETE FROM USTAWIENIA; COMMIT;" >/dev/null 2>&1
    start_program "$E2E_STATE" "$app" "penwick.$dialog.log"
    pid=$E2E_APP_PID icon="" win=""
    wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "$dialog: tray icon embedded"
    click_window "$icon" 1
    clicked=$(_e2e_now_ms)
    park_pointer
    wait_for 'win=$(window_mapped $pid)' 10 || fatal "$dialog: the tray icon shows the main window"
    open_dialog "$dialog" "$pid" "$win" || fatal "$dialog: opens and takes the focus"
    check "$dialog: no taskbar entry" eval 'net_wm_state $DIALOG | grep -q _NET_WM_STATE_SKIP_TASKBAR'
    check "$dialog: carries the program's icon" has_icon "$DIALOG"

    # Clicks apart by more than the double-click interval.
    clicks_apart "$clicked"
    click_window "$icon" 1
    clicked=$(_e2e_now_ms)
    park_pointer
    check "$dialog: a click on the tray icon hides the main window" wait_for '[ "$(map_state $win)" != IsViewable ]' 5
    clicks_apart "$clicked"
    click_window "$icon" 1
    park_pointer
    check "$dialog: a second click shows it again, the dialog still open" \
        wait_for '[ "$(map_state $win)" = IsViewable ] && [ "$(map_state $DIALOG)" = IsViewable ]' 5

    click_window "$icon" 3
    wait_for 'popup_menu_of $pid >/dev/null' 5 || fatal "$dialog: the tray menu opens"
    # The menu takes keys once it has grabbed the keyboard. Up from no
    # selection lands on the last item, Close.
    sleep 0.2
    press Up Return
    # An icon that shows up under the resting pointer misses its first click.
    park_pointer
    wait_exit "$pid" 5 || fatal "$dialog: tray Close ends the program within 5 s"
    check "$dialog: tray Close ends the program with status 0 (got $E2E_EXIT)" [ "$E2E_EXIT" = 0 ]
    stored=0
    for name in FormMainWidth FormMainHeight FormMainTop FormMainLeft TytulSzerokosc DataSzerokosc; do
        [[ "$(db_setting "$db" "$name")" =~ ^-?[0-9]+$ ]] && stored=$((stored + 1))
    done
    check "$dialog: the window state is stored ($stored of 6 settings)" [ "$stored" = 6 ]
    notes=$(db_value "$db" "(SELECT COUNT(*) FROM NOTATKI)")
    check "$dialog: cancelled, it changed no note (notes: $notes)" [ "$notes" = 1 ]
done

exit "$((E2E_FAILS > 0))"
