#!/bin/bash
# quillon.exe end to end under Wine, in the session's virtual desktop of
# 640x480 on its virtual X server (session.sh), with no sound server (the
# presentation runs silent):
#   - page 1 equals the headless snapshot of page 1 wherever the scene does
#     not depend on time or chance: the page area and the bars around it;
#   - the star strips hold only black and at most 15 grey stars each, and
#     the animation box shows one of the 40 frames over the bars (stars
#     may cross its lower rows);
#   - a right click leads to page 2;
#   - the space bar shows the counter: held below 1000 frames per second
#     (the counter's limit) by a CPU quota, it reads three digits, which
#     change;
#   - a left click ends the program, after the closing, with exit code 1.
#   e2e_scene.sh QUILLON_EXE SNAPSHOT WORKDIR     (WINE_RUN, WINEDIR set)
set -u
exe=$1 snapshot=$2 work=$3
: "${WINE_RUN:?} ${WINEDIR:?}"
for tool in xdotool import compare convert; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing"; exit 1; }
done
[ -s "$WINEDIR/display" ] || { echo "FAIL: no Wine session"; exit 1; }
export DISPLAY=$(cat "$WINEDIR/display")
rm -rf "$work" && mkdir -p "$work/ref" || exit 1
"$snapshot" "$work/ref" page1 page2 counter >/dev/null &&
    "$snapshot" --surface ANI "$work/ref/ani" page1 >/dev/null &&
    "$snapshot" --surface FPS "$work/ref/fps" page1 >/dev/null &&
    "$snapshot" --surface BACKGROUND "$work/ref/background" page1 >/dev/null &&
    "$snapshot" --surface VIEWPAGE "$work/ref/viewpage" page1 >/dev/null || { echo "FAIL: snapshot"; exit 1; }
# The 40 pictures the animation box may show: each frame of ANI, black
# transparent, over what lies behind the box (its top 16 rows over the
# page's last rows, the rest over the bars and the strip); and the digits 0
# to 9 of the counter.
convert "$work/ref/background/page1.png" -crop 128x64+510+416 +repage \
    \( "$work/ref/viewpage/page1.png" -crop 128x16+510+368 +repage \) -composite "$work/ref/box-bars.png"
for f in $(seq 0 39); do
    convert "$work/ref/box-bars.png" \( "$work/ref/ani/page1.png" -crop 128x64+$((f * 128))+0 +repage \
        -transparent black \) -composite "$work/ref/box$f.png"
done
for d in $(seq 0 9); do
    convert "$work/ref/fps/page1.png" -crop 10x8+$((70 + d * 10))+0 +repage "$work/ref/digit$d.png"
done

fail=0
pid=""
cleanup() {
    release_cpu
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
}
trap cleanup EXIT
check() { # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
now_ms() { date +%s%3N; }
shot() { import -window root "$work/$1.png"; }
differ() { # differ SHOT REF GEOMETRY: differing pixels of that crop
    convert "$work/$1.png" -crop "$3" +repage "$work/a.png"
    convert "$work/ref/$2.png" -crop "$3" +repage "$work/b.png"
    compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 | cut -d' ' -f1
}
# The parts of the screen that neither time nor chance change: the bars
# and the page area, around the animation box.
STEADY="640x368+0+48 640x24+0+24 510x40+0+416 2x40+638+416"
steady_equal() { # steady_equal SHOT REF
    local g
    for g in $STEADY; do
        [ "$(differ "$1" "$2" "$g")" = 0 ] || return 1
    done
}
# Screenshots until the steady parts equal the reference, for at most $3
# seconds.
await_page() { # await_page SHOT REF SECONDS
    local end=$(($(now_ms) + $3 * 1000))
    while :; do
        shot "$1"
        steady_equal "$1" "$2" && return 0
        [ "$(now_ms)" -ge "$end" ] && return 1
        sleep 0.3
    done
}
# The pixels of a crop that are not black, one "x,y: (r,g,b)" line each.
lit() { # lit SHOT GEOMETRY
    convert "$work/$1.png" -crop "$2" +repage -depth 8 txt:- | sed 1d | grep -v ' #000000 ' |
        sed -n 's/^\([0-9]*,[0-9]*\): *(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3 \4/p'
}
# A strip outside the counter's corner and the animation box: black apart
# from at most 15 stars of one grey each (10 to 254).
stars_only() { # stars_only SHOT GEOMETRY
    lit "$1" "$2" | awk '$2 != $3 || $3 != $4 || $2 < 10 || $2 > 254 { bad = 1 } END { exit bad || NR > 15 }'
}
# The frame of the animation the box shows (0 to 39), or nothing: the
# frame with the fewest differing pixels, at most 15 (stars in its lower
# rows).
box_frame() { # box_frame SHOT
    local f n best="" least=16
    convert "$work/$1.png" -crop 128x64+510+416 +repage "$work/box.png"
    for f in $(seq 0 39); do
        n=$(compare -metric AE "$work/box.png" "$work/ref/box$f.png" null: 2>&1 | cut -d' ' -f1)
        [ "$n" -lt "$least" ] && least=$n best=$f
    done
    echo "$best"
}
# The counter's three digits as the screen shows them, or nothing when a
# digit cell matches no digit (a star may cover 2 pixels of one).
counter_digits() { # counter_digits SHOT
    local c d n got="" found
    for c in 0 1 2; do
        convert "$work/$1.png" -crop 10x8+$((41 + c * 10))+1 +repage "$work/cell.png"
        found=""
        for d in $(seq 0 9); do
            n=$(compare -metric AE "$work/cell.png" "$work/ref/digit$d.png" null: 2>&1 | cut -d' ' -f1)
            [ "$n" -le 2 ] && { found=$d; break; }
        done
        [ -n "$found" ] || return 0
        got=$got$found
    done
    echo "$got"
}
# Holds a process to a share of one CPU: a cgroup CPU quota where one can
# be made (cgroup v2 or v1), otherwise stopping and continuing it in turn.
limiter=""
cgroup=""
hold_cpu() { # hold_cpu PID PERCENT
    local base
    for base in /sys/fs/cgroup /sys/fs/cgroup/cpu; do
        cgroup=$base/quillon-e2e-$$
        if [ -w "$base" ] && mkdir "$cgroup" 2>/dev/null; then
            if { [ -e "$cgroup/cpu.max" ] && echo "$(($2 * 1000)) 100000" >"$cgroup/cpu.max"; } ||
                { [ -e "$cgroup/cpu.cfs_quota_us" ] && echo 100000 >"$cgroup/cpu.cfs_period_us" &&
                    echo $(($2 * 1000)) >"$cgroup/cpu.cfs_quota_us"; }; then
                echo "$1" >"$cgroup/cgroup.procs" && { echo "CPU quota: $2% in $cgroup"; return 0; }
            fi
            rmdir "$cgroup" 2>/dev/null
        fi
    done
    cgroup=""
    echo "CPU share: $2% by stopping and continuing the process"
    (
        while kill -STOP "$1" 2>/dev/null; do
            sleep "0.0$((100 - $2))" 2>/dev/null || sleep 0.05
            kill -CONT "$1" 2>/dev/null || exit 0
            sleep "0.0$2" 2>/dev/null || sleep 0.01
        done
    ) &
    limiter=$!
}
release_cpu() {
    if [ -n "$limiter" ]; then
        kill "$limiter" 2>/dev/null
        wait "$limiter" 2>/dev/null
        [ -n "$pid" ] && kill -CONT "$pid" 2>/dev/null
        limiter=""
    fi
    if [ -n "$cgroup" ]; then
        # Back to the parent group, then the quota goes.
        [ -n "$pid" ] && echo "$pid" >"$(dirname "$cgroup")/cgroup.procs" 2>/dev/null
        rmdir "$cgroup" 2>/dev/null
        cgroup=""
    fi
}

# No sound server: waveOutOpen fails and the presentation runs silent.
launched=$(now_ms)
PULSE_SERVER=unix:/nonexistent "$WINE_RUN" "$WINEDIR" "$exe" >"$work/out" 2>"$work/err" </dev/null &
pid=$!
end=$(($(now_ms) + 60000))
until xdotool search --name '^Quillon$' >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "FAIL: quillon.exe ended before its window appeared"; cat "$work/err"; exit 1; }
    [ "$(now_ms)" -ge "$end" ] && { echo "FAIL: no window named Quillon after 60 s"; exit 1; }
    sleep 0.2
