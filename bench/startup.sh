#!/usr/bin/env bash
# Start-up benchmark on the private headless desktop (Xvfb, D-Bus, dunst, trayer):
# for a fresh dbn.ib and for one holding 10,000 notes, starts the program
# STARTUP_RUNS times (default 10) and measures
#   - the time from the program's exec to its tray icon being embedded and
#     viewable under trayer's panel window (and, for information, to the icon
#     showing its picture, which needs the program's event loop), and
#   - its resident memory (VmRSS) 5 s after the start.
# The measuring is done by a small X client, bench/startup_probe.c, built here
# with cc against libX11.
# Prints every start and a table of medians. Goals: 60 ms and 40 MiB with the
# fresh file (shown, not enforced: the exit status only tells whether the
# measurement itself worked).
# With a second binary, the least Qt tray program (build/bench/tray_reference),
# its starts take turns with the program's, as the floor that this machine
# allows, and the table shows it too.
#   bench/startup.sh PENWICK_BINARY [REFERENCE_BINARY]
# Then each of them idles in the tray for STARTUP_IDLE_S seconds (30), after
# STARTUP_SETTLE_S (12) to settle, while its context switches (all threads,
# voluntary and not) are counted: the wake-ups per second of a program that
# should sleep.
# Environment: STARTUP_RUNS (10), STARTUP_IDLE_S (30), STARTUP_SETTLE_S (12), STARTUP_POLL_MS (1,
# the fallback poll interval of the probe, which is otherwise woken by X events), STARTUP_KEEP=1
# keeps the work folder, STARTUP_SUMMARY=FILE writes the medians there as "key value" lines once
# everything was measured (for bench/run-all.sh), STARTUP_COPY_EACH=1 starts every time on a fresh
# copy of the database (by default the starts follow each other on one file, as a user's do, after
# one unmeasured start), STARTUP_SERVER=1 also starts it on the 10,000 notes in a database on a
# private Firebird server on 127.0.0.1 (tests/server/firebird-server.sh; PENWICK_DATABASE).
set -u
[ $# -eq 1 ] || [ $# -eq 2 ] || { echo "usage: $0 PENWICK_BINARY [REFERENCE_BINARY]" >&2; exit 2; }
binary=$(realpath "$1")
[ -x "$binary" ] || { echo "not an executable: $1" >&2; exit 2; }
reference=""
if [ $# -eq 2 ]; then
    reference=$(realpath "$2")
    [ -x "$reference" ] || { echo "not an executable: $2" >&2; exit 2; }
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
runs=${STARTUP_RUNS:-10}
idle_s=${STARTUP_IDLE_S:-30}
settle_s=${STARTUP_SETTLE_S:-12}
poll_ms=${STARTUP_POLL_MS:-1}
copy_each=${STARTUP_COPY_EACH:-0}
rss_at_ms=5000
goal_ms=60
goal_mib=40
# Generous limits: a start on a busy machine is slow, not failed.
tray_timeout_ms=60000

# shellcheck source=tests/e2e/desktop.sh
. "$root/tests/e2e/desktop.sh"

log() { printf '[startup %s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

state=$(mktemp -d "${TMPDIR:-/tmp}/penwick-startup.XXXXXX")
probe_pid=""
app_pid=""
ok=0

cleanup() {
    local rc=$?
    trap - EXIT INT TERM
    # The program first (the probe only passes signals on), then its parent.
    [ -n "$app_pid" ] && _e2e_alive "$app_pid" && stop_pid "$app_pid"
    [ -n "$probe_pid" ] && stop_pid "$probe_pid"
    desktop_stop
    [ -n "${SERVER_PID:-}" ] && server_stop
    if [ "$ok" = 1 ] && [ "${STARTUP_KEEP:-0}" != 1 ]; then
        rm -rf "$state"
    else
        log "work folder kept: $state"
    fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for tool in Xvfb xdpyinfo xwininfo xdotool dbus-daemon dbus-send dunst trayer isql-fb cc; do
    command -v "$tool" >/dev/null || { log "missing $tool (make bench installs it)"; exit 1; }
done

# --- the probe: a small X client that starts the program and watches the tray
"$root/tools/install-packages.sh" libx11-dev >&2 || { log "cannot install libx11-dev"; exit 1; }
probe="$state/startup_probe"
cc -O2 -Wall -o "$probe" "$here/startup_probe.c" -lX11 || { log "cannot build the probe"; exit 1; }

# --- the two databases, kept pristine and copied before every start
# (the program writes its settings back when it ends)
mkdir -p "$state/pristine"
"$(dirname "$binary")/penwick-makedb" "$root/schema/dbn.sql" "$state/pristine/fresh.ib" >"$state/make-db.log" 2>&1 ||
    { log "cannot create a database (see $state/make-db.log)"; exit 1; }
cp "$state/pristine/fresh.ib" "$state/pristine/notes10k.ib"
# 10,000 notes (bench/seed_10000.sql).
(
    # shellcheck source=tools/firebird-env.sh
    . "$root/tools/firebird-env.sh" "$state/pristine/notes10k.ib" || exit 1
    isql-fb -q -bail -user sysdba -password quietbird "$state/pristine/notes10k.ib" -i "$here/seed_10000.sql"
) >"$state/seed.log" 2>&1 || { log "seeding failed (see $state/seed.log)"; exit 1; }
count=$(db_value "$state/pristine/notes10k.ib" "(SELECT COUNT(*) FROM NOTATKI)")
counts=$(db_value "$state/pristine/notes10k.ib" \
    "(SELECT SUM(IIF(Alarm = 2, 1, 0)) || '/' || SUM(IIF(Alarm = 1, 1, 0)) || '/' || CAST(AVG(CHAR_LENGTH(Tresc)) AS INTEGER) FROM NOTATKI)")
[ "$count" = 10000 ] || { log "seeded $count notes, not 10000 (see $state/seed.log)"; exit 1; }
log "seeded 10000 notes (armed/running/average body length: $counts); files: fresh $(stat -c %s "$state/pristine/fresh.ib") B, 10k $(stat -c %s "$state/pristine/notes10k.ib") B"

server_db=""
if [ "${STARTUP_SERVER:-0}" = 1 ]; then
    # shellcheck source=tests/server/firebird-server.sh
    . "$root/tests/server/firebird-server.sh"
    server_start "$state/server" >&2 || { log "cannot start a private Firebird server"; exit 1; }
    server_db="inet://127.0.0.1:$SERVER_PORT/$SERVER_DB_DIR/notes10k.ib"
    "$(dirname "$binary")/penwick-makedb" "$root/schema/dbn.sql" "$server_db" >>"$state/make-db.log" 2>&1 &&
        db_query "$server_db" "INPUT '$here/seed_10000.sql'; COMMIT;" >>"$state/seed.log" 2>&1 ||
        { log "cannot seed the server's database (see $state/seed.log)"; exit 1; }
fi

desktop_start "$state/desktop" >&2 || { log "cannot start the headless desktop"; exit 1; }
panel=$(trayer_panel) || { log "no trayer panel"; exit 1; }

# one_start DB_NAME N: one measured start; appends "ms uncertainty rss_kb ..." to $state/DB_NAME.data
one_start() {
    local name=$1 n=$2 app="$state/app-$1" out="$state/$1.$2.out" line
    [ "$name" = reference ] || [ "$name" = server10k ] || [ "$copy_each" != 1 ] || cp "$state/pristine/$name.ib" "$app/dbn.ib"
    mkdir -p "$state/home/config" "$state/home/data" "$state/home/cache"
    local load
    load=$(cut -d' ' -f1 /proc/loadavg)
    # shellcheck disable=SC2031
    (
        cd "$app" || exit 1
        # Same environment as the end-to-end tests give the program.
        unset QT_QPA_PLATFORMTHEME QT_QPA_OFFSCREEN_NO_GLX WAYLAND_DISPLAY FIREBIRD FIREBIRD_LOCK
        export QT_QPA_PLATFORM=xcb
        export XDG_CONFIG_HOME="$state/home/config" XDG_DATA_HOME="$state/home/data" XDG_CACHE_HOME="$state/home/cache"
        [ "$name" = server10k ] && export PENWICK_DATABASE=$server_db
        exec "$probe" "$panel" "$state/$name.$n.log" "$rss_at_ms" "$tray_timeout_ms" "$poll_ms" "$app/penwick"
    ) </dev/null >"$out" 2>"$out.err" &
    probe_pid=$!
    wait_for "grep -q '^PID ' '$out' || ! _e2e_alive $probe_pid" 30
    app_pid=$(awk '$1 == "PID" { print $2 }' "$out")
    [ -n "$app_pid" ] || { log "the probe did not start the program (see $out.err)"; return 1; }
    wait_for "grep -q '^RSS_KB\\|^TRAY_MS exited' '$out' || ! _e2e_alive $probe_pid" $((tray_timeout_ms / 1000 + 30))
    # Cross-check with the shared library's view of the tray.
    local icon
    icon=$(tray_icon_of "$app_pid") || icon=none
    stop_pid "$app_pid"
    wait_for "! _e2e_alive $probe_pid" 5 || stop_pid "$probe_pid"
    wait "$probe_pid" 2>/dev/null
    app_pid="" probe_pid=""

    # The probe's lines are "KEY value KEY value ...".
    line=$(awk '
        $1 == "TRAY_MS" || $1 == "PAINT_MS" || $1 == "RSS_KB" { for (i = 1; i < NF; i += 2) v[$i] = $(i + 1) }
        END {
            split("TRAY_MS UNCERTAINTY_MS RSS_KB HWM_KB ANON_KB FILE_KB SHMEM_KB THREADS RUN_MS WAIT_MS PROBE_CPU_MS WID PAINT_MS", k, " ")
            for (i = 1; i <= 13; i++) printf "%s ", (k[i] in v) ? v[k[i]] : "-"
        }' "$out")
    # shellcheck disable=SC2086
    set -- $line
    if ! [[ $1 =~ ^[0-9.]+$ && $3 =~ ^[0-9]+$ ]]; then
        log "$name start $n failed: $(tr '\n' ' ' <"$out") (program log $state/$name.$n.log)"
        return 1
    fi
    if [ "$icon" = none ] || [ "$(printf '0x%x' "$icon")" != "${12}" ]; then
        log "WARNING: $name start $n: probe saw icon ${12}, tray_icon_of sees $icon"
    fi
    # A picture that did not come before the memory reading counts as that time.
    local paint=${13}
    [[ $paint =~ ^[0-9.]+$ ]] || paint=$rss_at_ms
    # columns: 1 ms 2 uncertainty 3 rss 4 hwm 5 anon 6 file 7 shmem 8 threads
    #          9 cpu ms 10 wait ms 11 probe cpu ms 12 load1 13 painted ms
    printf '%s %s %s %s %s %s %s %s %s %s %s %s %s\n' "$1" "$2" "$3" "$4" "$5" "$6" "$7" "$8" "$9" "${10}" "${11}" "$load" \
        "$paint" >>"$state/$name.data"
    awk -v name="$name" -v n="$n" -v ms="$1" -v unc="$2" -v rss="$3" -v hwm="$4" -v anon="$5" -v file="$6" \
        -v thr="$8" -v cpu="$9" -v wait="${10}" -v pcpu="${11}" -v load="$load" -v paint="$paint" 'BEGIN {
        printf "  %-8s #%-2d tray %6.1f ms (late<=%.1f) painted %6.1f ms | cpu %5.1f ms, cpu-wait %5.1f ms, probe cpu %4.1f ms" \
               " | VmRSS %4.1f MiB (anon %.1f, file %.1f; peak %.1f) threads %d | load1 %s\n",
               name, n, ms, unc, paint, cpu, wait, pcpu, rss / 1024, anon / 1024, file / 1024, hwm / 1024, thr, load }'
}

# switches PID: context switches so far, summed over the threads of PID
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ { n += $2 } END { print n + 0 }'
}

# idle_run NAME: context switches per second of one start idling in the tray
idle_run() {
    local name=$1 app="$state/app-$1" pid before after
    # Idle means no running alarm: the 10,000 notes' running ones count as acknowledged here.
    local db="$app/dbn.ib"
    [ "$name" = server10k ] && db=$server_db
    if [ "$name" != reference ]; then
        [ "$name" = server10k ] || cp "$state/pristine/$name.ib" "$app/dbn.ib"
        db_query "$db" "UPDATE NOTATKI SET Alarm = 3 WHERE Alarm = 1; COMMIT;" >/dev/null ||
            { log "idle $name: cannot clear the running alarms"; return 1; }
    fi
    (
        cd "$app" || exit 1
        unset QT_QPA_PLATFORMTHEME QT_QPA_OFFSCREEN_NO_GLX WAYLAND_DISPLAY FIREBIRD FIREBIRD_LOCK
        export QT_QPA_PLATFORM=xcb
        export XDG_CONFIG_HOME="$state/home/config" XDG_DATA_HOME="$state/home/data" XDG_CACHE_HOME="$state/home/cache"
        [ "$name" = server10k ] && export PENWICK_DATABASE=$server_db
        exec "$app/penwick"
    ) </dev/null >"$state/idle-$name.log" 2>&1 &
    pid=$!
    app_pid=$pid
    wait_for "tray_icon_of $pid >/dev/null" $((tray_timeout_ms / 1000)) || { log "idle $name: no tray icon"; stop_pid "$pid"; return 1; }
    # Let the start settle (the first checker pass included) before counting.
    sleep "$settle_s"
    before=$(switches "$pid")
    sleep "$idle_s"
    after=$(switches "$pid")
    stop_pid "$pid"
    app_pid=""
    awk -v a="$before" -v b="$after" -v s="$idle_s" 'BEGIN { printf "%.2f\n", (b - a) / s }'
}

# stats FILE COLUMN: "median min max" of a column
stats() {
    awk -v c="$2" '{ print $c }' "$1" | sort -g | awk '
        { v[NR] = $1 }
        END {
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%s %s %s\n", m, v[1], v[NR]
        }'
}

names="fresh notes10k"
[ -n "$server_db" ] && names="$names server10k"
[ -n "$reference" ] && names="$names reference"
echo "Start-up of $binary"
[ -n "$reference" ] && echo "Reference: $reference"
echo "machine: $(nproc) CPUs; before: $(uptime)"
if [ "$copy_each" = 1 ]; then
    echo "Every start on a fresh copy of its file (a file last written by another program)."
else
    echo "Every start on the file as the previous start left it, after one unmeasured start."
fi
for name in $names; do
    mkdir -p "$state/app-$name"
    if [ "$name" = reference ]; then cp "$reference" "$state/app-$name/penwick"; else cp "$binary" "$state/app-$name/penwick"; fi
    if [ "$name" != reference ] && [ "$copy_each" != 1 ]; then
        [ "$name" = server10k ] || cp "$state/pristine/$name.ib" "$state/app-$name/dbn.ib"
        one_start "$name" 0 >/dev/null || exit 1
    fi
    : >"$state/$name.data"
done
# The two databases take turns, so a change in the machine's load hits both alike.
for n in $(seq 1 "$runs"); do
    for name in $names; do
        one_start "$name" "$n" || exit 1
        sleep 0.5
    done
done
echo "after: $(uptime)"

echo
echo "Idle in the tray with no running alarm, $idle_s s each after $settle_s s to settle:"
printf '%-14s %22s\n' database "context switches / s"
for name in $names; do
    case $name in fresh) label="fresh dbn.ib" ;; notes10k) label="10,000 notes" ;; server10k) label="10,000 on server" ;; reference) label="reference" ;; esac
    rate=$(idle_run "$name") || exit 1
    printf '%-14s %22s\n' "$label" "$rate"
    echo "${name}_idle_per_s $rate" >>"$state/summary"
