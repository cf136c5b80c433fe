#!/bin/sh
# bad_input.sh VAR=FILE
# Builds the content with one bad piece, as `make run VAR=FILE` would, and
# prints what the build said; it must fail (ctest then checks the message).
set -u
. "$(dirname "$0")/own_build.sh"
if own_configure "$1" >"$OWN_BUILD.log" 2>&1 &&
   cmake --build "$OWN_BUILD" --target quillon_resources quillon_song_check quillon_icon -j2 >>"$OWN_BUILD.log" 2>&1
then
    cat "$OWN_BUILD.log"
    echo "FAIL: the build took $1"
    exit 1
fi
cat "$OWN_BUILD.log"
