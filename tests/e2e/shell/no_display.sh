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

# --help and --version answer without opening a window (none could open
# here: a try would print the message above), and any other argument is
# ignored as before.
for option in --help --version; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy timeout 30 "$QUILLON" "$option" 2>"$err" </dev/null)
    code=$?
    case "$option" in
    --help) first="usage: quillon" ;;
    *) first="quillon (Quillon) " ;;
    esac
    if [ "$code" -ne 0 ] || [ -s "$err" ] || [ "${out#"$first"}" = "$out" ]; then
        echo "FAIL: quillon $option: exit $code, stdout: $(echo "$out" | head -1), stderr: $(head -1 "$err")" >&2
        exit 1
    fi
done
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy \
    timeout 30 "$QUILLON" --fullscreen 2>"$err" </dev/null
code=$?
if [ "$code" -ne 0 ] || ! grep -q "Terminate application!" "$err"; then
    echo "FAIL: quillon --fullscreen was not ignored: exit $code" >&2
    exit 1
fi
echo "ok: --help and --version answer without a window; other arguments are ignored"
