# Sourced with a database file: the Firebird environment every process that
# opens that file must share (the program sets the same values for itself).
#   . tools/firebird-env.sh path/to/dbn.ib
#
# Everything lies in a private per-user folder in memory, /dev/shm/penwick-UID:
# the engine's root `engine` (a firebird.conf with `ServerMode = SuperClassic`,
# which lets several processes open one file, and a link to the character
# sets), and one lock folder per file system under `locks/`, named after the
# device that holds the file (links followed), whatever TMPDIR or anything
# else says: two processes with different lock folders each cache pages of
# their own and lose each other's writes without a word, and every name of a
# file (a link, a hard link, a bind mount) lies on its one device. When those
# folders cannot be ours alone (a link, another user's) nothing is exported and
# the status is 1; a private folder that was open to others is emptied first.
penwick_fb_env() {
    local file=$1 real dev base root locks folder conf held f
    if [ -z "$file" ]; then
        echo "firebird-env.sh: name the database file: . tools/firebird-env.sh path/to/dbn.ib" >&2
        return 1
    fi
    real=$(realpath -m -- "$file") || return 1
    dev=$(stat -L -c %d -- "$real" 2>/dev/null || stat -L -c %d -- "$(dirname -- "$real")") || return 1
    base=/dev/shm/penwick-$(id -u)
    root=$base/engine
    locks=$base/locks
    folder=$locks/$dev
    mkdir -m 700 -- "$base" 2>/dev/null
    if [ -L "$base" ] || [ ! -d "$base" ] || [ ! -O "$base" ]; then
        echo "firebird-env.sh: $base is not a folder of yours; remove it first" >&2
        return 1
    fi
    if [ "$(stat -c %a -- "$base")" != 700 ]; then
        # Open to others: anything may have been planted in it.
        find "$base" -mindepth 1 -delete 2>/dev/null
        chmod 700 -- "$base" || { echo "firebird-env.sh: $base cannot be made private" >&2; return 1; }
    fi
    for f in "$root" "$locks" "$folder"; do
        mkdir -m 700 -- "$f" 2>/dev/null
        if [ -L "$f" ] || [ ! -d "$f" ] || [ ! -O "$f" ]; then
            echo "firebird-env.sh: $f is not a folder of yours; remove it first" >&2
            return 1
        fi
        chmod 700 -- "$f" || return 1
    done
    conf='ServerMode = SuperClassic
TracePlugin =
'
    if [ "$(cat "$root/firebird.conf" 2>/dev/null; echo x)" != "${conf}x" ]; then
        if ! { printf '%s' "$conf" >"$root/firebird.conf.$$" && mv -f -- "$root/firebird.conf.$$" "$root/firebird.conf"; }; then
            rm -f -- "$root/firebird.conf.$$"
            echo "firebird-env.sh: $root/firebird.conf cannot be written" >&2
            return 1
        fi
    fi
    if [ "$(readlink -- "$root/intl")" != /usr/lib/x86_64-linux-gnu/firebird/3.0/intl ]; then
        rm -rf -- "$root/intl"
        ln -s /usr/lib/x86_64-linux-gnu/firebird/3.0/intl "$root/intl" 2>/dev/null
    fi
    # An older version kept its lock files beside the file: while one of its
    # copies has the file open, a second lock folder would lose writes.
    for held in "$(dirname -- "$real")"/.penwick-lock/fb_lock_*; do
        if [ -f "$held" ] && ! flock -n -x "$held" true 2>/dev/null; then
            echo "firebird-env.sh: an older Penwick has $file open (lock files in $(dirname -- "$held")); close it first" >&2
            return 1
        fi
    done
    export FIREBIRD="$root" FIREBIRD_LOCK="$folder"
    return 0
}

# The last command is a function call, not a bare list: bash 5.2 runs the last
# simple command of a sourced file in a subshell with exec, which ended the
# subshell silently.
penwick_fb_env "${1:-}"
