#!/bin/bash
# quillon.exe's own error paths under Wine: a proxy ddraw.dll beside the exe
# (ddraw_proxy.cpp, loaded first by WINEDLLOVERRIDES ddraw=n,b) fails the
# DirectDraw calls each row names, and the program must say what failed in
# its box titled "ERROR" (whose text the backend also writes to standard
# error) and end with its exit code. The boxes are closed with Return.
#   e2e_failures.sh QUILLON_EXE DDRAW_DLL WORKDIR     (WINE_RUN, WINEDIR set)
set -u
exe=$1 dll=$2 work=$3
: "${WINE_RUN:?} ${WINEDIR:?}"
command -v xdotool >/dev/null || { echo "FAIL: xdotool is missing"; exit 1; }
[ -s "$WINEDIR/display" ] || { echo "FAIL: no Wine session"; exit 1; }
export DISPLAY=$(cat "$WINEDIR/display")
rm -rf "$work" && mkdir -p "$work" || exit 1
cp "$exe" "$work/quillon.exe" && cp "$dll" "$work/ddraw.dll" || exit 1

T=" Terminate application!"
# name | rules for the proxy | the lines on standard error, in order ("/"
# between two) | boxes | exit code. Set-up failures end with 0; the rows
# with a lost display run frames first. When the rebuild after a loss
# fails, its own message comes in a box; then the frame's "Could not
# restore all objects!" reaches standard error only, as the first error
# exit has destroyed the window that would own its box, and MessageBoxA
# refuses an owner that is gone.
rows=(
    "DirectDraw refused|DirectDrawCreateEx|DirectDrawCreateEx failed!$T|1|0"
    "cooperative level refused|SetCooperativeLevel|SetCooperativeLevel failed!$T|1|0"
    "display mode refused|SetDisplayMode|SetDisplayMode failed! No 640x480x32bpp support!$T|1|0"
    "primary refused|CreateSurface:PRIMARY|CreateSurface (PRIMARY) failed!$T|1|0"
    "primary cannot be cleared|Blt:PRIMARY|Could not clean the surface!$T|1|0"
    "no back buffer|GetAttachedSurface|GetAttachedSurface failed!$T|1|0"
    "back buffer cannot be cleared|Blt:BACKBUF|Could not clean the surface!$T|1|0"
    "VIEWPAGE refused in both memories|CreateSurface:VIEWPAGE|CreateSurface (VIEWPAGE) failed!$T|1|0"
    "ANI refused in both memories|CreateSurface:ANI|CreateSurface (ANI) failed!$T|1|0"
    "ANI bitmap not copied|GetDC:ANI|Could not load image (ANI) into the surface!$T|1|0"
    "BACKGROUND refused in both memories|CreateSurface:BACKGROUND|CreateSurface (BACKGROUND) failed!$T|1|0"
    "BACKGROUND cannot be cleared|Blt:BACKGROUND@1|Could not clean the surface!$T|1|0"
    "background bars not painted|Blt:BACKGROUND@2|Could not create background image!$T|1|0"
    "FPS refused in both memories|CreateSurface:FPS|CreateSurface (FPS) failed!$T|1|0"
    "FPS size unknown|GetSurfaceDesc:FPS|Could not load image (FPS) into the surface!$T|1|0"
    "FONT refused in both memories|CreateSurface:FONT|CreateSurface (FONT) failed!$T|1|0"
    "FONT bitmap not copied|GetDC:FONT|Could not load image (FONT) into the surface!$T|1|0"
    "PAGE refused in both memories|CreateSurface:PAGE|CreateSurface (PAGE) failed!$T|1|0"
    "pages not rendered|Lock:PAGE|Could not create pages!$T|1|0"
    "a lost primary that cannot be restored|IsLost:PRIMARY@3,Restore:PRIMARY,SetDisplayMode@2|SetDisplayMode failed! No 640x480x32bpp support!$T/Could not restore all objects!$T|1|0"
    "no video memory, and a lost primary rebuilt|CreateSurface:VIDEOMEMORY,IsLost:PRIMARY@3,Restore:PRIMARY||0|1"
)

