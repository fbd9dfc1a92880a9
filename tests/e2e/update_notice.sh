#!/usr/bin/env bash
# End to end: with the reference web service publishing version 3.1, the update
# notice fades in at the bottom-right of the screen shortly after start, Info >
# About... opens the about dialog, and after File > Close no downloaded file is
# left; with 3.0 published no notice shows, and SIGTERM leaves no file either.
#   bash tests/e2e/update_notice.sh PENWICK_BINARY SCHEMA_SQL
# The screenshots update_notice.png and about_dialog.png are kept in
# $E2E_ARTIFACTS when it is set (otherwise they go with the state folder).
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init

artifacts=${E2E_ARTIFACTS:-$E2E_STATE}
mkdir -p "$artifacts"

e2e_prepare_app "$1" "$2"
desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
downloads="$XDG_RUNTIME_DIR/penwick"
service="$E2E_STATE/service"
serve_reference_service "$service"
printf '3.1\n' >"$service/app/penwick/update/vx.ver"
export PENWICK_ONLINE_DELAY_MS=1000
version_requests() { grep -c '"GET /app/penwick/update/vx.ver HTTP/1.1" 200' "$http_log"; }

# notice_of PID: the shown update notice of PID.
notice_of() {
    local w
    for w in $(x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        # Qt adds the application's name to the title it gives the window.
        case "$(x xdotool getwindowname "$w" 2>/dev/null)" in "Pellago - Aktualizacja"*) ;; *) continue ;; esac
        echo "$w"
        return 0
    done
    return 1
}

# window_titled PID TITLE: a shown top-level window of PID whose title starts with TITLE.
window_titled() {
    local w
    for w in $(x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        case "$(x xdotool getwindowname "$w" 2>/dev/null)" in "$2"*) ;; *) continue ;; esac
        is_toplevel "$w" && { echo "$w"; return 0; }
    done
    return 1
}

# alpha WID: the window's opacity on the 0..255 scale, as the program set it.
alpha() {
    x xprop -id "$1" _NET_WM_WINDOW_OPACITY 2>/dev/null |
        awk -F' = ' '/CARDINAL/ { printf "%d\n", $2 / 16843009 + 0.5 }'
}

leftovers() { ls -A "$downloads" 2>/dev/null | grep -E '^(vx\.ver|isPublicity2\.info)$'; }

# --- first run: version 3.1 is published
start_program "$E2E_STATE" "$app" penwick.1.log
pid=$E2E_APP_PID
e2e_log "program started, pid $pid"
icon=""
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded under trayer's panel"

notice=""
wait_for 'notice=$(notice_of $pid)' 20 || fatal "the update notice shows within seconds of the online delay"
pass "the update notice shows (window $notice)"
read -r nx ny nw nh <<<"$(geometry "$notice")"
read -r sw sh <<<"$(x xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')"
e2e_log "notice at $nx,$ny size ${nw}x$nh on a ${sw}x$sh screen"
check "the notice is 291 x 81" [ "$nw $nh" = "291 81" ]
check "the notice sits at the bottom-right corner (gaps $((sw - nx - nw)), $((sh - ny - nh)))" \
    eval '(( sw - nx - nw >= 0 && sw - nx - nw <= 40 && sh - ny - nh >= 0 && sh - ny - nh <= 60 ))'
check "the notice fades in to opacity 250 of 255" wait_for '[ "$(alpha $notice)" = 250 ]' 10
check "the version file was downloaded into the private folder" [ -f "$downloads/vx.ver" ]
check "the private folder is closed to others" [ "$(stat -c %a "$downloads")" = 700 ]
screenshot "$artifacts/update_notice.png"

click_window "$icon" 1
park_pointer
win=""
wait_for 'win=$(window_mapped $pid)' 10 || fatal "a click on the tray icon shows the main window"
focus_window "$win" || e2e_log "the main window did not get the focus"
read -r wx wy _ _ <<<"$(geometry "$win")"
# The menu bar: "File", then "Info" right beside it.
x xdotool mousemove --sync $((wx + 52)) $((wy + 10)) click 1
sleep 0.3
press Down Return
about=""
if wait_for 'about=$(window_titled $pid "Penwick - About")' 10; then
    pass "Info > About... opens the about dialog (window $about)"
    park_pointer
    check "the about dialog is 456 x 198" eval '[ "$(geometry $about | cut -d" " -f3,4)" = "456 198" ]'
    sleep 0.3
    screenshot "$artifacts/about_dialog.png"
    focus_window "$about" || e2e_log "the about dialog did not get the focus"
    press Return
    check "Enter closes the about dialog" wait_for '[ "$(map_state $about)" != IsViewable ]' 5
else
    fail "Info > About... opens the about dialog"
fi

focus_window "$win" || e2e_log "the main window did not get the focus"
press Escape
check "Escape hides the main window" wait_for '[ "$(map_state $win)" != IsViewable ]' 5
check "hiding the window deletes no downloaded file" [ -f "$downloads/vx.ver" ]

click_window "$icon" 1
park_pointer
wait_for 'win=$(window_mapped $pid)' 10 || fatal "the main window shows again"
close_from_file_menu "$win"
if wait_exit "$pid" 10; then
    pass "File > Close ends the program"
else
    fatal "File > Close ends the program"
fi
check "after File > Close no downloaded file remains (found: $(leftovers | paste -sd' '))" [ -z "$(leftovers)" ]

# --- second run: version 3.0 is published
printf '3.0\n' >"$service/app/penwick/update/vx.ver"
before=$(version_requests)
start_program "$E2E_STATE" "$app" penwick.2.log
pid=$E2E_APP_PID
e2e_log "program started again, pid $pid"
wait_for '[ "$(version_requests)" -gt "$before" ] && [ -f "$downloads/vx.ver" ]' 20 \
    || fatal "the second run downloads the version file"
pass "the second run downloads the version file"
# The notice would show in the same turn that wrote the file; give the X server a moment.
sleep 1
check "with 3.0 published no notice shows" eval '[ -z "$(notice_of $pid)" ]'
kill -TERM "$pid"
wait_exit "$pid" 10 || fatal "SIGTERM ends the program"
check "after SIGTERM no downloaded file remains (found: $(leftovers | paste -sd' '))" [ -z "$(leftovers)" ]

exit "$((E2E_FAILS > 0))"
