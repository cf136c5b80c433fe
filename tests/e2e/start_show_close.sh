#!/bin/sh
# The real program on a virtual 640x480 X screen: it starts, the screen shows
# the background bars where nothing else is ever drawn, and closing the
# window ends the program.
set -u
: "${QUILLON:?path of the quillon binary}"
for tool in xvfb-run xdotool import od; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing" >&2; exit 1; }
done

if [ "${1:-}" != "--inside" ]; then
    # One private X server of exactly the program's size, so the picture
    # maps 1:1 onto the screen.
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

SDL_AUDIODRIVER=dummy "$QUILLON" 2>"$work/err" </dev/null &
pid=$!

# The window appears within a few seconds.
wid=""
tries=0
while [ -z "$wid" ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
    wid=$(xdotool search --name '^Quillon$' 2>/dev/null | head -n 1)
    tries=$((tries + 1))
    [ "$tries" -gt 150 ] && fail "no window named Quillon after 15 s"
    [ -z "$wid" ] && sleep 0.1
done

# pixel X Y: the screen's colour there as rrggbb.
pixel() {
    od -An -tx1 -j $(( ($2 * 640 + $1) * 3 )) -N 3 "$work/shot.rgb" | tr -d ' \n'
}

# Pixels that only the background ever paints: the outermost, a middle and
# the innermost bar at the top and at the bottom (left of the animation box),
# and the single middle-colour rows just outside the page area.
expected="0 24 010004
639 24 010004
5 35 100b3a
320 46 52165a
5 47 5d1759
600 432 5d1759
300 433 52165a
5 444 100b3a
400 455 010004"

matched=no
tries=0
while [ "$matched" = no ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
    tries=$((tries + 1))
    [ "$tries" -gt 50 ] && break
    sleep 0.2
    import -window root -depth 8 "rgb:$work/shot.rgb" 2>/dev/null || continue
    [ "$(wc -c <"$work/shot.rgb")" -eq $((640 * 480 * 3)) ] || continue
    matched=yes
    report=""
    while read -r x y colour; do
        got=$(pixel "$x" "$y")
        report="$report ($x,$y)=$got/$colour"
        [ "$got" = "$colour" ] || matched=no
    done <<END
$expected
END
done
[ "$matched" = yes ] || fail "the screen does not show the background bars: got/expected$report"
echo "ok: background bars on screen"

# Closing the window ends the program; the frames were running, so the loop
# ends at its next test of `running`: exit code 1.
xdotool windowclose "$wid" 2>/dev/null
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
echo "ok: closing the window ended the program with exit code 1"
