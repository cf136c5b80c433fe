# Shared by the end-to-end scripts that run the program on a virtual X
# screen. Source it with the script's own path in $0 and its arguments.
set -u
: "${QUILLON:?path of the quillon binary}"
for tool in xvfb-run xdotool import od; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing" >&2; exit 1; }
done

if [ "${1:-}" != "--inside" ]; then
    # One private X server of exactly the program's size, so the picture
    # maps 1:1 onto the screen. The search for a free display starts at a
    # number of this run's own: from the same number every time, a run could
    # take the display the previous one was still closing, and the program
    # found no screen.
    exec xvfb-run -a -n $((200 + $$ % 700)) -s "-screen 0 640x480x24 -nolisten tcp" sh "$0" --inside
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

# Starts the program and waits (up to 15 s) for its window; sets pid and wid.
# The sound goes to SDL's dummy driver unless E2E_AUDIODRIVER names another.
start_program() {
    SDL_AUDIODRIVER="${E2E_AUDIODRIVER:-dummy}" "$QUILLON" 2>"$work/err" </dev/null &
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
}

# Takes a screenshot as raw 640x480 RGB into $work/shot.rgb; false if none.
screenshot() {
    import -window root -depth 8 "rgb:$work/shot.rgb" 2>/dev/null || return 1
    [ "$(wc -c <"$work/shot.rgb")" -eq $((640 * 480 * 3)) ]
}

# pixel X Y: the colour of the last screenshot there, as rrggbb.
pixel() {
    od -An -tx1 -j $(( ($2 * 640 + $1) * 3 )) -N 3 "$work/shot.rgb" | tr -d ' \n'
}

# Asks the window to close (WM_CLOSE), as a window manager's close button.
# The window found at start may have been replaced since (SDL makes a new
# window when its renderer needs another kind than it was created as), so
# the one there now is asked.
close_window() {
    current_window
    "${SEND_CLOSE:?path of send_close}" "$wid" || fail "could not ask the window to close"
}

# Sets wid to the program's window as it is now: the newest of that name.
current_window() {
    wid=$(xdotool search --name '^Quillon$' 2>/dev/null | tail -n 1)
    [ -n "$wid" ] || fail "no window named Quillon any more"
}

# Waits up to $1 tenths of a second for the program to end; sets code.
wait_for_end() {
    tries=0
    while kill -0 "$pid" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -gt "$1" ] && return 1
        sleep 0.1
    done
    wait "$pid"
    code=$?
    pid=""
}
