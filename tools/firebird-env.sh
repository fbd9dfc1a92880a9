# Sourced: the Firebird environment every process that opens a Penwick database
# must share (the program sets the same values for itself). SuperClassic lets two
# processes open one file; the lock folder must be the same for all of them.
penwick_fb_root="${TMPDIR:-/tmp}/penwick-$(id -u)"
export FIREBIRD="$penwick_fb_root/firebird"
export FIREBIRD_LOCK="$penwick_fb_root/lock"
mkdir -p -m 700 "$penwick_fb_root"
mkdir -p "$FIREBIRD" "$FIREBIRD_LOCK"
penwick_fb_conf='ServerMode = SuperClassic
TracePlugin =
'
if [ "$(cat "$FIREBIRD/firebird.conf" 2>/dev/null; echo x)" != "${penwick_fb_conf}x" ]; then
    printf '%s' "$penwick_fb_conf" > "$FIREBIRD/firebird.conf.$$" && mv "$FIREBIRD/firebird.conf.$$" "$FIREBIRD/firebird.conf"
fi
[ -e "$FIREBIRD/intl" ] || ln -s /usr/lib/x86_64-linux-gnu/firebird/3.0/intl "$FIREBIRD/intl"
