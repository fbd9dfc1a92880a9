#!/usr/bin/env bash
# The tray program must not load Qt WebEngine: only penwick-publicity links it.
#   bash tests/links_no_webengine.sh PENWICK [PENWICK_PUBLICITY]
set -u
fails=0
if ldd "$1" | grep -i webengine; then
    echo "FAIL: $1 links Qt WebEngine"
    fails=1
else
    echo "PASS: $1 does not link Qt WebEngine"
fi
# The same look-up does find the library where it is linked.
if [ $# -ge 2 ]; then
    if ldd "$2" | grep -q 'libQt6WebEngineCore'; then
        echo "PASS: $2 links Qt WebEngine"
    else
        echo "FAIL: $2 shows no Qt WebEngine library to ldd"
        fails=1
    fi
fi
exit "$fails"
