#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet; does nothing
# (and asks for nothing) when all are there. As root it runs apt-get itself,
# otherwise through sudo; with neither, it says what to run as root.
set -euo pipefail
missing=()
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
if [ "$(id -u)" != 0 ]; then
    if ! command -v sudo >/dev/null; then
        cat >&2 <<EOF
These Debian packages are missing: ${missing[*]}
Installing them needs root, and sudo is not installed. Either run, as root
(su - asks for the root password):

    su - -c 'apt-get update && apt-get install -y --no-install-recommends ${missing[*]}'

and then repeat your make command; or install sudo once as root and let
yourself use it, then log out and in again:

    su - -c 'apt-get install -y sudo && adduser $(id -un) sudo'
EOF
        exit 1
    fi
    sudo=sudo
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
