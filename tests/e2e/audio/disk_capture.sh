#!/bin/sh
# The real program's sound, captured by SDL's disk audio driver under a
# virtual X server, must be exactly what xmrender renders of the same song:
# frame for frame from the first sound up to the stop. The run lasts well
# over one ring (two seconds), so the feeder's refills are compared as well
# as the pre-fill. Only the last ring may differ: after the feeder has
# stopped the device loops the ring as last filled until it is reset.
: "${XMRENDER:?path of xmrender}"
: "${SONG:?path of the built song}"
command -v cmp >/dev/null || { echo "FAIL: cmp is missing" >&2; exit 1; }
. "$(dirname "$0")/../common.sh"

RING_BYTES=353600
BYTES_PER_SECOND=176400
PLAY_SECONDS=7

export SDL_DISKAUDIOFILE="$work/capture.raw"
E2E_AUDIODRIVER=disk
start_program

# Let the song play until the capture holds well over one ring of sound.
tries=0
while :; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
    size=0
    [ -f "$work/capture.raw" ] && size=$(wc -c <"$work/capture.raw")
    [ "$size" -ge $((PLAY_SECONDS * BYTES_PER_SECOND)) ] && break
    tries=$((tries + 1))
    [ "$tries" -gt 300 ] && fail "only $size bytes captured after 30 s"
    sleep 0.1
done

close_window
wait_for_end 100 || fail "still running 10 s after the window was closed"
[ "$code" -eq 1 ] || fail "exit code $code after closing the window, expected 1"

captured=$(wc -c <"$work/capture.raw")
seconds=$((captured / BYTES_PER_SECOND + 2))
"$XMRENDER" "$SONG" "$work/render.wav" --seconds "$seconds" >/dev/null || fail "xmrender failed"

# The device may play silence before the song starts: line the two up at
# their first non-zero byte (whole frames).
first_byte() { # FILE SKIP: 0-based offset of the first non-zero byte after SKIP
    out=$(cmp -i "$2:0" "$1" /dev/zero 2>/dev/null | sed -n 's/.* differ: byte \([0-9]*\),.*/\1/p')
    [ -n "$out" ] && echo $((out - 1))
}
c=$(first_byte "$work/capture.raw" 0)
r=$(first_byte "$work/render.wav" 44)
[ -n "$c" ] || fail "the capture is silent"
[ -n "$r" ] || fail "the render is silent"
c=$((c - c % 4))
r=$((r - r % 4))
[ "$c" -ge "$r" ] || fail "the capture starts with less silence than the song itself"
start=$((c - r))
compare=$((captured - start - RING_BYTES))
[ "$compare" -ge $((2 * RING_BYTES)) ] || fail "only $compare bytes to compare"
if ! cmp -n "$compare" -i "$start:44" "$work/capture.raw" "$work/render.wav" >"$work/cmp" 2>&1; then
    cat "$work/cmp" >&2
    fail "the captured sound differs from xmrender's render"
fi
echo "ok: $compare bytes ($((compare / BYTES_PER_SECOND)) s) played exactly as rendered, from byte $start of the capture"
