# shellcheck shell=bash
# A private headless desktop for end-to-end tests: Xvfb, a private D-Bus session,
# dunst and a tray host, and a window manager when E2E_WM names one (openbox or
# xfwm4; none by default). Source this file; it defines functions only.
#
#   desktop_start STATE_DIR [FORM]   start everything, export DISPLAY etc.
#   desktop_stop                     stop everything this file started, by PID
#
# FORM, the kind of desktop: xembed (trayer, the default), sni (a
# StatusNotifierItem host on the bus, as KDE Plasma has), notray (no tray at
# all, as GNOME; also E2E_NO_TRAYER=1), wayland (weston's headless compositor
# with its Xwayland, no tray; the program is driven through AT-SPI there).
#
# Every process is started with its output in STATE_DIR, never on the test's
# stdout: a GUI child holding the test's stdout would keep `$(...)` or CTest waiting.
# E2E_DUNSTRC names another dunstrc, for a test with rules of its own.

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_ROOT=$(cd "$E2E_DIR/../.." && pwd)

E2E_STATE=""
E2E_DESKTOP_STATE=""
E2E_XVFB_PID=""
E2E_BUS_PID=""
E2E_DUNST_PID=""
E2E_TRAYER_PID=""
E2E_WM_PID=""
E2E_SNI_PID=""
E2E_FORM=xembed
E2E_MONITOR_PIDS=()

e2e_log() { printf '[e2e %s] %s\n' "$(date +%H:%M:%S)" "$*"; }

# Milliseconds since the epoch.
_e2e_now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# wait_for CMD TIMEOUT_SECONDS: run CMD (through eval) until it succeeds or the time is up.
# No wait may pass the test's overall deadline (E2E_DEADLINE_MS, set by e2e_init):
# past it the test ends as failed. Kept here rather than in a watchdog that signals
# the test: bash 5.2 at times failed to run the signal trap, skipping the cleanup.
wait_for() {
    local cmd=$1 timeout=$2 deadline
    deadline=$(( $(_e2e_now_ms) + $(awk -v t="$timeout" 'BEGIN { printf "%d", t * 1000 }') ))
    if [ -n "${E2E_DEADLINE_MS:-}" ] && (( deadline > E2E_DEADLINE_MS )); then
        deadline=$E2E_DEADLINE_MS
    fi
    while :; do
        if eval "$cmd"; then
            return 0
        fi
        if (( $(_e2e_now_ms) >= deadline )); then
            if [ -n "${E2E_DEADLINE_MS:-}" ] && (( deadline >= E2E_DEADLINE_MS )); then
                fatal "the test did not finish within ${E2E_DEADLINE:-?}s"
            fi
            return 1
        fi
        sleep 0.1
    done
}

# x: every X client call is bounded, so a stuck server cannot hang the test.
x() { timeout 5 "$@"; }

