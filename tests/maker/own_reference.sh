#!/bin/sh
# own_reference.sh TEXT OUTDIR
# Pictures of pages 1 to 3 as a native build with the text TEXT shows them
# (built as `make run TEXT=...` builds it, in the own-content tree), for
# the maker's tests to compare its preview and its download with.
set -eu
text=$1
out=$2
. "$(dirname "$0")/../own_content/own_build.sh"
log=$OWN_BUILD.maker.log
if ! { own_configure "TEXT=$text" && cmake --build "$OWN_BUILD" --target snapshot -j2; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "FAIL: no native build with $text" >&2
    exit 1
fi
mkdir -p "$out"
"$OWN_BUILD/tools/snapshot" --ppm "$out" page1 page2 page3
