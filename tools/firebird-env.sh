# Sourced: the Firebird environment every process that opens a Penwick database
# must share (the program sets the same values for itself). SuperClassic lets two
# processes open one file; the lock folder must be the same for all of them.
penwick_fb_root="${TMPDIR:-/tmp}/penwick-$(id -u)"
export FIREBIRD="$penwick_fb_root/firebird"
export FIREBIRD_LOCK="$penwick_fb_root/lock"
mkdir -p -m 700 "$penwick_fb_root"
mkdir -p "$FIREBIRD" "$FIREBIRD_LOCK"
[ -f "$FIREBIRD/firebird.conf" ] || printf 'ServerMode = SuperClassic\n' > "$FIREBIRD/firebird.conf"
