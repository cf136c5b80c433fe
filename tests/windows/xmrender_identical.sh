#!/bin/sh
# xmrender_identical.sh WORKDIR LINUX_XMRENDER WINDOWS_XMRENDER SONG XMDIR
# xmrender.exe under Wine must write the very bytes the Linux xmrender
# writes, for the shipped song and for every song in XMDIR: the player's
# arithmetic is the same on both compilers and C runtimes.
set -u
work=$1 linux=$2 windows=$3 song=$4 xmdir=$5
: "${WINE_RUN:?} ${WINEDIR:?}"
rm -rf "$work" && mkdir -p "$work" || exit 1
fail=0
count=0
for xm in "$song" "$xmdir"/*.xm; do
    [ -f "$xm" ] || continue
    name=$(basename "$xm" .xm)
    "$linux" "$xm" "$work/$name-linux.wav" >/dev/null || { echo "FAIL: Linux xmrender on $name"; fail=1; continue; }
    "$WINE_RUN" "$WINEDIR" "$windows" "$xm" "$work/$name-windows.wav" >/dev/null 2>"$work/$name.err" ||
        { echo "FAIL: xmrender.exe on $name"; cat "$work/$name.err"; fail=1; continue; }
    if cmp -s "$work/$name-linux.wav" "$work/$name-windows.wav"; then
        echo "ok: $name, $(wc -c <"$work/$name-linux.wav") bytes alike"
    else
        echo "FAIL: $name differs: $(cmp "$work/$name-linux.wav" "$work/$name-windows.wav" | head -n 1)"
        fail=1
    fi
    count=$((count + 1))
done
[ "$count" -ge 1 ] || { echo "FAIL: no song rendered"; fail=1; }
exit $fail