_e2e_alive() {
    # A zombie counts as gone: it only waits for its parent to reap it.
    local state
    [ -n "$1" ] && [ -r "/proc/$1/stat" ] || return 1
    state=$(awk '{ sub(/^.*\) /, ""); print $1 }' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# PIDs of all descendants of the given PIDs (a snapshot, found by parent PID).
_e2e_descendants() {
    ps -eo pid=,ppid= | awk -v roots="$*" '
        BEGIN { n = split(roots, r, " "); for (i = 1; i <= n; i++) want[r[i]] = 1 }
        { parent[$1] = $2; pids[++count] = $1 }
        END {
            changed = 1
            while (changed) {
                changed = 0
                for (i = 1; i <= count; i++) {
                    p = pids[i]
                    if (!(p in want) && (parent[p] in want)) { want[p] = 1; found[p] = 1; changed = 1 }
                }
            }
            for (p in found) print p
        }'
}

# stop_pid PID...: SIGTERM, wait up to 3 s, then SIGKILL; reap our own children.
stop_pid() {
    local pid
    for pid in "$@"; do
        [ -n "$pid" ] && _e2e_alive "$pid" && kill -TERM "$pid" 2>/dev/null
    done
    for pid in "$@"; do
        [ -n "$pid" ] || continue
        if ! wait_for "! _e2e_alive $pid" 3; then
            kill -KILL "$pid" 2>/dev/null
            wait_for "! _e2e_alive $pid" 2 || e2e_log "WARNING: process $pid did not end"
        fi
        wait "$pid" 2>/dev/null
    done
    return 0
}

_e2e_bus() {
    x dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        "org.freedesktop.DBus.$1" "${@:2}" 2>/dev/null
}

# bus_name_owner_pid NAME: PID of the process owning NAME on the private bus.
bus_name_owner_pid() {
    _e2e_bus GetConnectionUnixProcessID "string:$1" | awk '$1 == "uint32" { print $2 }'
}

bus_name_has_owner() {
    _e2e_bus NameHasOwner "string:$1" | grep -q '^   boolean true$'
}

# PIDs of every client on the private bus, as the bus daemon reports them.
_e2e_bus_client_pids() {
    local name pid
    for name in $(_e2e_bus ListNames | sed -n 's/^ *string "\(.*\)"$/\1/p'); do
        [ "$name" = org.freedesktop.DBus ] && continue
        pid=$(bus_name_owner_pid "$name")
        [ -n "$pid" ] && echo "$pid"
    done | sort -un
}

# _e2e_start_xvfb TAG: the X server, on a display it picks itself.
_e2e_start_xvfb() {
    local attempt=$1 dfile n
    # Xvfb picks a free display itself and writes its number to the given fd,
    # which avoids racing other tests for a display number.
    dfile="$E2E_DESKTOP_STATE/display.$attempt"
    : > "$dfile"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp \
        3>"$dfile" </dev/null >"$E2E_DESKTOP_STATE/xvfb.$attempt.log" 2>&1 &
    E2E_XVFB_PID=$!
    if ! wait_for "grep -q '^[0-9][0-9]*\$' '$dfile' || ! _e2e_alive $E2E_XVFB_PID" 10 \
        || ! n=$(grep -m1 '^[0-9][0-9]*$' "$dfile"); then
        e2e_log "Xvfb did not report a display (see $E2E_DESKTOP_STATE/xvfb.$attempt.log)"
        return 1
    fi
    export DISPLAY=":$n"
    if ! wait_for "x xdpyinfo >/dev/null 2>&1" 10; then
        e2e_log "Xvfb on $DISPLAY does not answer"
        return 1
    fi
}

_e2e_start_once() {
    local attempt=$1
    if [ "$E2E_FORM" = wayland ]; then
        _e2e_start_weston "$attempt" || return 1
    else
        _e2e_start_xvfb "$attempt" || return 1
    fi

    # The bus socket lives in our state folder: dbus-launch would leave one in /tmp.
    local afile="$E2E_DESKTOP_STATE/bus-address.$attempt" config=(--session)
    : > "$afile"
    unset DBUS_SESSION_BUS_ADDRESS DBUS_SESSION_BUS_PID
    [ -n "${E2E_DUNST_ON_DEMAND:-}" ] && config=(--config-file="$(_e2e_on_demand_bus_config)")
    dbus-daemon "${config[@]}" --nofork --nopidfile --address="unix:path=$E2E_DESKTOP_STATE/bus.$attempt" \
        --print-address=3 3>"$afile" </dev/null >"$E2E_DESKTOP_STATE/dbus.$attempt.log" 2>&1 &
    E2E_BUS_PID=$!
    if ! wait_for "grep -q '^unix:' '$afile' || ! _e2e_alive $E2E_BUS_PID" 10 \
        || ! DBUS_SESSION_BUS_ADDRESS=$(grep -m1 '^unix:' "$afile"); then
        e2e_log "dbus-daemon gave no address (see $E2E_DESKTOP_STATE/dbus.$attempt.log)"
        return 1
    fi
    export DBUS_SESSION_BUS_ADDRESS
    if ! wait_for "bus_name_has_owner org.freedesktop.DBus" 5; then
        e2e_log "private session bus does not answer"
        return 1
    fi
    [ "$E2E_FORM" = wayland ] || start_window_manager "$attempt" || return 1

    # E2E_DUNST_ON_DEMAND=1: no daemon runs yet; the bus starts it at the first call.
    if [ -n "${E2E_DUNST_ON_DEMAND:-}" ]; then
        _e2e_start_tray "$attempt"
        return
    fi

    dunst -config "${E2E_DUNSTRC:-$E2E_DIR/dunstrc}" </dev/null >"$E2E_DESKTOP_STATE/dunst.$attempt.log" 2>&1 &
    E2E_DUNST_PID=$!
    # The name must belong to our dunst, not to one the bus might activate itself.
    if ! wait_for "[ \"\$(bus_name_owner_pid org.freedesktop.Notifications)\" = $E2E_DUNST_PID ]" 10; then
        e2e_log "dunst did not get org.freedesktop.Notifications (see $E2E_DESKTOP_STATE/dunst.$attempt.log)"
        return 1
    fi

    _e2e_start_tray "$attempt"
}

# The tray host of the form; notray and wayland have none (until start_trayer).
_e2e_start_tray() {
    case $E2E_FORM in
        xembed) start_trayer "$1" ;;
        sni) start_sni_host "$1" ;;
    esac
}

