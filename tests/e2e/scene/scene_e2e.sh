#!/bin/bash
# End to end: the SDL2 program under Xvfb at 640x480x24 with the dummy audio
# driver. Screenshots are compared with the headless snapshot tool's
# rendering of the same moments, which draws through the same scene code.
#   scene_e2e.sh QUILLON SNAPSHOT WORKDIR
set -u
quillon=$1 snapshot=$2 work=$3
for tool in xvfb-run xdotool import compare convert; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work/ref" || exit 1
"$snapshot" "$work/ref" page1 page2 counter >/dev/null || { echo "FAIL: snapshot"; exit 1; }

if [ -z "${E2E_INSIDE_XVFB:-}" ]; then
  # A server number of our own: two "xvfb-run -a" started at the same moment
  # can pick the same one.
  E2E_INSIDE_XVFB=1 exec xvfb-run -n $((200 + $$ % 700)) -s "-screen 0 640x480x24" "$0" "$@"
fi

fail=0
check() { # check DESCRIPTION CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
shot() { import -window root "$work/$1.png"; }
pixel() { convert "$work/$1.png" -format "%[hex:p{$2,$3}]" info: | cut -c1-6 | tr A-F a-f; }
colours() { # colours SHOT GEOMETRY: the distinct colours of a crop, as RRGGBB
  convert "$work/$1.png" -crop "$2" +repage -unique-colors -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | tr -d '#'
}
# Number of differing pixels between the same crop of a screenshot and a
# reference picture.
differ() { # differ SHOT REF GEOMETRY
  convert "$work/$1.png" -crop "$3" +repage "$work/a.png"
  convert "$work/ref/$2.png" -crop "$3" +repage "$work/b.png"
  compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 | cut -d' ' -f1
}
now_ms() { date +%s%3N; }
# Takes screenshots until the page area (beside the animation box down to
# its last line) and the bars equal the reference page, at most
# $3 seconds. The display paces the frames, so every frame takes at most one
# step of a wipe or a reveal: at 60 Hz a reveal takes 160 frames, 2.7 s.
await_page() { # await_page SHOT REF SECONDS
  local end=$(( $(now_ms) + $3 * 1000 ))
  while :; do
    shot "$1"
    [ "$(differ "$1" "$2" 640x368+0+48)" = 0 ] && [ "$(differ "$1" "$2" 510x408+0+24)" = 0 ] && return 0
    [ "$(now_ms)" -ge "$end" ] && return 1
    sleep 0.3
  done
}

export SDL_AUDIODRIVER=dummy
"$quillon" &
pid=$!
for _ in $(seq 50); do
  xdotool search --name '^Quillon$' >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool mousemove 320 240

# Page 1 revealed: the bars and the page area outside the animation box
# become exactly the reference rendering of page 1, gradient text on the
# middle field.
check "page 1 revealed where the reference puts it" await_page page1 page1 15
# The bars: row 24+k and 455-k in bar k's colour; the middle rows; the black
# border strips stay black away from the stars.
bars=(010004 020109 04020e 050313 060418 08051d 090621 0a0726 0c082b 0d0930 0e0a35 100b3a
      160c3c 1c0d3f 220e42 280f45 2e1048 34114b 3a124e 401351 461454 4c1557 52165a)
for k in 0 5 11 22; do
  check "bar $k at rows $((24 + k)) and $((455 - k))" \
    [ "$(pixel page1 100 $((24 + k)))" = "${bars[$k]}" -a "$(pixel page1 100 $((455 - k)))" = "${bars[$k]}" ]
done
check "middle colour at rows 47 and 432" [ "$(pixel page1 300 47)" = 5d1759 -a "$(pixel page1 300 432)" = 5d1759 ]
# Text in the first four lines of the page is orange (247, 89..107, 0), in
# the last four lines yellow (253..254, 216..234, 0); a person's own text
# (QUILLON_OWN_TEXT) need not have text there.
if [ -z "${QUILLON_OWN_TEXT:-}" ]; then
  check "orange text at the top of the page" bash -c "grep -q '^F7[56][0-9A-F]00\$' <<< \"$(colours page1 640x48+0+48)\""
  check "yellow text at the bottom of the page" bash -c "grep -q '^F[DE][DE][0-9A-F]00\$' <<< \"$(colours page1 510x48+0+384)\""
fi

# Right button: the wipe (192 steps) and the reveal of page 2 (160 steps).
xdotool click 3
check "right click leads to page 2" await_page page2 page2 20
check "page 2 differs from page 1" [ "$(differ page2 page1 640x368+0+48)" -gt 1000 ]

# Space: the counter's label appears in the top left corner.
check "no counter before space" [ "$(differ page2 counter 40x8+1+1)" -gt 20 ]
xdotool key space
sleep 1.5
shot counter
check "space shows the counter" [ "$(differ counter counter 40x8+1+1)" -le 2 ]

# Left button: the animation is eaten away, the page wiped in 192 steps of
# more than 5 ms, then the program ends with code 1.
start=$(now_ms)
xdotool click 1
sleep 0.4
shot closing
while kill -0 "$pid" 2>/dev/null && [ $(( $(now_ms) - start )) -lt 15000 ]; do sleep 0.05; done
elapsed=$(( $(now_ms) - start ))
kill -0 "$pid" 2>/dev/null && { echo "FAIL: still running 15 s after the left click"; kill "$pid"; }
wait "$pid"
code=$?
check "left click ends with exit code 1 (got $code)" [ "$code" = 1 ]
# 192 wipe steps need at least 192 frames of more than 5 ms; at 60 Hz about
# 3.2 s, longer when a loaded machine slows the frames down.
check "the end comes after the closing, ${elapsed} ms" [ "$elapsed" -ge 960 -a "$elapsed" -le 10000 ]
check "counter hidden during the closing" [ "$(differ closing counter 40x8+1+1)" -gt 20 ]

exit $fail
