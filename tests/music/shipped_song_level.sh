#!/bin/sh
# The shipped song over one whole loop, rendered as the program plays it:
# no value of the float mix ever clips, and the RMS level lies between -20
# and -10 dBFS (sox).
set -u
: "${XMRENDER:?path of xmrender}"
: "${SONG:?path of the built song}"
command -v sox >/dev/null || { echo "FAIL: sox is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$XMRENDER" "$SONG" "$work/song.wav" --report-peak >"$work/report" || { echo "FAIL: xmrender failed" >&2; exit 1; }
cat "$work/report"
grep -q '^loop after' "$work/report" || { echo "FAIL: the song did not loop within the render" >&2; exit 1; }
clipped=$(sed -n 's/^clipped-values \([0-9]*\)$/\1/p' "$work/report")
[ "$clipped" = 0 ] || { echo "FAIL: $clipped values of the float mix clip" >&2; exit 1; }
rms=$(sox "$work/song.wav" -n stats 2>&1 | sed -n 's/^RMS lev dB *\([-0-9.]*\).*/\1/p')
echo "RMS level $rms dBFS"
awk -v r="$rms" 'BEGIN { exit !(r != "" && r >= -20 && r <= -10) }' || { echo "FAIL: RMS level $rms dBFS is outside -20..-10" >&2; exit 1; }
echo "ok"