# _e2e_start_weston TAG: weston's headless compositor, drawing (pixman) so that
# screenshots show something, with its Xwayland for X clients such as dunst.
_e2e_start_weston() {
    local log="$E2E_DESKTOP_STATE/weston.$1.log" socket="wayland-e2e-$1" n=""
    command -v weston >/dev/null || { e2e_log "missing weston (apt-get install weston xwayland qt6-wayland)" && return 1; }
    weston --backend=headless-backend.so --use-pixman --socket="$socket" --xwayland --debug --idle-time=0 \
        --width=1280 --height=800 </dev/null >"$log" 2>&1 &
    E2E_XVFB_PID=$!
    wait_for "[ -S '$XDG_RUNTIME_DIR/$socket' ] && grep -q 'xserver listening on display' '$log' || ! _e2e_alive $E2E_XVFB_PID" 10
    n=$(sed -n 's/.*xserver listening on display :\([0-9]*\).*/\1/p' "$log")
    [ -S "$XDG_RUNTIME_DIR/$socket" ] && [ -n "$n" ] || { e2e_log "weston did not start (see $log)" && return 1; }
    export WAYLAND_DISPLAY=$socket DISPLAY=":$n"
}

# start_sni_host TAG: a StatusNotifierItem host on the private bus.
start_sni_host() {
    /usr/bin/python3 "$E2E_DIR/sni_host.py" </dev/null >"$E2E_DESKTOP_STATE/sni.$1.log" 2>&1 &
    E2E_SNI_PID=$!
    wait_for "[ \"\$(bus_name_owner_pid org.kde.StatusNotifierWatcher)\" = $E2E_SNI_PID ]" 10 && return 0
    e2e_log "no StatusNotifierItem host (see $E2E_DESKTOP_STATE/sni.$1.log)"
    return 1
}

