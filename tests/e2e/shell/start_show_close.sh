#!/bin/sh
# The real program on a virtual 640x480 X screen: it starts, the screen shows
# the background bars where nothing else is ever drawn, and closing the
# window ends the program.
. "$(dirname "$0")/../common.sh"

start_program

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
report=""
tries=0
while [ "$matched" = no ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
    tries=$((tries + 1))
    [ "$tries" -gt 50 ] && break
    sleep 0.2
    screenshot || continue
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

# Closing the window (WM_CLOSE, then WM_DESTROY) ends the program; the frames
# were running, so the loop ends at its next test of `running`: exit code 1.
close_window
wait_for_end 100 || fail "still running 10 s after the window was closed"
[ "$code" -eq 1 ] || fail "exit code $code after closing the window, expected 1"
echo "ok: closing the window ended the program with exit code 1"
