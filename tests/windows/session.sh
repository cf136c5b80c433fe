#!/bin/sh
# The Wine session of a test run, set up once before the first Windows test
# and taken down after the last (ctest fixture "wine"):
#   session.sh start WINEDIR   a fresh prefix, a virtual X server of 640x480x24
#                              for its virtual desktop, a wineserver that stays
#                              up between the tests
#   session.sh stop WINEDIR    the wineserver and the X server, by their pids
# WINEDIR/display holds the X display's number; wine-run uses it.
set -u
here=$(dirname "$0")
mkdir -p "$2" && dir=$(realpath "$2") || exit 1
export WINEPREFIX="$dir/prefix"

stop() {
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
    if [ -s "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
        rm -f "$dir/xvfb.pid"
    fi
    rm -f "$dir/display"
}

case $1 in
start)
    stop
    command -v Xvfb >/dev/null || { echo "FAIL: Xvfb is missing"; exit 1; }
    "$here/wine-run" "$dir" --fresh </dev/null || exit 1
    # Xvfb picks a free display itself and writes its number once it
    # accepts connections.
    rm -f "$dir/displayfd"
    Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$dir/displayfd" >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    tries=0
    until [ -s "$dir/displayfd" ]; do
        tries=$((tries + 1))
        kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null && [ $tries -lt 300 ] || {
            echo "FAIL: Xvfb did not start"
            cat "$dir/xvfb.log"
            stop
            exit 1
        }
        sleep 0.1
    done
    echo ":$(head -n 1 "$dir/displayfd")" >"$dir/display"
    # Process starts are far cheaper with the server already up; it ends by
    # itself a minute after the last Windows program, should stop never run.
    wineserver -p60 </dev/null >/dev/null 2>&1
    # The system's own processes (services, devices) start with the first
    # program and live on; started here, they hold no test's output open,
    # which ctest would wait for.
    "$here/wine-run" "$dir" wineboot </dev/null >/dev/null 2>&1
    echo "Wine session: prefix $WINEPREFIX, display $(cat "$dir/display")"
    ;;
stop)
    stop
    ;;
*)
    echo "usage: session.sh start|stop WINEDIR" >&2
    exit 2
    ;;
esac
