#!/usr/bin/env bash
# Builds both Debian packages with CPack into a temporary folder and checks
# their file lists, their relations and what lintian says of them. Exits 77
# (skipped) where the Debian tools are missing.
#   bash tests/package_deb.sh BUILD_DIR [--bare-debian]
# --bare-debian (make test-package) also installs `penwick` with apt into a
# bare Debian 12 made by debootstrap (kept in BUILD_DIR/bare-debian), starts it
# there to its tray icon on a headless desktop of the host's, and measures the
# installed size of each package with its dependencies. Needs root (debootstrap,
# mount, chroot).
set -u
[ $# -ge 1 ] && [ $# -le 2 ] && { [ $# = 1 ] || [ "$2" = --bare-debian ]; } ||
    { echo "usage: $0 BUILD_DIR [--bare-debian]" >&2; exit 2; }
build=$(realpath "$1")
bare=${2:-}
for tool in dpkg-deb dpkg-shlibdeps cpack lintian ${bare:+debootstrap}; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (apt-get install dpkg-dev lintian debootstrap)"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/penwick-deb.XXXXXX")
# pass, fail, check; and for --bare-debian the headless desktop.
# shellcheck source=tests/e2e/desktop.sh
. "$(dirname "$0")/e2e/desktop.sh"
finish() {
    if [ "$E2E_FAILS" = 0 ]; then
        rm -rf "$work"
        echo "RESULT: PASS"
    else
        echo "RESULT: FAIL (kept in $work)"
    fi
}
trap finish EXIT