done

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
echo
printf '%-14s %6s %10s  %-13s %12s %13s %14s %15s  %-13s\n' database starts "median ms" "min-max ms" "painted ms" "median cpu ms" "median wait ms" "median RSS MiB" "min-max MiB"
for name in $names; do
    read -r ms_med ms_min ms_max < <(stats "$state/$name.data" 1)
    read -r kb_med kb_min kb_max < <(stats "$state/$name.data" 3)
    read -r cpu_med _ _ < <(stats "$state/$name.data" 9)
    read -r wait_med _ _ < <(stats "$state/$name.data" 10)
    read -r paint_med _ _ < <(stats "$state/$name.data" 13)
    case $name in fresh) label="fresh dbn.ib" ;; notes10k) label="10,000 notes" ;; server10k) label="10,000 on server" ;; reference) label="reference" ;; esac
    printf '%s_%s %s\n' "$name" starts "$(wc -l <"$state/$name.data")" "$name" tray_ms "$ms_med" "$name" tray_ms_min "$ms_min" \
        "$name" tray_ms_max "$ms_max" "$name" rss_mib "$(mib "$kb_med")" >>"$state/summary"
    printf '%-14s %6d %10.1f  %-13s %12.1f %13.1f %14.1f %15s  %-13s\n' "$label" "$(wc -l <"$state/$name.data")" \
        "$ms_med" "$(printf '%.1f-%.1f' "$ms_min" "$ms_max")" "$paint_med" "$cpu_med" "$wait_med" "$(mib "$kb_med")" \
        "$(mib "$kb_min")-$(mib "$kb_max")"
