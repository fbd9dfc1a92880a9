#!/usr/bin/env bash
# The notes on a private Firebird server: a server killed during a save loop
# loses no save reported as done; a wrong password, a server that does not
# encrypt and a server that is down each give the program its one message,
# and the program runs on without its notes. (Two copies on one server are
# tests/e2e/two_copies.sh with "server".)
#   bash tests/server/server.sh BUILD_DIR SCHEMA_SQL
set -u
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR SCHEMA_SQL" >&2; exit 2; }
build=$(realpath "$1")
schema=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/server/firebird-server.sh
. "$here/firebird-server.sh"
state=$(mktemp -d "${TMPDIR:-/tmp}/penwick-server.XXXXXX")
fails=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
others=()
cleanup() {
    local pid
    for pid in "${others[@]}"; do kill -KILL "$pid" 2>/dev/null; done
    server_stop
    [ "$fails" = 0 ] && rm -rf "$state" && echo "RESULT: PASS" && exit 0
    echo "RESULT: FAIL (kept in $state)"
    exit 1
}
trap cleanup EXIT
# until CMD SECONDS: run CMD until it succeeds, or fail after SECONDS.
until_true() {
    local end=$((SECONDS + $2))
    until eval "$1"; do
        [ $SECONDS -ge $end ] && return 1
        sleep 0.1
    done
}

server_start "$state/server" || { fail "start a private Firebird server"; exit; }
db="inet://127.0.0.1:$SERVER_PORT/$SERVER_DB_DIR/dbn.ib"
"$build/penwick-makedb" "$schema" "$db" || { fail "make the database on the server"; exit; }

# A save loop through the data module; the server dies under it.
"$build/tests/storeworker" save-loop "$db" >"$state/saves" 2>"$state/saves.err" &
saver=$!
others+=("$saver")
until_true '[ "$(grep -cx "[0-9][0-9]*" "$state/saves")" -ge 50 ]' 30 || fail "the save loop saves"
server_kill
until_true '! kill -0 $saver 2>/dev/null' 20 || fail "the save loop ends once the server is gone"
wait "$saver" 2>/dev/null
status=$?
[ "$status" = 1 ] && pass "the save loop fails in order (status 1)" || fail "the save loop ends with status 1 (got $status)"
grep -x '[0-9][0-9]*' "$state/saves" | sort -n >"$state/reported"
server_restart || { fail "restart the server"; exit; }
ISC_PASSWORD=$(cat "$PENWICK_DATABASE_PASSWORD_FILE") isql-fb -q "$db" <<<'SET HEADING OFF; SELECT ID FROM NOTATKI;' |
    grep -o '[0-9][0-9]*' | sort -n >"$state/stored"
missing=$(comm -23 "$state/reported" "$state/stored" | wc -l)
[ "$missing" = 0 ] && pass "every one of $(wc -l <"$state/reported") saves reported done is on the server" ||
    fail "$missing saves reported done are missing"

# penwickctl prepares a database of its own and copies this computer's notes
# there, once.
local_db="$state/local.ib"
"$build/penwick-makedb" "$schema" "$local_db" || fail "make a local file"
for title in one two three; do
    "$build/penwickctl" --database "$local_db" new --title "$title" body >/dev/null || fail "penwickctl new $title"
done
export PENWICK_DATABASE="inet://127.0.0.1:$SERVER_PORT/$SERVER_DB_DIR/copied.ib"
"$build/penwickctl" server-init >"$state/init.out" 2>&1 && pass "server-init makes the database" ||
    fail "server-init: $(cat "$state/init.out")"
"$build/penwickctl" --database "$local_db" server-copy >"$state/copy.out" 2>&1 && grep -q "Copied 3 notes" "$state/copy.out" &&
    pass "server-copy copies the three notes" || fail "server-copy: $(cat "$state/copy.out")"
"$build/penwickctl" --database "$local_db" server-copy >"$state/again.out" 2>&1
status=$?
[ "$status" = 1 ] && grep -q "holds notes already" "$state/again.out" && pass "a second server-copy is refused" ||
    fail "a second server-copy is refused (status $status: $(cat "$state/again.out"))"
listed=$("$build/penwickctl" list 2>&1 | cut -f4 | sort | paste -sd,)
[ "$listed" = "one,three,two" ] && pass "penwickctl lists them from the server" || fail "penwickctl list: $listed"
unset PENWICK_DATABASE

# The program's one message for each server it cannot use.
start_penwick() {
    # Gone before the start, so that nothing an earlier run said is read.
    rm -f "$state/penwick.log"
    ( unset FIREBIRD FIREBIRD_LOCK; export QT_QPA_PLATFORM=offscreen PENWICK_DATABASE=$1
      exec "$build/penwick" ) </dev/null >"$state/penwick.log" 2>&1 &
    penwick=$!
    others+=("$penwick")
}
refused() {
    local name=$1 expected=$2 address=$3
    start_penwick "$address"
    if until_true 'grep -q "cannot open" "$state/penwick.log" 2>/dev/null' 30; then
        grep -q "$expected" "$state/penwick.log" && pass "$name: said" || fail "$name: the message names the reason ($(tail -1 "$state/penwick.log"))"
        [ "$(grep -c 'cannot open' "$state/penwick.log")" = 1 ] && pass "$name: said once" || fail "$name: said once"
        ! grep -qF "$(cat "$state/server/password")" "$state/penwick.log" && pass "$name: no password in what it says" ||
            fail "$name: the password shows"
    else
        fail "$name: a message within 30 s"
    fi
    kill -0 "$penwick" 2>/dev/null && pass "$name: it runs on" || fail "$name: it runs on"
    kill -TERM "$penwick"
    wait "$penwick"
    status=$?
    [ "$status" = 0 ] && pass "$name: SIGTERM ends it in order" || fail "$name: SIGTERM ends it in order (status $status)"
}
good=$PENWICK_DATABASE_PASSWORD_FILE
( umask 077; echo wrong-password >"$state/wrong" )
PENWICK_DATABASE_PASSWORD_FILE="$state/wrong" refused "a wrong password" "user name and password are not defined" "$db"
PENWICK_DATABASE_PASSWORD_FILE=$good
server_stop
refused "a server that is down" "Failed to establish a connection" "$db"
server_start "$state/plain" plain || { fail "start a server without encryption"; exit; }
refused "a server that does not encrypt" "does not encrypt its connections" \
    "inet://127.0.0.1:$SERVER_PORT/$SERVER_DB_DIR/dbn.ib"
exit
