#!/usr/bin/env bash
# End to end: `cmake --install` into a temporary prefix; the installed program,
# started with a private HOME, copies the supplied empty database to
# ~/.local/share/penwick/dbn.ib, a note saved through the editor lands there,
# and a second start keeps it; the installed penwickctl finds it there.
# A data folder that cannot be made gives a message and no database.
#   bash tests/e2e/installed_note.sh BUILD_DIR
set -u
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(realpath "$1")

# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/desktop.sh"
e2e_init

prefix="$E2E_STATE/prefix"
home="$E2E_STATE/home"
notes="$home/.local/share/penwick/dbn.ib"
title="Installed note $$"
mkdir -p "$home"

cmake --install "$build" --prefix "$prefix" >"$E2E_STATE/install.log" 2>&1 ||
    fatal "cmake --install into $prefix (see $E2E_STATE/install.log)"
for file in bin/penwick bin/penwickctl share/man/man1/penwickctl.1.gz share/bash-completion/completions/penwickctl \
    share/penwick/dbn.ib share/applications/penwick.desktop \
    share/icons/hicolor/48x48/apps/penwick.png share/icons/hicolor/scalable/apps/penwick.svg; do
    check "installed $file" [ -s "$prefix/$file" ]
done
# An internal helper: in the program's libexec folder, off the PATH.
if [ -e "$build/penwick-publicity" ]; then
    check "installed the publicity window in libexec/penwick" [ -x "$prefix/libexec/penwick/penwick-publicity" ]
    check "and not in bin" [ ! -e "$prefix/bin/penwick-publicity" ]
fi
metainfo=$(ls "$prefix"/share/metainfo/*.metainfo.xml 2>/dev/null | head -1)
check "installed an AppStream metainfo file" [ -s "$metainfo" ]
if command -v appstreamcli >/dev/null; then
    check "appstreamcli validate accepts the metainfo file" \
        eval 'appstreamcli validate --no-net "$metainfo" >"$E2E_STATE/appstream.log" 2>&1'
fi

# start_installed LOG: the installed program as a user with a fresh HOME and
# no XDG variables, so the default data folder is used.
start_installed() {
    (
        cd "$home" || exit 1
        unset QT_QPA_PLATFORMTHEME QT_QPA_OFFSCREEN_NO_GLX WAYLAND_DISPLAY FIREBIRD FIREBIRD_LOCK
        unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME
        export QT_QPA_PLATFORM=xcb HOME="$home"
        exec "$prefix/bin/penwick"
    ) </dev/null >"$E2E_STATE/$1" 2>&1 &
    E2E_APP_PID=$!
}

notes_titled() { db_value "$notes" "(SELECT COUNT(*) FROM NOTATKI WHERE Tytul = '$title')"; }

desktop_start "$E2E_STATE/desktop" || fatal "start the headless desktop"

# --- first start: the empty database is copied, a note is saved through the editor
start_installed penwick.1.log
pid=$E2E_APP_PID
e2e_log "installed program started, pid $pid"
icon=""
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded under trayer's panel"
pass "tray icon embedded under trayer's panel"
check "the first start made $notes" [ -s "$notes" ]
# Beside it only the engine's lock folder, which goes with the file.
check "nothing else in the data folder" \
    eval '[ "$(ls -A "$(dirname "$notes")")" = dbn.ib ]'
check "no dbn.ib beside the installed program" [ ! -e "$prefix/bin/dbn.ib" ]

click_window "$icon" 1
park_pointer
win=""
wait_for 'win=$(window_mapped $pid)' 10 || fatal "left click on the tray icon shows the main window"
focus_window "$win" || e2e_log "the main window did not get the focus"
press Insert
editor=""
editor_of() {
    local w
    for w in $(x xdotool search --onlyvisible --name '^Penwick - Note$' 2>/dev/null); do
        [ "$(x xdotool getwindowpid "$w" 2>/dev/null)" = "$1" ] && { echo "$w"; return 0; }
    done
    return 1
}
wait_for 'editor=$(editor_of $pid)' 10 || fatal "Insert opens the note editor"
pass "Insert opens the note editor"
focus_window "$editor" || e2e_log "the editor did not get the focus"
press ctrl+a
x xdotool type --delay 20 "$title"
press Return
check "Return closes the editor" wait_for '[ "$(map_state $editor)" != IsViewable ]' 10
check "the note is saved in $notes" wait_for '[ "$(notes_titled)" = 1 ]' 10
check "the installed penwickctl lists it, from the same file" \
    eval '(unset XDG_DATA_HOME FIREBIRD FIREBIRD_LOCK; HOME="$home" "$prefix/bin/penwickctl" list) | grep -qF "$title"'

kill -TERM "$pid"
wait_exit "$pid" 10 || fatal "SIGTERM ends the program"
pass "SIGTERM ends the program"

# --- second start: the per-user file is kept, not copied again
inode=$(stat -c %i "$notes")
start_installed penwick.2.log
pid=$E2E_APP_PID
wait_for 'icon=$(tray_icon_of $pid)' 15 || fatal "tray icon embedded on the second start"
check "the second start keeps the same file" [ "$(stat -c %i "$notes")" = "$inode" ]
check "the note is still there" [ "$(notes_titled)" = 1 ]
kill -TERM "$pid"
wait_exit "$pid" 10 || fatal "SIGTERM ends the program the second time"

# --- a data folder that cannot be made: a message at start, and no half file
home="$E2E_STATE/home-blocked"
mkdir -p "$home/.local"
echo "not a folder" >"$home/.local/share"
start_installed penwick.3.log
pid=$E2E_APP_PID
box=""
wait_for 'box=$(window_mapped $pid)' 15 || fatal "a message box says the notes cannot be saved"
pass "a message box says the notes cannot be saved"
check "one line on stderr names the folder" \
    eval '[ "$(grep -c "cannot create the file for your notes, $home/.local/share/penwick" "$E2E_STATE/penwick.3.log")" = 1 ]'
focus_window "$box" || e2e_log "the message box did not get the focus"
press Return
check "OK closes the message box" wait_for '[ "$(map_state $box)" != IsViewable ]' 5
check "the program goes on to its tray icon" wait_for 'icon=$(tray_icon_of $pid)' 15
kill -TERM "$pid"
wait_exit "$pid" 10 || fatal "SIGTERM ends the program the third time"

for log in penwick.1.log penwick.2.log penwick.3.log; do
    check "no Qt noise in $log" eval '! grep -Eq "systemTrayWindowChanged|does not support raise" "$E2E_STATE/$log"'
done

exit "$((E2E_FAILS > 0))"
