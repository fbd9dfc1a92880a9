#!/usr/bin/env bash
# Runs every benchmark of `make bench` in turn and prints, at the end, one
# table of their figures, each beside its goal (bench/bench_table.py):
#   - bench_notelist: list refill and search at 1,000/10,000/100,000 notes and
#     the checker's pass (its JSON output);
#   - bench/dialogs.sh: bench_dialogs' memory after 1,000 openings of each
#     dialog, on a private headless desktop;
#   - bench/search_floor.sh BUILD_DIR, when it exists: the search statement
#     alone, whose last output line the table shows;
#   - bench_live: how soon another process's commit shows in a copy's list,
#     and the main thread beside a row that another program holds;
#   - bench/ctl.sh: penwickctl new from start to exit, and its Markdown
#     export of 10,000 notes;
#   - bench/server.sh: a search and a save on 10,000 notes in a file and on a
#     private Firebird server on 127.0.0.1;
#   - bench/startup.sh: start-up to the tray icon and idle wake-ups, against
#     the reference tray program (and on the server's notes).
#   bench/run-all.sh [BUILD_DIR]      (default: build; the targets must be built)
# Each part's full output is kept in a log folder named at the start.
# Environment:
#   BENCH_QUICK=1   a short run for trying this out: 3 starts, 3 + 5 s idle,
#                   100 dialog openings, no 100,000-note cases. Not the
#                   measurement the goals are meant for.
#   BENCH_LOG_DIR   the log folder (default BUILD_DIR/bench-logs/DATE-TIME)
# Exit status: 0 when every part measured; a missed goal is not a failure.
set -u
build=${1:-build}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ -d "$build" ] || { echo "no build folder: $build" >&2; exit 2; }
build=$(cd "$build" && pwd)
for target in penwick penwickctl penwick-makedb bench/bench_notelist bench/bench_dialogs bench/tray_reference bench/bench_live \
    tests/storeworker; do
    [ -x "$build/$target" ] || { echo "not built: $build/$target" >&2; exit 2; }
done
command -v python3 >/dev/null || { echo "python3 is missing" >&2; exit 2; }

quick=0
[ "${BENCH_QUICK:-0}" = 1 ] && quick=1
logs=${BENCH_LOG_DIR:-$build/bench-logs/$(date +%Y%m%d-%H%M%S)}
mkdir -p "$logs" || exit 2
logs=$(cd "$logs" && pwd)
openings=1000
notelist_args=()
if [ "$quick" = 1 ]; then
    openings=100
    notelist_args=(--benchmark_filter=-/100000/)
    export STARTUP_RUNS=${STARTUP_RUNS:-3} STARTUP_IDLE_S=${STARTUP_IDLE_S:-5} STARTUP_SETTLE_S=${STARTUP_SETTLE_S:-3}
    export CTL_NEW_RUNS=${CTL_NEW_RUNS:-5} CTL_EXPORT_RUNS=${CTL_EXPORT_RUNS:-1}
fi

status="$logs/status"
{
    echo "quick $quick"
    echo "openings $openings"
    echo "cpus $(nproc)"
    echo "load_start $(cut -d' ' -f1 /proc/loadavg)"
} >"$status"

say() { printf '[bench %s] %s\n' "$(date +%H:%M:%S)" "$*"; }
# An interrupt stops the running part, which cleans up after itself, and
# ends the run. Parts run in the background, so the trap runs at once.
part_pid=""
interrupted() {
    say "interrupted"
    if [ -n "$part_pid" ]; then
        kill -TERM "$part_pid" 2>/dev/null
        wait "$part_pid"
    fi
    exit 130
}
trap interrupted INT TERM

# part NAME LOG COMMAND...: runs one part with its output in LOG and notes its exit status.
part() {
    local name=$1 log=$2 began rc
    shift 2
    # What the last part wrote (the export's 10,000 files) is on the disk
    # first, so its write-back does not slow this part's commits.
    sync
    began=$(date +%s)
    say "$name: running (log $log)"
    "$@" </dev/null >"$log" 2>&1 &
    part_pid=$!
    wait "$part_pid"
    rc=$?
    part_pid=""
    echo "$name $rc" >>"$status"
    if [ "$rc" = 0 ]; then
        say "$name: done in $(($(date +%s) - began)) s"
    else
        say "$name: FAILED with status $rc after $(($(date +%s) - began)) s; its last lines:"
        tail -n 15 "$log" | sed 's/^/    /'
    fi
}

say "logs in $logs$([ "$quick" = 1 ] && echo ' (quick run)')"
part notelist "$logs/notelist.log" "$build/bench/bench_notelist" \
    --benchmark_out="$logs/notelist.json" --benchmark_out_format=json ${notelist_args[@]+"${notelist_args[@]}"}
part dialogs "$logs/dialogs.log" "$here/dialogs.sh" "$build" "$openings"
if [ -f "$here/search_floor.sh" ]; then
    part search_floor "$logs/search_floor.log" bash "$here/search_floor.sh" "$build"
else
    echo "search_floor absent" >>"$status"
fi
if [ -x "$build/bench/attach_probe" ] && [ -x "$build/bench/attach_probe_plain" ]; then
    part attach "$logs/attach.log" "$here/attach.sh" "$build"
else
    echo "attach absent" >>"$status"
fi
part live "$logs/live.log" "$build/bench/bench_live" latency "$build/tests/storeworker" 50
part held "$logs/held.log" "$build/bench/bench_live" held 5
part ctl "$logs/ctl.log" "$here/ctl.sh" "$build"
# On a private Firebird server too, where Debian's server is installed.
server=0
[ -x /usr/sbin/firebird ] && server=1
if [ "$server" = 1 ]; then
    part server "$logs/server.log" "$here/server.sh" "$build"
else
    echo "server absent" >>"$status"
fi
part startup "$logs/startup.log" env STARTUP_SUMMARY="$logs/startup.summary" STARTUP_SERVER="$server" \
    "$here/startup.sh" "$build/penwick" "$build/bench/tray_reference"
echo "load_end $(cut -d' ' -f1 /proc/loadavg)" >>"$status"

echo
python3 "$here/bench_table.py" "$logs" | tee "$logs/table.txt"
exit "${PIPESTATUS[0]}"
