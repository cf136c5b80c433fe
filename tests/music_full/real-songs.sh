#!/bin/sh
# real-songs.sh BUILD_DIR [CACHE_DIR]
# Fetches the free Debian game packages that ship Extended Module songs
# (apt-get download + dpkg-deb -x into CACHE_DIR, default ~/.cache/quillon-xm,
# never into the repository), renders every song with the full player
# (xmrender --full), libxmp (xmp) and libopenmpt (openmpt123), and prints
# song_compare's figures: ours against each reference, and the two
# references against each other.
set -eu
build=$(cd "$1" && pwd)
cache=${2:-${HOME:-/tmp}/.cache/quillon-xm}
# Packages and licences: ballz-data (BSD-3-Clause), bomberclone-data
# (GPL-2+), njam-data (GPL-2+), pekka-kana-2-data (BSD-2-Clause).
packages="ballz-data bomberclone-data njam-data pekka-kana-2-data"
mkdir -p "$cache/debs" "$cache/root" "$cache/songs" "$cache/render"
cd "$cache/debs"
for p in $packages; do
    ls "$p"_*.deb >/dev/null 2>&1 || apt-get download "$p" >/dev/null
done
for deb in *.deb; do dpkg-deb -x "$deb" "$cache/root"; done
find "$cache/root" -iname '*.xm' -exec cp -n {} "$cache/songs/" \;
cd "$cache/render"
for song in "$cache"/songs/*.xm; do
    name=$(basename "$song" .xm)
    "$build/tools/xmrender" "$song" "ours_$name.wav" --full >/dev/null
    xmp -q -f 44100 -i linear -o "xmp_$name.wav" "$song" >/dev/null 2>&1
    cp "$song" "mpt_$name.xm"
    openmpt123 --quiet --render --output-type wav --no-float --force --samplerate 44100 "mpt_$name.xm" >/dev/null 2>&1
    echo "== $name"
    "$build/tests/music_full/song_compare" "$song" "ours_$name.wav" "xmp_$name.wav" "mpt_$name.xm.wav"
    "$build/tests/music_full/song_compare" "$song" "xmp_$name.wav" "mpt_$name.xm.wav"
done
