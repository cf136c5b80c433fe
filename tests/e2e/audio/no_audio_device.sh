#!/bin/sh
# Without any usable audio device the program shows its pages and ends
# normally, silent: the music player's failure is never fatal.
command -v convert >/dev/null || { echo "FAIL: convert is missing" >&2; exit 1; }
. "$(dirname "$0")/../common.sh"

# A driver that does not exist: opening the audio device fails.
E2E_AUDIODRIVER=no-such-driver
start_program

# The page area (640x384 from row 48) shows gradient-tinted text: many
# colours, where an empty page would hold one or two. The background bars
# above it are where they always are.
shown=no
tries=0
while [ "$shown" = no ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
    tries=$((tries + 1))
    [ "$tries" -gt 50 ] && break
    sleep 0.2
    screenshot || continue
    [ "$(pixel 0 24)" = 010004 ] || continue
    colours=$(convert -size 640x480 -depth 8 "rgb:$work/shot.rgb" -crop 640x384+0+48 +repage \
              -unique-colors -format %w info: 2>/dev/null || echo 0)
    [ "$colours" -ge 8 ] && shown=yes
done
[ "$shown" = yes ] || fail "the pages are not shown without a sound device"
echo "ok: pages shown without a sound device"

close_window
wait_for_end 100 || fail "still running 10 s after the window was closed"
[ "$code" -eq 1 ] || fail "exit code $code after closing the window, expected 1"
echo "ok: ended normally (exit code 1), silent"

# What the person sees on the terminal: the one line of the program's own,
# none of the sound libraries' complaints.
if [ "$(cat "$work/err")" != "no sound device: the presentation runs silent" ]; then
    fail "stderr is not the one line about the missing sound device: $(cat "$work/err")"
fi
echo "ok: one line on stderr says the presentation runs silent"
