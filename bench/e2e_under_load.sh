#!/usr/bin/env bash
# Runs the end-to-end tests RUNS times in a row (ctest -L e2e) with a busy
# loop on every core beside them, and counts the passes.
#   bench/e2e_under_load.sh BUILD_DIR [RUNS]
set -u
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [RUNS]" >&2; exit 2; }
build=$(realpath "$1")
runs=${2:-10}
hogs=()
stop_hogs() {
    local pid
    for pid in "${hogs[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${hogs[@]}"; do wait "$pid" 2>/dev/null; done
}
trap stop_hogs EXIT
for ((c = 0; c < $(nproc); c++)); do
    ( while :; do :; done ) &
    hogs+=("$!")
done
echo "busy loops: ${hogs[*]}"
passed=0
tests_passed=0
tests_run=0
for ((i = 1; i <= runs; i++)); do
    out=$(cd "$build" && ctest -L e2e --output-on-failure 2>&1)
    line=$(printf '%s\n' "$out" | grep -E 'tests passed, [0-9]+ tests failed out of')
    echo "run $i: $line"
    printf '%s\n' "$out" | grep -E '\*\*\*Failed|Timeout|^FAIL: ' || true
    ok=$(printf '%s\n' "$line" | sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p')
    set -- $ok
    tests_run=$((tests_run + ${2:-0}))
    tests_passed=$((tests_passed + ${2:-0} - ${1:-0}))
    [ "${1:-1}" = 0 ] && passed=$((passed + 1))
done
echo "runs passed: $passed of $runs; tests passed: $tests_passed of $tests_run"
[ "$passed" = "$runs" ]
