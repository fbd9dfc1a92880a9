# shellcheck shell=bash
# Sourced by the reliability scripts: validates a database file with
# `gfix -v -full` and sorts what it says.
#   validate_file DB   sets validation_errors, validation_warnings and
#                      validation_listing; status 0 unless something is
#                      damaged (an error count above 0, or a line gfix is not
#                      known to print).
#
# A process killed in the middle of a write can leave pages allocated that no
# table reaches yet (orphan pages) or an index page whose left-sibling pointer
# was not updated yet: gfix counts them as warnings. Neither loses or changes a
# row; `gfix -mend` or the next sweep clears them.
validate_file() {
    local db=$1 out line log before=0
    log=/var/log/firebird3.0.log
    [ -r "$log" ] && before=$(wc -c <"$log")
    out=$(gfix -v -full -user sysdba -password quietbird "$db" 2>&1)
    validation_errors=0
    validation_warnings=0
    validation_listing=""
    local unknown=0
    while IFS= read -r line; do
        [ -z "${line//[[:space:]]/}" ] && continue
        if [[ $line =~ Number\ of\ .*\ errors[[:space:]]*:[[:space:]]*([0-9]+) ]]; then
            validation_errors=$((validation_errors + BASH_REMATCH[1]))
        elif [[ $line =~ Number\ of\ .*\ warnings[[:space:]]*:[[:space:]]*([0-9]+) ]]; then
            validation_warnings=$((validation_warnings + BASH_REMATCH[1]))
            validation_listing+="${line//$'\t'/ }"$'\n'
        elif [[ $line =~ ^Summary\ of\ validation ]]; then
            :
        else
            unknown=$((unknown + 1))
            validation_listing+="unexpected: $line"$'\n'
        fi
    done <<<"$out"
    # What each warning was, from the engine's log.
    if [ -r "$log" ] && [ "$validation_warnings" -gt 0 ]; then
        validation_listing+=$(tail -c +"$((before + 1))" "$log" | grep -iE 'warning|orphan|sibling' | sed 's/^[[:space:]]*/  /' | sort | uniq -c | head -20)
    fi
    [ "$validation_errors" = 0 ] && [ "$unknown" = 0 ]
}
