#!/bin/sh
# The ordinary end with real input: the left mouse button, once page 1 has
# been revealed, starts the closing effect and the final wipe, after which
# the program ends by itself with exit code 1.
. "$(dirname "$0")/../common.sh"

start_program
current_window
xdotool mousemove --window "$wid" 320 240 2>/dev/null

# Presses during the reveal are ignored, so press again every half second
# until one is taken; the closing then needs about two seconds.
tries=0
while kill -0 "$pid" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -gt 40 ] && fail "still running 20 s after the first left button press"
    xdotool click 1 2>/dev/null
    sleep 0.5
done
wait_for_end 10 || fail "did not end"
[ "$code" -eq 1 ] || fail "exit code $code after the closing, expected 1"
echo "ok: the left button ended the program with exit code 1"
