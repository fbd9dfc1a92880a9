# Sourced with a database file: the Firebird environment every process that
# opens that file must share (the program sets the same values for itself).
#   . tools/firebird-env.sh path/to/dbn.ib
#
# The lock folder is `.penwick-lock` in the folder that really holds the file
# (links followed), whatever TMPDIR or anything else says: two processes with
# different lock folders each cache pages of their own and lose each other's
# writes without a word. The folder also holds a firebird.conf with
# `ServerMode = SuperClassic`, which lets several processes open one file.
# When that folder cannot be ours alone (a link, another user's, not private)
# nothing is exported and the status is 1.
penwick_fb_env() {
    local file=$1 real folder conf
    if [ -z "$file" ]; then
        echo "firebird-env.sh: name the database file: . tools/firebird-env.sh path/to/dbn.ib" >&2
        return 1
    fi
    real=$(realpath -m -- "$file") || return 1
    folder="$(dirname -- "$real")/.penwick-lock"
    mkdir -m 700 -- "$folder" 2>/dev/null
    if [ -L "$folder" ] || [ ! -d "$folder" ] || [ ! -O "$folder" ]; then
        echo "firebird-env.sh: $folder is not a folder of yours; remove it first" >&2
        return 1
    fi
    if [ "$(stat -c %a -- "$folder")" != 700 ] && ! chmod 700 -- "$folder"; then
        echo "firebird-env.sh: $folder cannot be made private" >&2
        return 1
    fi
    conf='ServerMode = SuperClassic
TracePlugin =
'
    if [ "$(cat "$folder/firebird.conf" 2>/dev/null; echo x)" != "${conf}x" ]; then
        printf '%s' "$conf" >"$folder/firebird.conf.$$" && mv -f -- "$folder/firebird.conf.$$" "$folder/firebird.conf"
    fi
    if [ ! -e "$folder/intl" ] && [ ! -L "$folder/intl" ]; then
        ln -s /usr/lib/x86_64-linux-gnu/firebird/3.0/intl "$folder/intl" 2>/dev/null
    fi
    export FIREBIRD="$folder" FIREBIRD_LOCK="$folder"
    return 0
}

# The last command is a function call, not a bare list: bash 5.2 runs the last
# simple command of a sourced file in a subshell with exec, which ended the
# subshell silently.
penwick_fb_env "${1:-}"
