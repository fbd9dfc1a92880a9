#!/usr/bin/env bash
# End to end: the program finds the publicity flag on the reference web service
# shortly after start and opens the publicity window in its own process,
# centred; File > Close ends that process, and so does a SIGKILL of the program.
#   bash tests/e2e/publicity_program.sh PENWICK_BINARY SCHEMA_SQL
# E2E_ARTIFACTS=DIR keeps the screenshot publicity.png there.
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init

e2e_prepare_app "$1" "$2"
cp "$(dirname "$(realpath "$1")")/penwick-publicity" "$app/" || fatal "copy the publicity program"
desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
serve_reference_service "$E2E_STATE/service"
export PENWICK_ONLINE_DELAY_MS=500
# The web engine refuses its sandbox to root.
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

# publicity_pid PID: the publicity program started by PID.
publicity_pid() { pgrep -P "$1" -f penwick-publicity | head -n 1 | grep .; }
# publicity_window PID: its shown window titled "Publicity".
publicity_window() {
    local w
    for w in $(x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        [ "$(x xdotool getwindowname "$w" 2>/dev/null)" = Publicity ] && is_toplevel "$w" && { echo "$w"; return 0; }
    done
    return 1
}

for ending in close kill; do
    start_program "$E2E_STATE" "$app" "penwick.$ending.log"
    pid=$E2E_APP_PID
    icon=""
    wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded under trayer's panel"
    child=""
    wait_for 'child=$(publicity_pid $pid)' 30 || fatal "the program starts the publicity window's process"
    win=""
    wait_for 'win=$(publicity_window $child)' 60 || fatal "the publicity window shows"
    pass "the publicity window shows (process $child, window $win)"
    if [ "$ending" = close ]; then
        read -r px py pw ph <<<"$(geometry "$win")"
        read -r sw sh <<<"$(x xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')"
        check "the window is 519 x 460" [ "$pw $ph" = "519 460" ]
        check "the window is centred ($px,$py on ${sw}x$sh)" \
            eval '(( px == (sw - pw) / 2 && py == (sh - ph) / 2 ))'
        sleep 1
        [ -n "${E2E_ARTIFACTS:-}" ] && mkdir -p "$E2E_ARTIFACTS" && screenshot "$E2E_ARTIFACTS/publicity.png"
        click_window "$icon" 1
        park_pointer
        main=""
        wait_for 'main=$(window_mapped $pid)' 10 || fatal "a click on the tray icon shows the main window"
        close_from_file_menu "$main"
        check "File > Close ends the program" wait_exit "$pid" 10
    else
        kill -KILL "$pid"
    fi
    check "the publicity process ends with the program ($ending)" wait_for "! kill -0 $child 2>/dev/null" 2
done
exit "$((E2E_FAILS > 0))"
