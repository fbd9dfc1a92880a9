#!/usr/bin/env bash
# The same 10,000 notes in a local file and on a private Firebird server on
# 127.0.0.1 (from Debian's firebird3.0-server, with its own configuration,
# port and user; wire encryption on): a search keystroke's refill and a save
# on each (bench_live ops). The start to the tray icon on each is
# bench/startup.sh with STARTUP_SERVER=1.
#   bench/server.sh BUILD_DIR
set -u
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(realpath "$1")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=tests/server/firebird-server.sh
. "$root/tests/server/firebird-server.sh"
# shellcheck source=tests/e2e/desktop.sh
. "$root/tests/e2e/desktop.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/penwick-bench-server.XXXXXX")
trap 'server_stop; rm -rf "$work"' EXIT
server_start "$work/server" || { echo "cannot start a private Firebird server" >&2; exit 1; }
local_db="$work/notes10k.ib"
server_db="inet://127.0.0.1:$SERVER_PORT/$SERVER_DB_DIR/notes10k.ib"
for db in "$local_db" "$server_db"; do
    "$build/penwick-makedb" "$root/schema/dbn.sql" "$db" || exit 1
    db_query "$db" "INPUT '$root/bench/seed_10000.sql'; COMMIT;" >"$work/seed.log" 2>&1 || { cat "$work/seed.log"; exit 1; }
done
"$build/bench/bench_live" ops "$local_db" file || exit 1
"$build/bench/bench_live" ops "$server_db" server || exit 1
