#!/bin/sh
# render-digests.sh BUILD_DIR [--update] [SONG.xm ...]
# Renders each song with both players (xmrender --small and --full, whole
# first pass) and compares the SHA-256 of each WAV with the one recorded in
# render-digests.txt beside this script. Any change to the sound of either
# player, down to one sample, fails here; a deliberate change is recorded
# with --update (and said in its commit).
#
# Without songs it takes the built-in song (compiled from
# resources/song/score.txt, whatever SONG= the build was given) and every
# .xm in QUILLON_TEST_SONGS (default ../shared/xm beside the checkout), when
# that folder exists. `make compare-renders` runs it on those and on the
# songs `make compare-songs` fetches.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
shift
update=0
if [ "${1:-}" = "--update" ]; then update=1; shift; fi
digests="$here/render-digests.txt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tools/songc" "$root/resources/song/score.txt" "$work/built-in.xm" >/dev/null
if [ $# -eq 0 ]; then
    set -- "$work/built-in.xm"
    shared=${QUILLON_TEST_SONGS:-$root/../shared/xm}
    for song in "$shared"/*.xm; do
        [ -f "$song" ] && set -- "$@" "$song"
    done
fi

failed=0
checked=0
for song in "$@"; do
    name=$(basename "$song" .xm)
    for player in small full; do
        "$build/tools/xmrender" "$song" "$work/out.wav" "--$player" >/dev/null
        got=$(sha256sum "$work/out.wav" | cut -d' ' -f1)
        key="$name $player"
        want=$(awk -v k="$key" '$1 " " $2 == k { print $3 }' "$digests" 2>/dev/null || true)
        if [ "$update" = 1 ]; then
            grep -v "^$key " "$digests" > "$work/d" 2>/dev/null || true
            echo "$key $got" >> "$work/d"
            sort "$work/d" > "$digests"
            echo "recorded $key"
        elif [ -z "$want" ]; then
            echo "no recorded digest for $key (record it with --update)"
            failed=1
        elif [ "$got" != "$want" ]; then
            echo "CHANGED: $key renders differently from the recorded sound"
            failed=1
        else
            checked=$((checked + 1))
        fi
    done
done
[ "$update" = 1 ] || echo "$checked renders equal to their recorded digests"
exit $failed
