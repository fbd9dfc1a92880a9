#!/usr/bin/env bash
# End to end: with an access password stored (also by another program, after a
# run that found none), the program shows only the login window (no tray icon); Esc, or SIGTERM, ends it at once with status 0 and
# nothing written; given the right password, the tray icon appears.
# The login window is saved as login.png in $E2E_ARTIFACTS (default: the work
# folder, which is then kept).
#   bash tests/e2e/login.sh PENWICK_BINARY SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY SCHEMA_SQL" >&2; exit 2; }

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init
artifacts=${E2E_ARTIFACTS:-$E2E_STATE}
mkdir -p "$artifacts"
[ "$artifacts" = "$E2E_STATE" ] && E2E_KEEP=1

e2e_prepare_app "$1" "$2"
desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"

# --- a run with no password ends cleanly; what it knew must not open the
# door once another program has stored a password in the file
start_program "$E2E_STATE" "$app" penwick.0.log
pid=$E2E_APP_PID
wait_for 'tray_icon_of $pid >/dev/null' 15 || fatal "with no password stored, the tray icon comes at once"
kill -TERM "$pid"
wait_exit "$pid" 10 && [ "$E2E_EXIT" = 0 ] || fatal "the run with no password ends with status 0"

# Blanks and a quote count like any other character.
password="Open sesame 'x "
db_query "$db" "INSERT INTO USTAWIENIA (Ustawienie, Wartosc) VALUES ('HasloDostepu', 'Open sesame ''x '); COMMIT;" \
    >/dev/null || fatal "store an access password"
[ "$(db_setting "$db" HasloDostepu)" = "$password" ] || fatal "the stored access password reads back"
db_query "$db" "DELETE FROM USTAWIENIA WHERE Ustawienie = 'FormMainWidth'; COMMIT;" >/dev/null ||
    fatal "forget the first run's window state"

# login_window_of PID: the program's shown window titled "Penwick - Login" (Qt
# adds the application's name after a dash on X11).
login_window_of() {
    local w
    for w in $(x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        case "$(x xdotool getwindowname "$w" 2>/dev/null)" in
            "Penwick - Login" | "Penwick - Login — Penwick") ;;
            *) continue ;;
        esac
        is_toplevel "$w" || continue
        echo "$w"
        return 0
    done
    return 1
}

# --- first run: the login alone, left with Esc
start_program "$E2E_STATE" "$app" penwick.1.log
pid=$E2E_APP_PID
login=""
wait_for 'login=$(login_window_of $pid)' 15 || fatal "the login window shows"
pass "the login window shows (window $login, geometry $(geometry "$login"))"
check "no tray icon while the login is open" eval '! tray_icon_of $pid >/dev/null'
park_pointer
screenshot "$artifacts/login.png"

focus_window "$login" || e2e_log "the login window did not get the focus"
press Escape
if wait_exit "$pid" 2; then
    pass "Esc ends the program within 2 s"
    check "the program ends with status 0 (was $E2E_EXIT)" [ "$E2E_EXIT" = 0 ]
else
    fail "Esc ends the program within 2 s"
fi
check "leaving the login writes no settings" [ -z "$(db_setting "$db" FormMainWidth)" ]

# --- a session's end while the login is open leaves it the same way
start_program "$E2E_STATE" "$app" penwick.2.log
pid=$E2E_APP_PID
wait_for 'login=$(login_window_of $pid)' 15 || fatal "the login window shows on the second start"
kill -TERM "$pid"
if wait_exit "$pid" 5; then
    check "SIGTERM at the login ends the program with status 0 (was $E2E_EXIT)" [ "$E2E_EXIT" = 0 ]
else
    fail "SIGTERM at the login ends the program"
fi
check "nor does a SIGTERM at the login write settings" [ -z "$(db_setting "$db" FormMainWidth)" ]

# --- third run: the right password lets the program in
start_program "$E2E_STATE" "$app" penwick.3.log
pid=$E2E_APP_PID
wait_for 'login=$(login_window_of $pid)' 15 || fatal "the login window shows again"
pass "the login window shows again (window $login)"
focus_window "$login" || e2e_log "the login window did not get the focus"
x xdotool type --delay 30 "$password"
press Return
icon=""
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "the right password brings the tray icon"
pass "the right password brings the tray icon (window $icon)"
check "the login window is gone" eval '! login_window_of $pid >/dev/null'

kill -TERM "$pid"
check "SIGTERM ends the program" wait_exit "$pid" 10
check "the program ended with status 0" [ "${E2E_EXIT:-}" = 0 ]
check "a program let in saves its window state" [ -n "$(db_setting "$db" FormMainWidth)" ]
check "the password is still stored" [ "$(db_setting "$db" HasloDostepu)" = "$password" ]

exit "$((E2E_FAILS > 0))"
