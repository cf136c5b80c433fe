#!/bin/bash
# The exe the maker page gives, end to end under Wine: the built maker exe
# (the 64-bit program with both players) rewritten by maker/windows-exe.js
# with the test's own text and song, the small player and a name and
# description of its own, then run on the session's virtual desktop with a
# PulseAudio null sink recorded as sound.sh records it:
#   - a song over the size limit is refused with its message, no file written;
#   - wrestool reads back the new version strings, the text, the song and
#     the player choice;
#   - page 1 equals page 1 of snapshot as a native build with that text and
#     song has it (maker_snapshot), over the steady parts of the screen as
#     e2e_scene.sh compares; a right click leads to its page 2;
#   - the sound matches xmrender --small of the song and not xmrender
#     --full: the PLAYER resource chose the engine;
#   - a left click ends the program with exit code 1.
#   maker_exe.sh MAKER_EXE RESEDIT_JS CONTENT_DIR MAKER_SNAPSHOT XMRENDER WAVMATCH WORKDIR
#   (WINE_RUN, WINEDIR set; CONTENT_DIR holds release.bin and MUSIC.xm)
set -u
maker_exe=$1 resedit=$2 content=$3 snapshot=$4 xmrender=$5 wavmatch=$6 work=$7
: "${WINE_RUN:?} ${WINEDIR:?}"
here=$(cd "$(dirname "$0")" && pwd)
for tool in node wrestool pulseaudio pactl parec xdotool import compare convert; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing"; exit 1; }
done
[ -s "$WINEDIR/display" ] || { echo "FAIL: no Wine session"; exit 1; }
export DISPLAY=$(cat "$WINEDIR/display")
rm -rf "$work" && mkdir -p "$work/ref" "$work/run" || exit 1
work=$(realpath "$work")
fail=0
check() { # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
now_ms() { date +%s%3N; }
make_exe() { node "$here/make_maker_exe.cjs" --resedit "$resedit" --exe "$maker_exe" "$@"; }

# Refused: a song one byte over the limit, with the message the page shows.
head -c 1001 /dev/zero >"$work/big.xm"
make_exe --out "$work/refused.exe" --name Refused --music "$work/big.xm" --song-limit 1000 2>"$work/refused.err"
code=$?
cat "$work/refused.err"
check "a song over the limit is refused (exit $code)" [ "$code" = 1 ]
check "with its message" grep -q "The song is 1,001 bytes; the Windows program takes songs of at most 1,000 bytes" \
    "$work/refused.err"
check "and no exe is written" [ ! -e "$work/refused.exe" ]

name="Lantern Nights" description="Our release, in four pages"
exe="$work/$name.exe"
make_exe --out "$exe" --name "$name" --description "$description" --text "$content/release.bin" \
    --music "$content/MUSIC.xm" --player small || { echo "FAIL: the maker's exe was not made"; exit 1; }

# What Windows' Properties shows, read by wrestool: the version block's
# strings (UTF-16), each key followed by its value.
wrestool -x --raw --type=16 --name=1 "$exe" | strings -el -n 1 >"$work/version.txt"
value_of() { grep -A1 -x "$1" "$work/version.txt" | sed -n 2p; }
for pair in "ProductName=$name" "FileDescription=$description" "InternalName=$name" "OriginalFilename=$name.exe"; do
    key=${pair%%=*} value=${pair#*=}
    check "the version details say $key \"$value\"" [ "$(value_of "$key")" = "$value" ]
done
built_version=$(wrestool -x --raw --type=16 --name=1 "$maker_exe" | strings -el -n 1 | grep -A1 -x ProductVersion | sed -n 2p)
check "and the program's version, $built_version" test -n "$built_version" -a "$(value_of ProductVersion)" = "$built_version"
absent() { ! grep -qx "$1" "$work/version.txt"; }
check "the built program's company is gone" absent CompanyName
for resource in TEXT MUSIC PLAYER; do
    wrestool -x --raw --type=10 --name=$resource "$exe" >"$work/$resource"
done
check "TEXT is the test's text" cmp -s "$work/TEXT" "$content/release.bin"
check "MUSIC is the test's song" cmp -s "$work/MUSIC" "$content/MUSIC.xm"
check "PLAYER says small" [ "$(cat "$work/PLAYER")" = small ]

# The references.
"$snapshot" "$work/ref" page1 page2 >/dev/null || { echo "FAIL: maker_snapshot"; exit 1; }
"$xmrender" "$content/MUSIC.xm" "$work/small.wav" --small --seconds 20 >/dev/null &&
    "$xmrender" "$content/MUSIC.xm" "$work/full.wav" --full --seconds 20 >/dev/null || { echo "FAIL: xmrender"; exit 1; }

pa="" rec="" pid=""
cleanup() {
    for p in $pid $rec $pa; do kill "$p" 2>/dev/null; done
}
trap cleanup EXIT
# A PulseAudio server of our own with a null sink (as sound.sh).
export XDG_RUNTIME_DIR="$work/run" PULSE_RUNTIME_PATH="$work/run/pulse" HOME="$work"
export PULSE_SERVER="unix:$work/pulse.sock"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
    -L "module-null-sink sink_name=quillon rate=44100 format=s16le channels=2" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock" >"$work/pulseaudio.log" 2>&1 &
pa=$!
end=$(($(now_ms) + 30000))
until pactl info >/dev/null 2>&1; do
    kill -0 "$pa" 2>/dev/null && [ "$(now_ms)" -lt "$end" ] || {
        echo "FAIL: the PulseAudio server did not start"
        cat "$work/pulseaudio.log"
        exit 1
    }
    sleep 0.2
done
parec -d quillon.monitor --rate=44100 --format=s16le --channels=2 >"$work/recording.raw" 2>"$work/parec.err" &
rec=$!

shot() { import -window root "$work/$1.png"; }
differ() { # differ SHOT REF GEOMETRY: differing pixels of that crop
    convert "$work/$1.png" -crop "$3" +repage "$work/a.png"
    convert "$work/ref/$2.png" -crop "$3" +repage "$work/b.png"
    compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 | cut -d' ' -f1
}
STEADY="640x368+0+48 640x24+0+24 510x40+0+416 2x40+638+416"
steady_equal() { # steady_equal SHOT REF
    local g
    for g in $STEADY; do
        [ "$(differ "$1" "$2" "$g")" = 0 ] || return 1
    done
}
await_page() { # await_page SHOT REF SECONDS
    local end=$(($(now_ms) + $3 * 1000))
    while :; do
        shot "$1"
        steady_equal "$1" "$2" && return 0
        [ "$(now_ms)" -ge "$end" ] && return 1
        sleep 0.3
    done
}

launched=$(now_ms)
"$WINE_RUN" "$WINEDIR" "$exe" >"$work/out" 2>"$work/err" </dev/null &
pid=$!
end=$(($(now_ms) + 60000))
until xdotool search --name '^Quillon$' >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "FAIL: the maker's exe ended before its window appeared"; cat "$work/err"; exit 1; }
    [ "$(now_ms)" -ge "$end" ] && { echo "FAIL: no window named Quillon after 60 s"; exit 1; }
    sleep 0.2
done
xdotool mousemove 320 240
check "page 1 equals page 1 of a native build with the same text and song" await_page page1 page1 300
echo "page 1 shown $(($(now_ms) - launched)) ms after the start"

# 9 s of the song from its first sound (the music starts with page 1's
# reveal, after the pre-roll).
end=$(($(now_ms) + 120000))
onset=""
while [ -z "$onset" ]; do
    kill -0 "$pid" 2>/dev/null || { echo "FAIL: the maker's exe ended before any sound"; exit 1; }
    [ "$(now_ms)" -ge "$end" ] && { echo "FAIL: no sound"; exit 1; }
    sleep 0.5
    onset=$("$wavmatch" --onset "$work/recording.raw")
done
want=$((onset + 9 * 176400))
while [ "$(stat -c %s "$work/recording.raw")" -lt "$want" ]; do
    [ "$(now_ms)" -ge "$end" ] && { echo "FAIL: the recording stopped growing"; exit 1; }
    sleep 0.5
done
kill "$rec" && wait "$rec" 2>/dev/null
rec=""

xdotool click 3
check "a right click leads to page 2" await_page page2 page2 60

# Left clicks until the program ends (one during a reveal is not taken).
end=$(($(now_ms) + 60000))
while kill -0 "$pid" 2>/dev/null && [ "$(now_ms)" -lt "$end" ]; do
    xdotool click 1
    sleep 1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the maker's exe still running 60 s after the first left click"
    exit 1
fi
wait "$pid"
code=$?
pid=""
check "a left click ends it with exit code 1 (got $code)" [ "$code" = 1 ]

"$wavmatch" "$work/recording.raw" "$work/small.wav" 8 >"$work/match-small.txt"
small=$?
"$wavmatch" "$work/recording.raw" "$work/full.wav" 8 >"$work/match-full.txt"
full=$?
check "the sound is the song as xmrender --small renders it" [ "$small" = 0 ]
check "and not as the full player renders it (the PLAYER resource chose)" [ "$full" = 1 ]
[ "$small" = 0 ] || cat "$work/match-small.txt"
exit $fail