if ! (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work") >"$work/cpack.log" 2>&1; then
    fail "cpack makes the packages (see $work/cpack.log)"
    exit 1
fi
deb=$(ls "$work"/penwick_*.deb 2>/dev/null | head -1)
helper=$(ls "$work"/penwick-publicity_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] && [ -n "$helper" ] || { fail "penwick_*.deb and penwick-publicity_*.deb in $work"; exit 1; }
pass "cpack made $(basename "$deb") and $(basename "$helper")"

files_of() { dpkg-deb -c "$1" | awk '{ print $NF }' | sed 's|^\./|/|'; }
names_in() { sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$1"; }
files=$(files_of "$deb")
helper_files=$(files_of "$helper")
for file in /usr/bin/penwick /usr/bin/penwickctl /usr/share/man/man1/penwickctl.1.gz \
    /usr/share/bash-completion/completions/penwickctl /usr/share/penwick/dbn.ib /usr/share/penwick/dbn.sql \
    /usr/share/applications/penwick.desktop \
    /usr/share/icons/hicolor/48x48/apps/penwick.png /usr/share/icons/hicolor/256x256/apps/penwick.png \
    /usr/share/icons/hicolor/scalable/apps/penwick.svg /usr/share/man/man1/penwick.1.gz \
    /usr/share/doc/penwick/copyright /usr/share/doc/penwick/changelog.Debian.gz; do
    check "penwick holds $file" grep -qx "$file" <<<"$files"
done
check "penwick holds an AppStream metainfo file" grep -q '^/usr/share/metainfo/.*\.metainfo\.xml$' <<<"$files"
for file in /usr/libexec/penwick/penwick-publicity /usr/share/doc/penwick-publicity/copyright \
    /usr/share/doc/penwick-publicity/changelog.Debian.gz; do
    check "penwick-publicity holds $file" grep -qx "$file" <<<"$helper_files"
done
check "the publicity window is in no package's /usr/bin" eval '! grep -q "^/usr/bin/penwick-publicity" <<<"$files$helper_files"'
for command in $(grep '^/usr/bin/.' <<<"$files$helper_files"); do
    check "a manual page for ${command##*/}" grep -qx "/usr/share/man/man1/${command##*/}.1.gz" <<<"$files"
done
# The notes are each user's; a package that owned one would remove it with itself.
check "no database outside /usr/share/penwick" eval '! grep -v "^/usr/share/penwick/" <<<"$files" | grep -q "dbn\.ib"'
check "nothing outside /usr" eval '! grep -Ev "^/(usr(/.*)?)?$" <<<"$files$helper_files" | grep -q .'

depends=$(dpkg-deb -f "$deb" Depends)
echo "penwick Depends: $depends"
# What the program links (found by dpkg-shlibdeps) and what it loads unlinked.
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libfbclient2 \
    firebird3.0-server-core fonts-wine qt6-wayland; do
    check "penwick Depends names $package" grep -qxF "$package" <<<"$(names_in "$depends")"
done
check "penwick Depends carries versions from the shared libraries" grep -Eq 'libqt6core6 \(>= [0-9]' <<<"$depends"
check "penwick does not depend on Qt WebEngine" eval '! grep -qi webengine <<<"$depends"'
check "penwick recommends penwick-publicity" [ "$(dpkg-deb -f "$deb" Recommends)" = penwick-publicity ]
version=$(dpkg-deb -f "$deb" Version)
helper_depends=$(dpkg-deb -f "$helper" Depends)
echo "penwick-publicity Depends: $helper_depends"
check "penwick-publicity depends on penwick ($version) and Qt WebEngine" \
    eval 'grep -qF "penwick (= $version)" <<<"$helper_depends" && names_in "$helper_depends" | grep -qx libqt6webenginewidgets6'
check "both packages have version $version" [ "$(dpkg-deb -f "$helper" Version)" = "$version" ]
dpkg-deb -x "$deb" "$work/root"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$work"/root/usr/share/metainfo/*.metainfo.xml)
check "the AppStream release $release is the package version's base" [ "$release" = "${version%-*}" ]
check "the changelog's entry is $version" \
    eval 'zcat "$work/root/usr/share/doc/penwick/changelog.Debian.gz" | head -1 | grep -qF "penwick ($version)"'

lintian --info "$deb" "$helper" >"$work/lintian.log" 2>&1
cat "$work/lintian.log"
check "lintian finds no error and no warning" eval '! grep -Eq "^[EW]: " "$work/lintian.log"'

[ -n "$bare" ] || exit "$((E2E_FAILS > 0))"

# --- a bare Debian 12: the package alone brings what the program needs -------
# The pristine system is made once and kept; each run installs into a copy.
cache="$build/bare-debian/bookworm"
mirror=${DEBIAN_MIRROR:-$(sed -n 's/^URIs: *\([^ ]*\/debian\)$/\1/p; s/^deb  *\(http[^ ]*\/debian\)  *bookworm .*/\1/p' \
    /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null | head -1)}
if [ ! -d "$cache" ]; then
    echo "debootstrap of bookworm from $mirror into $cache"
    rm -rf "$cache.partial"
    debootstrap --variant=minbase bookworm "$cache.partial" "$mirror" >"$work/debootstrap.log" 2>&1 &&
        mv "$cache.partial" "$cache" || { fail "debootstrap (see $work/debootstrap.log)"; exit 1; }
fi
root="$build/bare-debian/run"
mounted=()
unmount() { local m; for m in ${mounted[@]+"${mounted[@]}"}; do umount "$m"; done; mounted=(); }
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
# Kilobytes that dpkg counts for everything installed.
installed_kb() { in_root dpkg-query -W -f '${Installed-Size}\n' | awk '{ s += $1 } END { print s }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.0f MB", k / 1024 }'; }
trap 'stop_pid $E2E_APP_PID; desktop_stop; unmount; finish' EXIT
# The host gives only the screen, tray and bus, as a desktop would; the program
# and everything it loads come from the bare system.
export TMPDIR="$root/tmp"

# bare_install LABEL [APT_OPTION]: both packages into a fresh copy of the bare
# system; the program started from there with only penwick installed.
bare_install() {
    local label=$1 option=${2:-} before with_program
    unmount
    rm -rf "$root" && cp -a "$cache" "$root" || { fail "copy the bare system"; return 1; }
    # The engine keeps its lock files in /dev/shm: the bare system's own, not the host's.
    for fs in proc:proc tmpfs:dev/shm; do
        mount -t "${fs%%:*}" penwick-test "$root/${fs#*:}" || { fail "mount $root/${fs#*:}"; return 1; }
        mounted=("$root/${fs#*:}" ${mounted[@]+"${mounted[@]}"})
    done
    cp /etc/resolv.conf "$root/etc/" && cp "$deb" "$helper" "$root/tmp/"
    before=$(installed_kb)
    in_root apt-get update >"$work/apt.$label.log" 2>&1
    check "$label: apt installs ./$(basename "$deb") into the bare system" \
        eval 'in_root apt-get install -y $option "./tmp/$(basename "$deb")" >>"$work/apt.$label.log" 2>&1'
    with_program=$(installed_kb)

    E2E_STATE=$(mktemp -d "$TMPDIR/penwick-e2e.XXXXXX")
    desktop_start "$E2E_STATE/desktop" || { fail "start the headless desktop"; return 1; }
    (
        exec chroot "$root" env -i HOME=/root LANG=C.UTF-8 DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb \
            XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR#"$root"}" \
            DBUS_SESSION_BUS_ADDRESS="unix:path=${DBUS_SESSION_BUS_ADDRESS#unix:path="$root"}" /usr/bin/penwick
    ) </dev/null >"$work/penwick.$label.log" 2>&1 &
    E2E_APP_PID=$!
    check "$label: the installed program starts to its tray icon" wait_for "tray_icon_of $E2E_APP_PID >/dev/null" 30
    check "$label: its first start made the user's notes file" [ -s "$root/root/.local/share/penwick/dbn.ib" ]
    screenshot "$build/bare-debian/tray.$label.png"
    stop_pid "$E2E_APP_PID"
    desktop_stop

    check "$label: apt installs ./$(basename "$helper") beside it" \
        eval 'in_root apt-get install -y $option "./tmp/$(basename "$helper")" >>"$work/apt.$label.log" 2>&1'
    echo "SIZE: $label: penwick with its dependencies $(mb $((with_program - before)))," \
        "penwick-publicity adds $(mb $(($(installed_kb) - with_program))) (bare Debian 12, $(date +%F))"
}
bare_install depends-only --no-install-recommends
bare_install apt-defaults
exit "$((E2E_FAILS > 0))"