done
all=$(cat "$state"/*.data)
read -r unc_med _ unc_max < <(stats <(printf '%s\n' "$all") 2)
read -r pcpu_med _ _ < <(stats <(printf '%s\n' "$all") 11)
read -r load_med _ load_max < <(stats <(printf '%s\n' "$all") 12)
echo
echo "ms: from just before posix_spawn of the program to the probe's first check that saw one of its"
echo "  windows viewable under trayer's panel. The probe is woken by X events (create, reparent, map)"
echo "  and polls at least every $poll_ms ms; the embedding happened at most the uncertainty before the"
echo "  reported time (median $(printf '%.2f' "$unc_med") ms, largest $(printf '%.2f' "$unc_max") ms here). The probe itself used a median"
echo "  $(printf '%.1f' "$pcpu_med") ms of CPU per start until then."
echo "painted ms (median): until the embedded icon window first shows the program's picture (at least"
echo "  three distinct pixel values; checked every $poll_ms ms): before that the tray shows an empty square."
echo "cpu ms / wait ms: CPU time of the program's threads until the icon showed, and their time spent"
echo "  waiting for a CPU (schedstat): a large wait means the machine was busy."
echo "RSS: VmRSS from /proc/PID/status ${rss_at_ms} ms after the start."
echo "Load average (1 min) at the starts: median $load_med, largest $load_max."
read -r f_ms _ < <(stats "$state/fresh.data" 1)
read -r f_kb _ < <(stats "$state/fresh.data" 3)
verdict() { awk -v v="$1" -v g="$2" 'BEGIN { print (v <= g) ? "met" : "MISSED" }'; }
if [ -n "$reference" ]; then
    read -r r_ms _ < <(stats "$state/reference.data" 1)
    read -r r_kb _ < <(stats "$state/reference.data" 3)
    echo "reference: the least Qt tray program, on the same desktop (it never paints, so its painted ms is"
    echo "  the memory reading's time). With the fresh file the program takes $(awk -v a="$f_ms" -v b="$r_ms" 'BEGIN { printf "%+.1f", a - b }') ms and" \
        "$(awk -v a="$f_kb" -v b="$r_kb" 'BEGIN { printf "%+.1f", (a - b) / 1024 }') MiB over it."
    echo "  (The time goal was set where the reference took 30 ms: at most 30 ms over it, or twice it;"
    echo "  here the program takes $(awk -v a="$f_ms" -v b="$r_ms" 'BEGIN { printf "%.2f", a / b }') times the reference's time.)"
fi
echo "Goals with the fresh file: <= $goal_ms ms to the tray icon: $(verdict "$f_ms" "$goal_ms");" \
    "<= $goal_mib MiB resident: $(verdict "$(mib "$f_kb")" "$goal_mib")."
if [ -n "${STARTUP_SUMMARY:-}" ]; then
    printf 'idle_s %s\nsettle_s %s\nload1_median %s\nload1_max %s\n' "$idle_s" "$settle_s" "$load_med" "$load_max" \
        >>"$state/summary"
    cp "$state/summary" "$STARTUP_SUMMARY" || { log "cannot write $STARTUP_SUMMARY"; exit 1; }
fi
ok=1
