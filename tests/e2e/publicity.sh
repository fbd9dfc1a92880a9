#!/usr/bin/env bash
# End to end: the publicity window's own process against the local test
# service. It opens centred and above the others and shows the page; the page
# never sees a right-click; its owner ends it, and so does the owner's death.
#   bash tests/e2e/publicity.sh PENWICK_PUBLICITY_BINARY PUBLICITYOWNER_BINARY
# The window as shown is saved as publicity.png in $E2E_ARTIFACTS (default: the
# state folder, which is then kept).
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_PUBLICITY_BINARY PUBLICITYOWNER_BINARY" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
E2E_DEADLINE=${E2E_DEADLINE:-100}
e2e_init
artifacts=${E2E_ARTIFACTS:-$E2E_STATE}
mkdir -p "$artifacts"

# The installed layout: the window's program beside its owner.
app="$E2E_STATE/app"
mkdir -p "$app"
cp "$(realpath "$1")" "$app/penwick-publicity" || fatal "copy penwick-publicity"
cp "$(realpath "$2")" "$app/publicityowner" || fatal "copy publicityowner"

SERVER_PID="" OWNER_PID="" WINDOW_PIDS=()
publicity_cleanup() {
    stop_pid $OWNER_PID ${WINDOW_PIDS[@]+"${WINDOW_PIDS[@]}"} $SERVER_PID
}
trap 'rc=$?; E2E_DEADLINE_MS=""; publicity_cleanup; (exit $rc); e2e_cleanup' EXIT

desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"

requests="$E2E_STATE/requests.log"
: >"$requests"
python3 "$E2E_DIR/publicity_server.py" --log "$requests" </dev/null >"$E2E_STATE/server.out" 2>&1 &
SERVER_PID=$!
wait_for "grep -q '^PORT ' '$E2E_STATE/server.out'" 10 || fatal "the test service starts"
port=$(awk '/^PORT / { print $2 }' "$E2E_STATE/server.out")
page="http://127.0.0.1:$port/app/penwick/publicity2/"

unset QT_QPA_PLATFORMTHEME WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
# The web engine refuses to run its sandbox as root.
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

# start_owner TAG: the owner with a control line on fd 7; sets OWNER_PID and CHILD.
start_owner() {
    local ctl="$E2E_STATE/control.$1"
    rm -f "$ctl"
    mkfifo "$ctl"
    "$app/publicityowner" "$page" <"$ctl" >"$E2E_STATE/owner.$1.log" 2>&1 &
    OWNER_PID=$!
    exec 7>"$ctl"
    CHILD=""
    wait_for 'CHILD=$(ps -o pid= --ppid $OWNER_PID | tr -d " " | head -n1); [ -n "$CHILD" ]' 10 \
        || fatal "the owner starts the window's program ($1)"
    WINDOW_PIDS+=("$CHILD")
}

