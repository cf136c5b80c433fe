#!/bin/sh
# quillon.exe under Wine with no X server at all: it cannot make its window,
# says so and ends with exit code 0. The message box cannot appear; its text
# reaches the test on standard error, where the backend writes it before
# MessageBoxA. The copy's name gives it a desktop of its own (the prefix's
# AppDefaults, see wine-run), so it cannot borrow the session's.
#   e2e_no_display.sh QUILLON_EXE WORKDIR     (WINE_RUN, WINEDIR set)
set -u
exe=$1 work=$2
: "${WINE_RUN:?} ${WINEDIR:?}"
rm -rf "$work" && mkdir -p "$work" && cp "$exe" "$work/quillon-nodisplay.exe" || exit 1
env -u DISPLAY -u WAYLAND_DISPLAY WINE_RUN_NO_DISPLAY=1 PULSE_SERVER=unix:/nonexistent \
    timeout 60 "$WINE_RUN" "$WINEDIR" "$work/quillon-nodisplay.exe" >"$work/out" 2>"$work/err" </dev/null
code=$?
grep -v '^ALSA lib' "$work/err"
fail=0
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code, expected 0"; fail=1; }
if grep -q '^Could not create main window! Terminate application!' "$work/err"; then
    echo "ok: the message reached standard error"
else
    echo "FAIL: no error message on standard error"
    fail=1
fi
exit $fail
