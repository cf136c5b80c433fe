#!/bin/sh
# own_song.sh SONG.xm TEXT.txt
# Builds the program with someone's own song (an .xm as a tracker saved it)
# and own text, then proves that the built program plays that song and
# shows that text:
#   - under a virtual X server with SDL's disk audio driver, the sound it
#     played equals xmrender's render of the song (tests/e2e/audio);
#   - the headless snapshot of its pages shows the text, cell by cell.
set -eu
: "${XMRENDER:?}" "${SEND_CLOSE:?}" "${PAGE_TEXT_CHECK:?}"
song=$1
text=$2
. "$(dirname "$0")/own_build.sh"

log=$OWN_BUILD.log
if ! { own_configure "SONG=$song" "TEXT=$text" &&
       cmake --build "$OWN_BUILD" --target quillon snapshot -j2; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "FAIL: the program does not build with $song and $text" >&2
    exit 1
fi
cmp "$song" "$OWN_BUILD/resources/MUSIC.xm" || { echo "FAIL: the build did not take the song as it is" >&2; exit 1; }

shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
"$OWN_BUILD/tools/snapshot" --ppm --surface PAGE "$shots" page1 >/dev/null
"$PAGE_TEXT_CHECK" "$shots/page1.ppm" "$OWN_BUILD/resources/FONT.bmp" "$text"

QUILLON=$OWN_BUILD/quillon SONG=$song XMRENDER=$XMRENDER SEND_CLOSE=$SEND_CLOSE \
    sh "$(dirname "$0")/../e2e/audio/disk_capture.sh"
