#!/bin/sh
# With no display at all the program cannot take the screen: it must end by
# itself with exit code 0 and say why on stderr.
set -u
: "${QUILLON:?path of the quillon binary}"
err=$(mktemp)
trap 'rm -f "$err"' EXIT

env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy \
    timeout 30 "$QUILLON" 2>"$err" </dev/null
code=$?
cat "$err" >&2
if [ "$code" -ne 0 ]; then
    echo "FAIL: exit code $code, expected 0" >&2
    exit 1
fi
if ! grep -q "Terminate application!" "$err"; then
    echo "FAIL: no error message on stderr" >&2
    exit 1
fi
echo "ok: exit code 0, message on stderr"
