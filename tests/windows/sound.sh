#!/bin/bash
# The Windows program's sound under Wine: a PulseAudio server of our own with
# a null sink as the only (default) device; the backend's waveform test
# against it, then quillon.exe on the session's desktop while parec records
# the sink's monitor. The recording must match xmrender's rendering of the
# song (tests/windows/wavmatch.cpp says how), and the program still ends
# with exit code 1 after a left click.
#   sound.sh QUILLON_EXE BACKEND_TESTS_EXE XMRENDER SONG WAVMATCH WORKDIR
#   (WINE_RUN, WINEDIR set)
set -u
exe=$1 backend=$2 xmrender=$3 song=$4 wavmatch=$5 work=$6
: "${WINE_RUN:?} ${WINEDIR:?}"
for tool in pulseaudio pactl parec xdotool; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing"; exit 1; }
done
[ -s "$WINEDIR/display" ] || { echo "FAIL: no Wine session"; exit 1; }
export DISPLAY=$(cat "$WINEDIR/display")
rm -rf "$work" && mkdir -p "$work/run" || exit 1
work=$(realpath "$work")
pa="" rec="" pid=""
cleanup() {
    for p in $pid $rec $pa; do kill "$p" 2>/dev/null; done
}
trap cleanup EXIT
now_ms() { date +%s%3N; }

# A server of our own: its runtime directory and socket in the work
# directory, no configuration read, no idle exit.
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

fail=0
"$WINE_RUN" "$WINEDIR" "$backend" --gtest_filter='WaveOut.*' >"$work/backend.out" 2>&1
if grep -q '^\[       OK \] WaveOut' "$work/backend.out"; then
    echo "ok: the waveform device opens at 44100 Hz, 16 bits, stereo, loops one buffer and counts bytes"
else
    echo "FAIL: the backend's waveform test"
    grep -v '^ALSA lib' "$work/backend.out"
    fail=1
fi

parec -d quillon.monitor --rate=44100 --format=s16le --channels=2 >"$work/recording.raw" 2>"$work/parec.err" &
rec=$!
"$WINE_RUN" "$WINEDIR" "$exe" >"$work/out" 2>"$work/err" </dev/null &
pid=$!
# The music starts after the pre-roll (tens of seconds under Wine, minutes
# on a loaded machine); then 9 s of it are recorded.
end=$(($(now_ms) + 400000))
onset=""
while [ -z "$onset" ]; do
    kill -0 "$pid" 2>/dev/null || { echo "FAIL: quillon.exe ended before any sound"; exit 1; }
    [ "$(now_ms)" -ge "$end" ] && { echo "FAIL: no sound within 400 s"; exit 1; }
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

# Left clicks until the program ends (the first ones may come during the
# reveal, when the button is not taken yet).
xdotool mousemove 320 240
end=$(($(now_ms) + 60000))
while kill -0 "$pid" 2>/dev/null && [ "$(now_ms)" -lt "$end" ]; do
    xdotool click 1
    sleep 1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: quillon.exe still running 60 s after the first left click"
    exit 1
fi
wait "$pid"
code=$?
pid=""
[ "$code" = 1 ] && echo "ok: exit code 1 after the left click" || { echo "FAIL: exit code $code, expected 1"; fail=1; }

"$xmrender" "$song" "$work/reference.wav" --seconds 20 >/dev/null || { echo "FAIL: xmrender"; exit 1; }
if "$wavmatch" "$work/recording.raw" "$work/reference.wav" 8; then
    echo "ok: what Wine played is the song as xmrender renders it"
else
    echo "FAIL: the recording does not match the song"
    fail=1
fi
exit $fail