# sni_item_of PID: the item PID registered with the host, as "BUS_NAME".
sni_item_of() {
    local item
    for item in $(x dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:RegisteredStatusNotifierItems 2>/dev/null | sed -n 's/^ *string "\(.*\)"$/\1/p'); do
        [ "$(bus_name_owner_pid "${item%%/*}")" = "$1" ] && echo "$item" && return 0
    done
    return 1
}

# a11y PID COMMAND ROLE NAME [TEXT]: tests/e2e/atspi.py on the program's
# windows (showing, press, settext).
a11y() { timeout 10 /usr/bin/python3 "$E2E_DIR/atspi.py" "$@" 2>/dev/null; }

# A session bus whose only service is our dunst, started when a client first
# calls org.freedesktop.Notifications. Prints the configuration file's path.
_e2e_on_demand_bus_config() {
    local dir="$E2E_DESKTOP_STATE/bus-services"
    mkdir -p "$dir"
    printf '[D-BUS Service]\nName=org.freedesktop.Notifications\nExec=%s -config %s\n' \
        "$(command -v dunst)" "${E2E_DUNSTRC:-$E2E_DIR/dunstrc}" >"$dir/org.freedesktop.Notifications.service"
    cat >"$E2E_DESKTOP_STATE/session-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=${TMPDIR:-/tmp}</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$dir</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    echo "$E2E_DESKTOP_STATE/session-bus.conf"
}

# start_trayer [TAG]: starts the tray host and waits for its panel.
start_trayer() {
    local tag=${1:-late}
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent false --tint 0x333333 </dev/null >"$E2E_DESKTOP_STATE/trayer.$tag.log" 2>&1 &
    E2E_TRAYER_PID=$!
    if ! wait_for "trayer_panel >/dev/null" 10; then
        e2e_log "trayer shows no panel (see $E2E_DESKTOP_STATE/trayer.$tag.log)"
        return 1
    fi
    return 0
}

# The window manager of the root window, once one has taken the screen.
_e2e_wm_ready() {
    x xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# start_window_manager [TAG]: starts the window manager E2E_WM names (openbox,
# xfwm4, or none) and waits until it manages the screen.
start_window_manager() {
    local tag=${1:-late} command
    case "${E2E_WM:-none}" in
        none | "") return 0 ;;
        openbox) command=(openbox --sm-disable) ;;
        # No compositor: Xvfb has no GL, and nothing here needs one.
        xfwm4) command=(xfwm4 --compositor=off --sm-client-disable) ;;
        *) e2e_log "unknown window manager E2E_WM=$E2E_WM (openbox, xfwm4 or none)" && return 1 ;;
    esac
    command -v "$E2E_WM" >/dev/null || { e2e_log "missing $E2E_WM (apt-get install $E2E_WM)" && return 1; }
    "${command[@]}" </dev/null >"$E2E_DESKTOP_STATE/wm.$tag.log" 2>&1 &
    E2E_WM_PID=$!
    wait_for "_e2e_wm_ready || ! _e2e_alive $E2E_WM_PID" 10 && _e2e_wm_ready && return 0
    e2e_log "$E2E_WM does not manage the screen (see $E2E_DESKTOP_STATE/wm.$tag.log)"
    return 1
}

# desktop_start STATE_DIR
desktop_start() {
    E2E_DESKTOP_STATE=$1
    E2E_FORM=${2:-${E2E_NO_TRAYER:+notray}}
    E2E_FORM=${E2E_FORM:-xembed}
    mkdir -p "$E2E_DESKTOP_STATE"
    mkdir -p "$E2E_DESKTOP_STATE/xdg-runtime"
    chmod 700 "$E2E_DESKTOP_STATE/xdg-runtime"
    export XDG_RUNTIME_DIR="$E2E_DESKTOP_STATE/xdg-runtime"
    local attempt
    for attempt in 1 2; do
        if _e2e_start_once "$attempt"; then
            e2e_log "desktop ready on DISPLAY=$DISPLAY (attempt $attempt)"
            return 0
        fi
        desktop_stop
        # The one allowed retry: the notification daemon sometimes misses the bus.
        [ "$attempt" = 1 ] && e2e_log "desktop start failed; retrying once"
    done
    return 1
}

desktop_stop() {
    local helpers=() pid
    if [ ${#E2E_MONITOR_PIDS[@]} -gt 0 ]; then
        stop_pid "${E2E_MONITOR_PIDS[@]}"
        E2E_MONITOR_PIDS=()
    fi
    if [ -n "$E2E_BUS_PID" ] && _e2e_alive "$E2E_BUS_PID" && [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
        # Whatever else is still on the private bus (accessibility, dconf, ...) was
        # started for this session; stop it by the PIDs the bus reports.
        for pid in $(_e2e_bus_client_pids); do
            case " $E2E_XVFB_PID $E2E_BUS_PID $E2E_DUNST_PID $E2E_TRAYER_PID $E2E_WM_PID $E2E_SNI_PID $$ " in
                *" $pid "*) ;;
                *) helpers+=("$pid") ;;
            esac
        done
    fi
    # Children too: an accessibility launcher runs a bus of its own, and the bus
    # daemon starts the services it activates. A snapshot, taken before any parent
    # goes and its children move to init.
    local tree=()
    mapfile -t tree < <(_e2e_descendants ${helpers[@]+"${helpers[@]}"} \
        $E2E_BUS_PID $E2E_DUNST_PID $E2E_TRAYER_PID $E2E_WM_PID $E2E_SNI_PID $E2E_XVFB_PID)
    [ ${#helpers[@]} -gt 0 ] && e2e_log "stopping bus helpers: ${helpers[*]} ${tree[*]}"
    stop_pid ${helpers[@]+"${helpers[@]}"}
    stop_pid $E2E_TRAYER_PID $E2E_SNI_PID $E2E_DUNST_PID $E2E_WM_PID
    stop_pid $E2E_BUS_PID
    stop_pid $E2E_XVFB_PID
    stop_pid ${tree[@]+"${tree[@]}"}
    E2E_TRAYER_PID="" E2E_SNI_PID="" E2E_DUNST_PID="" E2E_WM_PID="" E2E_BUS_PID="" E2E_XVFB_PID=""
    return 0
}

# trayer_panel: id (decimal) of trayer's "panel" window.
trayer_panel() {
    local id
    id=$(x xwininfo -root -tree 2>/dev/null | awk '/\("panel" "trayer"\)/ { print $1; exit }')
    [ -n "$id" ] && printf '%d\n' "$id"
}

# map_state WID: IsViewable, IsUnMapped, IsUnviewable, or nothing if the window is gone.
map_state() {
    x xwininfo -id "$1" 2>/dev/null | awk '/Map State:/ { print $3 }'
}

# geometry WID: "X Y W H" in root coordinates.
geometry() {
    x xwininfo -id "$1" 2>/dev/null | awk '
        /Absolute upper-left X:/ { gx = $4 } /Absolute upper-left Y:/ { gy = $4 }
        /^  Width:/ { w = $2 } /^  Height:/ { h = $2 }
        END { if (w != "") print gx, gy, w, h }'
}

# is_toplevel WID: a child of the root window, or a window that a window
# manager manages (it puts them into frames of its own and marks them WM_STATE).
is_toplevel() {
    x xwininfo -id "$1" -children 2>/dev/null | grep -q '^  Parent window id: .*(the root window)' \
        || x xprop -id "$1" WM_STATE 2>/dev/null | grep -q '^WM_STATE(WM_STATE):'
}

is_override_redirect() {
    x xwininfo -id "$1" 2>/dev/null | grep -q 'Override Redirect State: yes'
}

# tray_icon_of PID: the program's window embedded under trayer's panel, if viewable.
tray_icon_of() {
    local pid=$1 panel w
    panel=$(trayer_panel) || return 1
    local under
    under=$(x xwininfo -id "$panel" -tree 2>/dev/null | awk '$1 ~ /^0x/ { print $1 }' |
        while read -r w; do printf '%d\n' "$w"; done)
    for w in $(x xdotool search --pid "$pid" 2>/dev/null); do
        if printf '%s\n' "$under" | grep -qx "$w" && [ "$(map_state "$w")" = IsViewable ]; then
            echo "$w"
            return 0
        fi
    done
    return 1
}

# clicks_apart MS: returns once a click made at MS (from _e2e_now_ms) can no
# longer form a double click with the next one (Qt's default interval is 400 ms).
clicks_apart() {
    local rest=$(( $1 + 600 - $(_e2e_now_ms) ))
    (( rest > 0 )) && sleep "$(awk -v m="$rest" 'BEGIN { printf "%.3f", m / 1000 }')"
    return 0
}

# click_window WID [BUTTON]: click at the window's centre.
click_window() {
    local g
    g=$(geometry "$1") || return 1
    [ -n "$g" ] || return 1
    set -- "$1" "${2:-1}" $g
    x xdotool mousemove --sync $(( $3 + $5 / 2 )) $(( $4 + $6 / 2 )) click "$2"
}

# Move the pointer to the bottom-left corner, where no window of the test shows,
# so it hovers nothing (no tooltips, no hover highlight in screenshots).
park_pointer() { x xdotool mousemove --sync 2 797; }

# main_window_of PID: the program's top-level window titled "Penwick", mapped or not.
main_window_of() {
    local w
    for w in $(x xdotool search --pid "$1" 2>/dev/null); do
        [ "$(x xdotool getwindowname "$w" 2>/dev/null)" = Penwick ] || continue
        is_toplevel "$w" || continue
        is_override_redirect "$w" && continue
        echo "$w"
        return 0
    done
    return 1
}

# window_mapped PID: the program's main window, only if it is shown.
window_mapped() {
    local w
    w=$(main_window_of "$1") || return 1
    [ "$(map_state "$w")" = IsViewable ] || return 1
    echo "$w"
}

# popup_menu_of PID: a shown pop-up menu window of PID. Qt marks its menus only as
# override-redirect windows; of those, a menu is the tallest (a tooltip is one line).
popup_menu_of() {
    local w g best="" best_h=0
    for w in $(x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        is_toplevel "$w" || continue
        is_override_redirect "$w" || continue
        g=$(geometry "$w") || continue
        set -- "$1" $g
        if [ "${5:-0}" -gt "$best_h" ]; then best=$w; best_h=$5; fi
    done
    [ -n "$best" ] && [ "$best_h" -ge 40 ] && echo "$best"
}

focused_window() { x xdotool getwindowfocus 2>/dev/null; }

# focus_window WID: give WID the keyboard focus; click into it if that does not work.
# A window manager is asked to activate it, as a pager would; without one,
# nobody else moves the focus.
focus_window() {
    local w=$1 g
    [ "$(focused_window)" = "$w" ] && return 0
    if _e2e_wm_ready; then
        x xdotool windowactivate "$w" >/dev/null 2>&1
    else
        x xdotool windowfocus --sync "$w" >/dev/null 2>&1
    fi
    wait_for "[ \"\$(focused_window)\" = $w ]" 2 && return 0
    # Bottom-left corner: the least likely spot to hold a control.
    g=$(geometry "$w") || return 1
    set -- $g
    x xdotool mousemove --sync $(( $1 + 3 )) $(( $2 + $4 - 3 )) click 1
    wait_for "[ \"\$(focused_window)\" = $w ]" 2
}

# press KEY...: through XTEST, press and release together. (Never `key --window`:
# when the key hides the window, xdotool sends the release elsewhere and the key
# stays down in the server, auto-repeating into every later grab.)
press() { x xdotool key --delay 50 "$@"; }

# screenshot FILE: the whole screen; on Wayland through weston's own shooter,
# which writes into the folder it runs in.
screenshot() {
    if [ "$E2E_FORM" != wayland ]; then
        x import -window root "$1" >/dev/null 2>&1
        return
    fi
    local dir
    dir=$(mktemp -d "$E2E_DESKTOP_STATE/shot.XXXXXX") &&
        (cd "$dir" && x weston-screenshooter >/dev/null 2>&1) && mv "$dir"/*.png "$1" && rmdir "$dir"
}

# start_dbus_monitor FILE: record Notify calls on the private bus; sets E2E_MONITOR_PID.
start_dbus_monitor() {
    local file=$1
    dbus-monitor --session \
        "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
        </dev/null >"$file" 2>"$file.err" &
    E2E_MONITOR_PID=$!
    E2E_MONITOR_PIDS+=("$E2E_MONITOR_PID")
    # It is listening once the bus has answered its BecomeMonitor (NameLost of its own name).
    wait_for "grep -q 'member=NameLost' '$file'" 5
}

# start_root_watch FILE: record into FILE, with xev, what happens to the
# windows under the root window (made, mapped, unmapped, ...). Start it before
# the program: the program's first window then shows as ready.
start_root_watch() {
    local file=$1
    stdbuf -oL xev -root -event substructure </dev/null >"$file" 2>"$file.err" &
    E2E_MONITOR_PIDS+=("$!")
}

# was_unmapped FILE WID: whether FILE (from start_root_watch) saw WID unmapped.
was_unmapped() {
    grep -A1 '^UnmapNotify event' "$1" | grep -q "window $(printf '0x%x' "$2"),"
}

# click_menu_bar WID: click the first title of the window's menu bar.
click_menu_bar() {
    local g
    g=$(geometry "$1") || return 1
    [ -n "$g" ] || return 1
    set -- $g
    x xdotool mousemove --sync $(( $1 + 15 )) $(( $2 + 10 )) click 1
}

# notify_records FILE: one line per Notify call, "SUMMARY<TAB>BODY"; carriage returns
# dropped and line breaks in the body written as a literal \n.
notify_records() {
    tr -d '\r' <"$1" | awk '
        function flush() {
            if (inblock && nargs >= 5) {
                gsub(/\t/, " ", summary)
                print summary "\t" body
            }
            inblock = 0; nargs = 0; inbody = 0; summary = ""; body = ""
        }
        # The body may span lines, which then start anywhere; it ends where the
        # actions array begins.
        inbody && /^   array \[/ { inbody = 0; sub(/"$/, "", body); nargs++; next }
        inbody { body = body "\\n" $0; next }
        /^(method call|method return|signal|error) / { flush(); if ($0 ~ /member=Notify/) inblock = 1; next }
        !inblock { next }
        /^   [a-z0-9]+ / {
            nargs++
            if (nargs == 4) { s = $0; sub(/^   string "/, "", s); sub(/"$/, "", s); summary = s }
            if (nargs == 5) { b = $0; sub(/^   string "/, "", b); body = b; inbody = 1; nargs-- }
        }
        END { flush() }'
}

# alarm_count: the Notify calls with the alarm balloon's title that the monitor
# started into $notify_log has seen.
alarm_count() { notify_records "$notify_log" | awk -F'\t' '$1 == "Penwick A L A R M"' | wc -l; }

# db_query DB SQL: run SQL through isql-fb with the shared Firebird environment,
# in a subshell so that environment does not leak into the program under test.
# A database on a server (inet://...) is reached with the login of ISC_USER
# and PENWICK_DATABASE_PASSWORD_FILE, as the program reaches it.
db_query() {
    (
        if [[ $1 == inet://* ]]; then
            ISC_PASSWORD=$(cat "$PENWICK_DATABASE_PASSWORD_FILE") || exit 1
            export ISC_PASSWORD
            printf '%s\n' "$2" | timeout 15 isql-fb -q "$1"
            exit
        fi
        # shellcheck source=tools/firebird-env.sh
        . "$E2E_ROOT/tools/firebird-env.sh" "$1" || exit 1
        printf '%s\n' "$2" | timeout 15 isql-fb -q -user sysdba -password quietbird "$1"
    )
}

# db_setting DB NAME: the Wartosc of every USTAWIENIA row called NAME, one per line
# ("<null>" for NULL).
db_setting() {
    db_query "$1" "SET HEADING OFF;
SELECT '@@' || COALESCE(Wartosc, '<null>') || '@@' FROM USTAWIENIA WHERE Ustawienie = '$2';" |
        sed -n 's/^.*@@\(.*\)@@.*$/\1/p'
}

# db_value DB SQL_EXPR_FROM: a single value, e.g. db_value DB "Alarm FROM NOTATKI WHERE ID = 1".
db_value() {
    db_query "$1" "SET HEADING OFF;
SELECT '@@' || COALESCE(CAST($2 AS VARCHAR(1024)), '<null>') || '@@' FROM RDB\$DATABASE;" |
        sed -n 's/^.*@@\(.*\)@@.*$/\1/p'
}

# --- checks and cleanup shared by the test scripts ---------------------------

E2E_FAILS=0
E2E_APP_PID=""
E2E_DEADLINE_MS=""

pass() { printf 'PASS: %s\n' "$*"; }
fail() { printf 'FAIL: %s\n' "$*"; E2E_FAILS=$((E2E_FAILS + 1)); }
# check NAME CMD...: PASS or FAIL by the command's status.
check() {
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}
# fatal NAME: a failure that leaves nothing sensible to test afterwards.
fatal() { fail "$*"; exit 1; }

# start_program STATE_DIR APP_DIR LOGNAME: start APP_DIR/penwick on the private desktop.
start_program() {
    local state=$1 app=$2 log=$3
    mkdir -p "$state/home/config" "$state/home/data" "$state/home/cache"
    (
        cd "$app" || exit 1
        # A real X connection: never the offscreen platform a unit-test setup may leave behind.
        unset QT_QPA_PLATFORMTHEME QT_QPA_OFFSCREEN_NO_GLX FIREBIRD FIREBIRD_LOCK
        if [ "$E2E_FORM" = wayland ]; then
            # As in a Wayland session: Qt picks its platform itself.
            unset QT_QPA_PLATFORM
            export XDG_SESSION_TYPE=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
        else
            unset WAYLAND_DISPLAY
            export QT_QPA_PLATFORM=xcb
        fi
        export XDG_CONFIG_HOME="$state/home/config" XDG_DATA_HOME="$state/home/data" XDG_CACHE_HOME="$state/home/cache"
        exec "$app/penwick"
    ) </dev/null >"$state/$log" 2>&1 &
    E2E_APP_PID=$!
}

# wait_exit PID TIMEOUT: wait for our child to end; its exit status in E2E_EXIT.
wait_exit() {
    E2E_EXIT=""
    wait_for "! _e2e_alive $1" "$2" || return 1
    wait "$1" 2>/dev/null
    E2E_EXIT=$?
    return 0
}

# e2e_cleanup: for `trap e2e_cleanup EXIT`; stops the program and the desktop.
e2e_cleanup() {
    local rc=$?
    trap - EXIT INT TERM
    # Stopping everything must not be cut short by the test's own deadline.
    E2E_DEADLINE_MS=""
    if [ -n "$E2E_APP_PID" ] && _e2e_alive "$E2E_APP_PID"; then
        e2e_log "stopping the program (pid $E2E_APP_PID)"
        stop_pid "$E2E_APP_PID"
    fi
    desktop_stop
    if [ "$rc" = 0 ] && [ "$E2E_FAILS" = 0 ]; then
        rm -rf "$E2E_STATE"
        echo "RESULT: PASS"
        exit 0
    fi
    echo "RESULT: FAIL (logs and screenshots kept in $E2E_STATE)"
    exit 1
}

# e2e_init: state folder, cleanup trap and deadline for a test script.
e2e_init() {
    E2E_STATE=$(mktemp -d "${TMPDIR:-/tmp}/penwick-e2e.XXXXXX")
    trap e2e_cleanup EXIT
    trap 'exit 1' INT TERM
    # The whole test, cleanup included, must stay within a minute.
    E2E_DEADLINE=${E2E_DEADLINE:-50}
    E2E_DEADLINE_MS=$(( $(_e2e_now_ms) + E2E_DEADLINE * 1000 ))
    local tool
    for tool in Xvfb xdpyinfo xwininfo xprop xdotool dbus-daemon dbus-monitor dbus-send dunst trayer import isql-fb; do
        command -v "$tool" >/dev/null || fatal "missing $tool (apt-get install xvfb x11-utils xdotool dbus-x11 dunst trayer imagemagick firebird3.0-utils)"
    done
}

# serve_reference_service FOLDER: a copy of the repository's reference web
# service in FOLDER, served on a free port of 127.0.0.1 (the server prints the
# port it got); exports PENWICK_SERVICE_BASE_URL, and sets `http_log`.
serve_reference_service() {
    local port=""
    cp -r "$E2E_ROOT/service" "$1" || fatal "copy the reference web service"
    http_log="$E2E_STATE/http.log"
    python3 -u -m http.server --bind 127.0.0.1 0 --directory "$1" </dev/null >"$http_log" 2>&1 &
    E2E_MONITOR_PIDS+=("$!")
    wait_for 'port=$(sed -n "s/^Serving HTTP on .* port \([0-9][0-9]*\) .*/\1/p" "$http_log"); [ -n "$port" ]' 10 \
        || fatal "the reference web service starts (see $http_log)"
    export PENWICK_SERVICE_BASE_URL="http://127.0.0.1:$port"
    e2e_log "web service on $PENWICK_SERVICE_BASE_URL"
}

# close_from_file_menu WINDOW: File > Close in the main window WINDOW.
close_from_file_menu() {
    local wx wy
    focus_window "$1" || e2e_log "the main window did not get the focus"
    read -r wx wy _ _ <<<"$(geometry "$1")"
    x xdotool mousemove --sync $((wx + 16)) $((wy + 10)) click 1
    sleep 0.3
    # From no selection, Up lands on the last item, Close.
    press Up Return
}

# e2e_prepare_app BINARY SCHEMA: a copy of the program beside a fresh dbn.ib in
# $E2E_STATE/app (made by penwick-makedb, built beside the program); sets `app`
# and `db`.
e2e_prepare_app() {
    app="$E2E_STATE/app"
    db="$app/dbn.ib"
    mkdir -p "$app"
    cp "$(realpath "$1")" "$app/penwick" || fatal "copy the program"
    "$(dirname "$(realpath "$1")")/penwick-makedb" "$(realpath "$2")" "$db" >"$E2E_STATE/make-db.log" 2>&1 \
        || fatal "create a fresh dbn.ib"
}

# seed_note DB: one note, "Shopping", in the fresh DB; the next new note gets ID 11.
seed_note() {
    db_query "$1" "SET GENERATOR GenNotka TO 10;
INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
  VALUES (1, 'Shopping', 'Bread and milk', '2024-05-01 10:00:00', 0, 0, '2024-05-01', '10:00'); COMMIT;" \
        >"$E2E_STATE/seed.log" 2>&1
    [ "$(db_value "$1" "(SELECT COUNT(*) FROM NOTATKI)")" = 1 ] || fatal "seed one note (see $E2E_STATE/seed.log)"
}

# --- the program's dialogs, for the scripts that go through each of them -----

# The dialogs open_dialog knows, in an order one run can go through.
E2E_DIALOGS="delete editor password about message"

# dialogs_desktop BINARY SCHEMA: what the dialogs' scripts start from: the
# program beside a database with one note (sets `app` and `db`), on a desktop
# under the window manager E2E_WM, xfwm4 unless set: there a dialog's closing
# used to hand the focus to another program.
dialogs_desktop() {
    export E2E_WM=${E2E_WM:-xfwm4}
    e2e_init
    e2e_prepare_app "$1" "$2"
    seed_note "$db"
    desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
}

# window_titled PID TITLE [EXCEPT]: a shown top-level window of PID with that
# title, other than EXCEPT (a message box has the main window's title).
window_titled() {
    local w
    for w in $(x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        [ "$w" != "${3:-}" ] && [ "$(x xdotool getwindowname "$w" 2>/dev/null)" = "$2" ] &&
            is_toplevel "$w" && ! is_override_redirect "$w" && { echo "$w"; return 0; }
    done
    return 1
}

# open_dialog NAME PID MAIN: opens a dialog from the shown main window MAIN
# with the keyboard and waits until it has the focus; sets DIALOG and OPENER
# (the window it came from). NAME: delete (the first note; the focus in the
# search box, as at the window's first showing), editor, password, about, or
# message (the editor's answer to an alarm date in the past).
open_dialog() {
    local pid=$2 main=$3 title
    DIALOG="" OPENER=$main
    focus_window "$main" || return 1
    case $1 in
        delete) title="Penwick - Delete" && press Tab space Delete ;;
        editor) title="Penwick - Note" && press Insert ;;
        password) title="Penwick - Password" && press alt+f Up Up Return ;;
        about) title="Penwick - About" && press alt+i Return ;;
        # The alarm on, its date a year back, OK.
        message) open_dialog editor "$pid" "$main" && OPENER=$DIALOG title=Penwick && press Tab space Tab Down Return ;;
        *) return 1 ;;
    esac
    wait_for 'DIALOG=$(window_titled $pid "$title" $main)' 10 && wait_for '[ "$(focused_window)" = "$DIALOG" ]' 5
}

net_wm_state() { x xprop -id "$1" _NET_WM_STATE 2>/dev/null; }
has_icon() { x xprop -id "$1" _NET_WM_ICON 2>/dev/null | grep -q 'Icon ('; }
