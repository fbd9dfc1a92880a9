#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks its
# file list and its Depends. Exits 77 (skipped) where the Debian tools are missing.
#   bash tests/package_deb.sh BUILD_DIR
set -u
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(realpath "$1")
for tool in dpkg-deb dpkg-shlibdeps cpack; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (apt-get install dpkg-dev)"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/penwick-deb.XXXXXX")
fails=0
pass() { printf 'PASS: %s\n' "$*"; }
fail() { printf 'FAIL: %s\n' "$*"; fails=$((fails + 1)); }
check() {
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}
finish() {
    if [ "$fails" = 0 ]; then
        rm -rf "$work"
        echo "RESULT: PASS"
    else
        echo "RESULT: FAIL (kept in $work)"
    fi
}
trap finish EXIT

if ! (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work") >"$work/cpack.log" 2>&1; then
    fail "cpack makes the package (see $work/cpack.log)"
    exit 1
fi
deb=$(ls "$work"/penwick_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { fail "a penwick_*.deb in $work"; exit 1; }
pass "cpack made $(basename "$deb")"

files=$(dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./|/|')
for file in /usr/bin/penwick /usr/bin/penwickctl /usr/share/man/man1/penwickctl.1.gz \
    /usr/share/bash-completion/completions/penwickctl /usr/share/penwick/dbn.ib /usr/share/applications/penwick.desktop \
    /usr/share/icons/hicolor/48x48/apps/penwick.png /usr/share/icons/hicolor/256x256/apps/penwick.png \
    /usr/share/icons/hicolor/scalable/apps/penwick.svg; do
    check "the package holds $file" grep -qx "$file" <<<"$files"
done
check "the package holds an AppStream metainfo file" grep -q '^/usr/share/metainfo/.*\.metainfo\.xml$' <<<"$files"
# The notes are each user's; a package that owned one would remove it with itself.
check "no database outside /usr/share/penwick" eval '! grep -v "^/usr/share/penwick/" <<<"$files" | grep -q "dbn\.ib"'
check "nothing outside /usr" eval '! grep -Ev "^/(usr(/.*)?)?$" <<<"$files" | grep -q .'

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
# What the program links (found by dpkg-shlibdeps) and what it loads unlinked.
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libfbclient2 \
    firebird3.0-server-core fonts-wine; do
    check "Depends names $package" grep -qxF "$package" <<<"$names"
done
check "Depends carries versions from the shared libraries" grep -Eq 'libqt6core6 \(>= [0-9]' <<<"$depends"
exit "$((fails > 0))"
