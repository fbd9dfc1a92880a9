# shellcheck shell=bash
# A private Firebird server for the tests, from Debian's firebird3.0-server:
# its own configuration folder, security database, port on 127.0.0.1 and lock
# folder, so that nothing system-wide is changed and nothing else is
# contacted. Source this file; it defines functions only.
#
#   server_start STATE [plain]   start it; with "plain", without wire encryption.
#                                Sets SERVER_PID, SERVER_PORT, SERVER_DB_DIR and
#                                exports ISC_USER and PENWICK_DATABASE_PASSWORD_FILE
#                                (a user of its own, the password in a private file).
#   server_address NAME          "127.0.0.1/PORT:DB_DIR/NAME"
#   server_stop                  stop it by its PID (TERM, then KILL)
#   server_kill                  SIGKILL at once, as a crash would
#   server_restart               start it again as it was, on the same port
SERVER_PID=""
SERVER_PORT=""
SERVER_STATE=""
SERVER_DB_DIR=""

_server_intl=/usr/lib/x86_64-linux-gnu/firebird/3.0/intl
_server_security=/var/lib/firebird/3.0/system/security3.fdb

_server_listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

server_start() {
    local state=$1 crypt=Required tries port
    [ "${2:-}" = plain ] && crypt=Disabled
    [ -x /usr/sbin/firebird ] || { echo "no /usr/sbin/firebird (apt-get install firebird3.0-server)" >&2; return 1; }
    SERVER_STATE=$state
    SERVER_DB_DIR="$state/databases"
    mkdir -p "$state/root" "$state/setup" "$state/lock" "$SERVER_DB_DIR" || return 1
    chmod 700 "$state"
    cp "$_server_security" "$state/root/security3.fdb" || return 1
    ln -sfn "$_server_intl" "$state/root/intl"
    ln -sfn "$_server_intl" "$state/setup/intl"
    # The user and its right to create databases, written by an embedded
    # engine into the private security database before the server holds it.
    printf 'ServerMode = SuperClassic\nSecurityDatabase = %s\n' "$state/root/security3.fdb" >"$state/setup/firebird.conf"
    ( umask 077; head -c 18 /dev/urandom | base64 | tr -d '/+=' >"$state/password" )
    local password
    password=$(cat "$state/password")
    printf "CREATE USER penwick PASSWORD '%s' USING PLUGIN Srp;\nGRANT CREATE DATABASE TO USER penwick;\nCOMMIT;\n" "$password" |
        FIREBIRD="$state/setup" FIREBIRD_LOCK="$state/lock" isql-fb -q -user SYSDBA "$state/root/security3.fdb" \
            >"$state/setup.log" 2>&1 || { cat "$state/setup.log" >&2; return 1; }
    for tries in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 40000))
        _server_listening "$port" && continue
        cat >"$state/root/firebird.conf" <<CONF
RemoteBindAddress = 127.0.0.1
RemoteServicePort = $port
RemoteAuxPort = 0
WireCrypt = $crypt
AuthServer = Srp256, Srp
UserManager = Srp
ServerMode = Super
SecurityDatabase = $state/root/security3.fdb
DatabaseAccess = Restrict $SERVER_DB_DIR
CONF
        if _server_run "$port"; then
            export ISC_USER=penwick PENWICK_DATABASE_PASSWORD_FILE="$state/password"
            unset ISC_PASSWORD
            return 0
        fi
        server_stop
    done
    return 1
}

# _server_run PORT: starts the configured server and waits until it listens.
_server_run() {
    local port=$1 waited=0
    FIREBIRD="$SERVER_STATE/root" FIREBIRD_LOCK="$SERVER_STATE/lock" setsid /usr/sbin/firebird \
        </dev/null >>"$SERVER_STATE/server.log" 2>&1 &
    SERVER_PID=$!
    while ! _server_listening "$port" && kill -0 "$SERVER_PID" 2>/dev/null && [ $waited -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    _server_listening "$port" && kill -0 "$SERVER_PID" 2>/dev/null && SERVER_PORT=$port
}

server_restart() { _server_run "$SERVER_PORT"; }

server_address() { echo "127.0.0.1/$SERVER_PORT:$SERVER_DB_DIR/$1"; }

server_stop() {
    [ -n "$SERVER_PID" ] || return 0
    kill -TERM "$SERVER_PID" 2>/dev/null
    local waited=0
    while kill -0 "$SERVER_PID" 2>/dev/null && [ $waited -lt 50 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -KILL "$SERVER_PID" 2>/dev/null
    wait "$SERVER_PID" 2>/dev/null
    SERVER_PID=""
    return 0
}

server_kill() {
    [ -n "$SERVER_PID" ] || return 0
    kill -KILL "$SERVER_PID" 2>/dev/null
    wait "$SERVER_PID" 2>/dev/null
    SERVER_PID=""
}
