#!/usr/bin/env bash
# bench_dialogs on a private headless desktop (Xvfb, D-Bus, dunst, trayer):
# the X platform is the one whose memory counts, not the offscreen one.
#   bench/dialogs.sh BUILD_DIR [OPENINGS]
set -u
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_DIR [OPENINGS]" >&2
    exit 2
fi
bench=$(realpath "$1/bench/bench_dialogs")
[ -x "$bench" ] || { echo "not built: $1/bench/bench_dialogs" >&2; exit 2; }
# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/desktop.sh"

desk=$(mktemp -d "${TMPDIR:-/tmp}/penwick-bench-dialogs.XXXXXX") || exit 1
pid=""
cleanup() {
    trap - EXIT INT TERM
    [ -n "$pid" ] && stop_pid "$pid"
    desktop_stop
    rm -rf "$desk"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

desktop_start "$desk/desktop" || { echo "cannot start the headless desktop" >&2; exit 1; }
unset QT_QPA_PLATFORMTHEME QT_QPA_OFFSCREEN_NO_GLX WAYLAND_DISPLAY
# In the background, so that a signal's trap runs at once.
QT_QPA_PLATFORM=xcb "$bench" ${2:+"$2"} </dev/null &
pid=$!
wait "$pid"
rc=$?
pid=""
exit "$rc"