done
xdotool mousemove 320 240

# The pre-roll's 500000 message steps are each a round trip to the
# wineserver: tens of seconds, minutes on a loaded machine.
check "page 1 equals the headless snapshot of page 1" await_page page1 page1 300
echo "page 1 shown $(($(now_ms) - launched)) ms after the start"
cp "$work/page1.png" "$work/wine-page1.png"
check "the top strip holds only stars" stars_only page1 640x24+0+0
check "the bottom strip holds only stars" stars_only page1 510x24+0+456
frame=""
for try in 1 2 3 4 5; do
    shot box
    frame=$(box_frame box)
    [ -n "$frame" ] && break
done
check "the animation box shows one of the 40 frames (${frame:-none})" [ -n "$frame" ]
xdotool click 3
check "right click leads to page 2" await_page page2 page2 60
check "page 2 differs from page 1" [ "$(differ page2 page1 640x368+0+48)" -gt 1000 ]
check "no counter before space" [ "$(differ page2 counter 40x8+1+1)" -gt 20 ]
# Wine's Flip does not wait for the vertical blank: on an idle machine the
# frame loop can reach 1000 frames per second or more, where the program
# hides the counter by design. A CPU quota holds it below; the counter
# then reads three digits from its second measurement on, and they change.
# $COUNTER_CPU_PERCENT chooses the share (default 20).
hold_cpu "$pid" "${COUNTER_CPU_PERCENT:-20}"
xdotool key space
readings=""
end=$(($(now_ms) + 30000))
while [ "$(now_ms)" -lt "$end" ]; do
    shot counter
    digits=$(counter_digits counter)
    [ -n "$digits" ] && readings="$readings $digits"
    [ "$(echo $readings | tr ' ' '\n' | sort -u | wc -l)" -ge 3 ] && break
    sleep 0.7
done
release_cpu
echo "counter readings:$readings"
check "space shows the counter's label" [ "$(differ counter counter 40x8+1+1)" -le 2 ]
check "the counter reads three digits" [ -n "$readings" ]
check "its digits change" [ "$(echo $readings | tr ' ' '\n' | sort -u | wc -l)" -ge 2 ]

start=$(now_ms)
xdotool click 1
while kill -0 "$pid" 2>/dev/null && [ $(($(now_ms) - start)) -lt 60000 ]; do sleep 0.1; done
elapsed=$(($(now_ms) - start))
if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: still running 60 s after the left click"
    exit 1
fi
wait "$pid"
code=$?
pid=""
check "left click ends with exit code 1 (got $code)" [ "$code" = 1 ]
# The closing wipe takes 192 steps of more than 5 ms each.
check "the end comes after the closing, ${elapsed} ms" [ "$elapsed" -ge 960 ]
exit $fail
