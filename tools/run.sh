#!/bin/sh
# Starts the show. Where there is no display to show it on, renders it
# offline instead: the song and one still of each part of the show into
# out/, with the command that renders the whole show to a video.
set -eu
cd "$(dirname "$0")/.."
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ./build/brinelux
fi

capture=./build/tools/brinelux-capture
mkdir -p out
echo "No display here: rendering the show offline into out/ instead."
$capture --wav out/song.wav
$capture --still title --png out/title.png
$capture --still thanks --png out/thanks.png
$capture --still water --time 2.5 --png out/water.png
$capture --still spheres --time 7 --png out/spheres.png
echo
echo "In $(pwd)/out:"
echo "  song.wav     the whole song, 16-bit mono 44100 Hz"
echo "  title.png    the title card"
echo "  thanks.png   the thanks card"
echo "  water.png    the water at 2.5 s"
echo "  spheres.png  the spheres at 7 s"
echo
echo "The whole show as a video (H.264 and AAC, 25 frames per second):"
echo "  $capture --out out/brinelux.mp4"
echo "With software rendering that is a matter of tens of minutes to hours (the"
echo "spheres cost about half a second a frame: 22 minutes on two cores); on a GPU,"
echo "a few minutes."
