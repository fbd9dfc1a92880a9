#!/usr/bin/env bash
# Runs one command on a private headless desktop and passes on its exit status.
#   bash tests/e2e/on_desktop.sh COMMAND [ARG...]
set -u
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARG...]" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
E2E_DEADLINE=${E2E_DEADLINE:-170}
e2e_init

desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"
unset QT_QPA_PLATFORMTHEME WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
# The web engine refuses to run its sandbox as root.
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
# The command keeps the test's output: the run's result is read from it.
timeout $(( E2E_DEADLINE - 10 )) "$@" </dev/null
rc=$?
check "$(basename "$1") passed (exit status $rc)" [ "$rc" = 0 ]
exit "$((E2E_FAILS > 0))"
