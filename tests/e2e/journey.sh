#!/usr/bin/env bash
# End to end, one short day on each kind of desktop: the program starts, its
# window comes up from the tray (or is shown at start where there is none), a
# new note is saved, a due alarm is announced, File > Close ends it.
#   bash tests/e2e/journey.sh xembed|sni|notray|wayland PENWICK_BINARY SCHEMA_SQL
# The screen after the alarm is saved as journey-FORM.png in $E2E_ARTIFACTS
# (default: the state folder, which goes after a pass).
set -u
[ $# -eq 3 ] || { echo "usage: $0 xembed|sni|notray|wayland PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }
form=$1
# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
case $form in
    xembed) export E2E_WM=${E2E_WM:-xfwm4} ;;
    sni | notray) export E2E_WM=${E2E_WM:-openbox} ;;
    wayland) ;;
    *) echo "unknown desktop $form" >&2 && exit 2 ;;
esac
e2e_init
artifacts=${E2E_ARTIFACTS:-$E2E_STATE}
mkdir -p "$artifacts"
e2e_prepare_app "$2" "$3"
due=$(date -d '1 minute ago' '+%Y-%m-%d %H:%M')
db_query "$db" "SET GENERATOR GenNotka TO 10;
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (1, 'Due note', 'Call the plumber', '2024-05-01 10:00:00', 2, 0, '${due% *}', '${due#* }'); COMMIT;" \
    >"$E2E_STATE/seed.log" 2>&1
desktop_start "$E2E_STATE/desktop" "$form" || fatal "start the headless desktop ($form)"
start_dbus_monitor "$E2E_STATE/notify.log" || fatal "watch Notify calls on the private bus"
start_program "$E2E_STATE" "$app" penwick.log
pid=$E2E_APP_PID
title="Journey note $form"
win=""

# --- the window, the way this desktop offers it
case $form in
    xembed)
        icon=""
        wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded under trayer's panel"
        click_window "$icon" 1
        park_pointer
        check "a click on the tray icon shows the window" wait_for 'win=$(window_mapped $pid)' 10
        ;;
    sni)
        item=""
        wait_for 'item=$(sni_item_of $pid)' 15 || fatal "the program registers its item with the host"
        pass "the program's item is registered ($item)"
        x dbus-send --session --print-reply --dest="$item" /StatusNotifierItem org.kde.StatusNotifierItem.Activate int32:0 int32:0 >/dev/null
        check "activating the item shows the window" wait_for 'win=$(window_mapped $pid)' 10
        ;;
    notray)
        wait_for 'win=$(window_mapped $pid)' 15 || fatal "without a tray the window is shown at start"
        pass "without a tray the window is shown at start"
        check "it has a taskbar entry" eval '! net_wm_state "$win" | grep -q SKIP_TASKBAR'
        focus_window "$win" || e2e_log "the window did not get the focus"
        press Escape
        check "Escape minimises it" wait_for 'x xprop -id $win WM_STATE | grep -q Iconic' 10
        # As a taskbar does.
        x xdotool windowactivate "$win" >/dev/null 2>&1
        check "the taskbar brings it back" wait_for '[ "$(map_state $win)" = IsViewable ]' 10
        ;;
    wayland)
        wait_for 'a11y $pid showing frame Penwick' 20 || fatal "without a tray the window is shown at start"
        pass "without a tray the window is shown at start"
        check "the program runs on Qt's Wayland plugin" grep -q libqwayland "/proc/$pid/maps"
        ;;
esac

# A fresh start places the frame 40 pixels from the screen's right edge and 60
# from its bottom.
placed_at_default() {
    local gx gy w h l r t b sw sh
    read -r gx gy w h <<<"$(geometry "$1")"
    read -r l r t b <<<"$(x xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
    read -r sw sh <<<"$(x xdpyinfo | awk '/dimensions:/ { sub("x", " ", $2); print $2 }')"
    [ -n "$b" ] && [ $((gx - l)) -eq $((sw - (w + l + r) - 40)) ] && [ $((gy - t)) -eq $((sh - (h + t + b) - 60)) ]
}
[ "$form" = wayland ] || check "the window opens at the lower right" wait_for 'placed_at_default $win' 5

# --- a new note
notes_titled() { db_value "$db" "(SELECT COUNT(*) FROM NOTATKI WHERE Tytul = '$title')"; }
if [ "$form" = wayland ]; then
    a11y "$pid" press "menu item" "New note"
    check "File > New note opens the editor" wait_for 'a11y $pid showing dialog "Penwick - Note"' 10
    a11y "$pid" settext text Title "$title"
    a11y "$pid" press "push button" OK
else
    [ -n "$win" ] || fatal "no window to work in"
    focus_window "$win" || e2e_log "the window did not get the focus"
    press Insert
    editor=""
    check "Insert opens the editor" wait_for 'editor=$(window_titled $pid "Penwick - Note" $win)' 10
    focus_window "$editor" || e2e_log "the editor did not get the focus"
    press ctrl+a
    x xdotool type --delay 20 "$title"
    press Return
fi
check "the note is saved" wait_for '[ "$(notes_titled)" = 1 ]' 10

# --- the alarm
summary="Penwick A L A R M"
check "the due alarm is announced" \
    wait_for 'notify_records "$E2E_STATE/notify.log" | grep -q "^$summary	.*Due note"' 15
check "and marked running" wait_for '[ "$(db_value "$db" "(SELECT Alarm FROM NOTATKI WHERE ID = 1)")" = 1 ]' 10
[ "$form" = wayland ] || park_pointer
screenshot "$artifacts/journey-$form.png"

# --- File > Close (from no selection, Up lands on the last item, Close)
if [ "$form" = wayland ]; then
    a11y "$pid" press "menu item" Close
else
    focus_window "$win" || e2e_log "the window did not get the focus"
    press alt+f Up Return
fi
check "File > Close ends the program" eval 'wait_exit $pid 15 && [ "$E2E_EXIT" = 0 ]'
check "the window's size was saved" eval '[ -n "$(db_setting "$db" FormMainWidth)" ]'
exit "$((E2E_FAILS > 0))"
