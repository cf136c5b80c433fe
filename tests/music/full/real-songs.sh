#!/bin/sh
# real-songs.sh BUILD_DIR [CACHE_DIR]
# Fetches the free Debian game packages that ship Extended Module songs
# (apt-get download + dpkg-deb -x into CACHE_DIR, default ~/.cache/quillon-xm,
# never into the repository), renders every song with the full player
# (xmrender --full), libxmp (xmp) and libopenmpt (openmpt123), and prints
# song_compare's figures: ours against each reference, and the two
# references against each other. With FETCH_ONLY=1 it only fetches.
set -eu
build=$(cd "$1" && pwd)
cache=${2:-${HOME:-/tmp}/.cache/quillon-xm}
# Packages and the licences of their music (each package's copyright
# file): ballz-data (BSD-3-Clause), bomberclone-data (GPL-2), njam-data
# (GPL-2), pekka-kana-2-data (BSD-2-Clause), heroes-sound-tracks (GPL-2),
# solarwolf (LGPL-2.1 / GPL-2), criticalmass-data (GPL-2+). The songs are
# only rendered here, never copied into the repository.
packages="ballz-data bomberclone-data njam-data pekka-kana-2-data heroes-sound-tracks solarwolf criticalmass-data"
mkdir -p "$cache/debs" "$cache/songs" "$cache/render"
cd "$cache/debs"
for p in $packages; do
    ls "$p"_*.deb >/dev/null 2>&1 || apt-get download "$p" >/dev/null
    # Each package into its own folder; songs named package-song, so two
    # packages' intro.xm stay apart.
    mkdir -p "$cache/root/$p"
    dpkg-deb -x "$p"_*.deb "$cache/root/$p"
    find "$cache/root/$p" -iname '*.xm' | while read -r song; do
        name=$(basename "$song" | tr 'A-Z ' 'a-z_')
        cp "$song" "$cache/songs/$p-${name%.xm}.xm"
    done
done
[ "${FETCH_ONLY:-}" = 1 ] && exit 0
cd "$cache/render"
for song in "$cache"/songs/*.xm; do
    name=$(basename "$song" .xm)
    "$build/tools/xmrender" "$song" "ours_$name.wav" --full >/dev/null
    xmp -q -f 44100 -i linear -o "xmp_$name.wav" "$song" >/dev/null 2>&1
    cp "$song" "mpt_$name.xm"
    openmpt123 --quiet --render --output-type wav --no-float --force --samplerate 44100 "mpt_$name.xm" >/dev/null 2>&1
    echo "== $name"
    "$build/tests/music/full/song_compare" "$song" "ours_$name.wav" "xmp_$name.wav" "mpt_$name.xm.wav"
    "$build/tests/music/full/song_compare" "$song" "xmp_$name.wav" "mpt_$name.xm.wav"
done