now_ms() { date +%s%3N; }
fail=0
pid=""
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; }
trap cleanup EXIT
bad() {
    echo "FAIL: $name: $*"
    fail=1 rowfail=1
}

# Every window titled ERROR gets Return until the program ends; the boxes
# are counted. A row that runs on is ended by left clicks, which the program
# takes once its page is shown whole.
run_row() { # run_row RULES RUNS_ON LOG
    local rules=$1 runsOn=$2 log=$3 end box clicked=0
    boxes=0
    QUILLON_DDRAW_FAIL=$rules QUILLON_DDRAW_LOG=$(printf 'Z:%s' "$log" | tr / '\\') \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;ddraw=n,b" PULSE_SERVER=unix:/nonexistent \
        "$WINE_RUN" "$WINEDIR" "$work/quillon.exe" >"$work/out" 2>"$work/err" </dev/null &
    pid=$!
    end=$(($(now_ms) + 300000))
    while kill -0 "$pid" 2>/dev/null; do
        [ "$(now_ms)" -ge "$end" ] && { bad "still running after 300 s"; kill "$pid"; break; }
        box=$(xdotool search --name '^ERROR$' 2>/dev/null | head -n 1)
        if [ -n "$box" ]; then
            boxes=$((boxes + 1))
            xdotool windowactivate --sync "$box" key Return 2>/dev/null || xdotool key Return
            # The box goes before the next one can come.
            while xdotool search --name '^ERROR$' 2>/dev/null | grep -qx "$box"; do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
        elif [ -n "$runsOn" ] && grep -q '^Flip$' "$log" 2>/dev/null; then
            # The reveal of page 1 takes a second or two after the first
            # frames; left clicks before its end are ignored.
            clicked=$((clicked + 1))
            xdotool mousemove 320 240 click 1 2>/dev/null
            sleep 1
        fi
        sleep 0.1
    done
    wait "$pid"
    code=$?
    pid=""
}

for row in "${rows[@]}"; do
    IFS='|' read -r name rules lines want_boxes expected_code <<<"$row"
    rowfail=0
    log=$work/ddraw.log
    rm -f "$log"
    run_row "$rules" "$([ "$expected_code" = 1 ] && echo yes)" "$log"
    err=$(grep -v '^ALSA lib' "$work/err" | tr -d '\r')
    expected=$(echo "$lines" | tr / '\n')
    [ "$err" = "$expected" ] || bad "standard error was [$err], expected [$expected]"
    [ "$boxes" = "$want_boxes" ] || bad "$boxes boxes titled ERROR, expected $want_boxes"
    [ "$code" = "$expected_code" ] || bad "exit code $code, expected $expected_code"
    # Each rule took: the proxy logs every failure it made.
    IFS=',' read -ra wanted <<<"$rules"
    for rule in "${wanted[@]}"; do
        call=${rule%%[:@]*} what=${rule#"$call"}
        what=${what#:}
        what=${what%@*}
        [ "$what" = VIDEOMEMORY ] && what=""
        grep -q "^fail $call${what:+ $what}" "$log" 2>/dev/null || bad "the proxy never failed $rule (is it loaded?)"
    done
    if [ "$expected_code" = 1 ]; then
        # Every surface was refused in video memory and made in system
        # memory, before the loss and again in the rebuild; frames were
        # shown from both.
        for s in VIEWPAGE ANI BACKGROUND FPS FONT PAGE; do
            [ "$(grep -c "^CreateSurface $s system ok" "$log")" = 2 ] ||
                bad "$s not made twice in system memory: $(grep "CreateSurface $s" "$log" | tr '\n' ';')"
        done
        [ "$(grep -c '^Flip$' "$log")" = 2 ] || bad "no frames after the rebuild"
    fi
    [ "$rowfail" = 0 ] && echo "ok: $name"
done
exit $fail
