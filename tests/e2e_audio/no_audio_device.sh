#!/bin/sh
# Without any usable audio device the program shows its pages and ends
# normally, silent: the music player's failure is never fatal.
set -u
: "${QUILLON:?path of the quillon binary}"
for tool in xvfb-run xdotool import convert od; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing" >&2; exit 1; }
done

if [ "${1:-}" != "--inside" ]; then
    exec xvfb-run -a -s "-screen 0 640x480x24 -nolisten tcp" sh "$0" --inside
fi

work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -s "$work/err" ] && sed 's/^/  quillon: /' "$work/err" >&2
    exit 1
}

# A driver that does not exist: opening the audio device fails.
SDL_AUDIODRIVER=no-such-driver "$QUILLON" 2>"$work/err" </dev/null &
pid=$!

wid=""
tries=0
while [ -z "$wid" ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
    wid=$(xdotool search --name '^Quillon$' 2>/dev/null | head -n 1)
    tries=$((tries + 1))
    [ "$tries" -gt 150 ] && fail "no window named Quillon after 15 s"
    [ -z "$wid" ] && sleep 0.1
done

# The page area (640x384 from row 48) shows gradient-tinted text: many
# colours, where an empty page would hold one or two. The background bars
# above it are where they always are.
pixel() {
    od -An -tx1 -j $(( ($2 * 640 + $1) * 3 )) -N 3 "$work/shot.rgb" | tr -d ' \n'
}
shown=no
tries=0
while [ "$shown" = no ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
    tries=$((tries + 1))
    [ "$tries" -gt 50 ] && break
    sleep 0.2
    import -window root -depth 8 "rgb:$work/shot.rgb" 2>/dev/null || continue
    [ "$(wc -c <"$work/shot.rgb")" -eq $((640 * 480 * 3)) ] || continue
    [ "$(pixel 0 24)" = 010004 ] || continue
    colours=$(convert -size 640x480 -depth 8 "rgb:$work/shot.rgb" -crop 640x384+0+48 +repage \
              -unique-colors -format %w info: 2>/dev/null || echo 0)
    [ "$colours" -ge 8 ] && shown=yes
done
[ "$shown" = yes ] || fail "the pages are not shown without a sound device"
echo "ok: pages shown without a sound device"

"${SEND_CLOSE:?path of send_close}" "$wid" || fail "could not ask the window to close"
tries=0
while kill -0 "$pid" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -gt 100 ] && fail "still running 10 s after the window was closed"
    sleep 0.1
done
wait "$pid"
code=$?
pid=""
[ "$code" -eq 1 ] || fail "exit code $code after closing the window, expected 1"
echo "ok: ended normally (exit code 1), silent"