# publicity_window PID: the shown top-level window titled "Publicity".
publicity_window() {
    local w
    for w in $(x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        [ "$(x xdotool getwindowname "$w" 2>/dev/null)" = Publicity ] && is_toplevel "$w" && { echo "$w"; return 0; }
    done
    return 1
}

seen() { grep -c "$1" "$requests"; }
gone() { ! _e2e_alive "$1"; }
# The window's program and every engine helper it started.
tree_of() { echo "$1"; _e2e_descendants "$1"; }
all_gone() { local p; for p in "$@"; do _e2e_alive "$p" && return 1; done; return 0; }

# --- The window and the page ---------------------------------------------
t0=$(_e2e_now_ms)
start_owner shown
win=""
wait_for 'win=$(publicity_window $CHILD)' 30 || fatal "the window opens"
t_window=$(( $(_e2e_now_ms) - t0 ))
wait_for "[ \$(seen 'event=load&') -ge 1 ]" 30 || fatal "the page loads"
t_page=$(( $(_e2e_now_ms) - t0 ))
pass "the window opens (after $t_window ms) and shows the page (after $t_page ms)"

read -r sw sh < <(x xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
read -r gx gy gw gh < <(geometry "$win")
check "the window is 519 x 460" [ "$gw x $gh" = "519 x 460" ]
check "the window is centred on the screen" [ "$gx $gy" = "$(( (sw - 519) / 2 )) $(( (sh - 460) / 2 ))" ]
check "the window stays above the others" bash -c "xprop -id $win _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE"
check "the window has no taskbar entry" eval 'net_wm_state $win | grep -q _NET_WM_STATE_SKIP_TASKBAR'
check "the window carries the program's icon" has_icon "$win"
check "the user cannot resize the window" \
    bash -c "xprop -id $win WM_NORMAL_HINTS | grep -q 'minimum size: 519 by 460' && xprop -id $win WM_NORMAL_HINTS | grep -q 'maximum size: 519 by 460'"

# Right-click, right double-click, then a left click at the same bare spot of
# the page: once the page reports the left one, it would have reported the others.
px=$(( gx + 8 + 250 )) py=$(( gy + 8 + 370 ))
x xdotool mousemove --sync "$px" "$py" click 3 click --repeat 2 --delay 80 3 click 1
wait_for "[ \$(seen 'event=mousedown&button=0') -ge 1 ]" 15 || fatal "the page sees a left click"
check "the page never sees a right-button press" [ "$(seen 'event=mousedown&button=2')" = 0 ]
check "the page never sees a context-menu request" [ "$(seen 'event=contextmenu')" = 0 ]
menu=$(popup_menu_of "$CHILD")
check "no context menu opens" [ -z "$menu" ]
check "the body shows neither scroll bars nor a border after load" \
    grep -q 'event=mousedown&button=0&style=hidden%20hidden%20none' "$requests"
check "the page's own style asked for both" grep -q 'event=load&style=scroll%20scroll%20solid' "$requests"
park_pointer
screenshot "$artifacts/publicity.png"
check "screenshot of the window saved" [ -s "$artifacts/publicity.png" ]
echo "screenshot of the window for a human look (the page, no scroll bars, no red border): $artifacts/publicity.png"

# What the window's process costs: itself, and with the engine's helpers.
tree=($(tree_of "$CHILD"))
rss_self=$(awk '/^VmRSS:/ { print $2 }' "/proc/$CHILD/status")
rss_all=0 pss_all=0
for p in "${tree[@]}"; do
    r=$(awk '/^VmRSS:/ { print $2 }' "/proc/$p/status" 2>/dev/null) && rss_all=$(( rss_all + ${r:-0} ))
    s=$(awk '/^Pss:/ { print $2 }' "/proc/$p/smaps_rollup" 2>/dev/null) && pss_all=$(( pss_all + ${s:-0} ))
done
e2e_log "publicity process: window after $t_window ms, page after $t_page ms; RSS $(( rss_self / 1024 )) MB," \
    "with ${#tree[@]} processes RSS $(( rss_all / 1024 )) MB, PSS $(( pss_all / 1024 )) MB"

echo end >&7
exec 7>&-
check "the owner's orderly end ends the window's program" wait_for "gone $CHILD" 10
# The owner passes the window's output on, as the tray program does.
check "the window's program wrote nothing to the terminal" eval '[ ! -s "$E2E_STATE/owner.shown.log" ]'
check "the owner's orderly end leaves no engine helper behind" wait_for "all_gone ${tree[*]}" 10
wait_exit "$OWNER_PID" 10 || fail "the owner ends"

# --- Closing the window leaves the owner as it was --------------------------
start_owner closed
wait_for 'win=$(publicity_window $CHILD)' 30 || fatal "the window opens again"
read -r gx gy gw gh < <(geometry "$win")
x xdotool mousemove --sync $(( gx + 225 + 37 )) $(( gy + 427 + 12 )) click 1
park_pointer
check "Close ends the window's program" wait_for "gone $CHILD" 10
check "closing the window leaves its owner running" _e2e_alive "$OWNER_PID"
echo end >&7
exec 7>&-
wait_exit "$OWNER_PID" 10 || fail "the owner ends"

# --- The owner dies without an orderly end ----------------------------------
start_owner killed
wait_for 'win=$(publicity_window $CHILD)' 30 || fatal "the window opens a third time"
tree=($(tree_of "$CHILD"))
kill -KILL "$OWNER_PID"
check "SIGKILL of the owner ends the window's program within 2 s" wait_for "gone $CHILD" 2
check "and no engine helper stays behind" wait_for "all_gone ${tree[*]}" 10
exec 7>&-
wait "$OWNER_PID" 2>/dev/null

exit "$((E2E_FAILS > 0))"
