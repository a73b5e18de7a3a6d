#!/bin/sh
# The show's sound from its first frame: run it under Xvfb for a few seconds
# with SDL's disk driver, which writes what the device plays to a file in
# real time, and look at that file.
#   e2e_audio.sh path/to/brinelux
set -eu
show=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
raw=$work/played.raw

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$raw MESA_SHADER_CACHE_DISABLE=true \
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" sh -c '
    "$1" >"$2/out.txt" 2>"$2/err.txt" &
    pid=$!
    sleep 4
    kill -TERM $pid 2>/dev/null || true
    sleep 2
    kill -KILL $pid 2>/dev/null || true
    wait $pid || true
' run "$show" "$work"

if [ ! -s "$raw" ]; then
    echo "FAIL: the device played nothing (no $raw)"
    cat "$work/err.txt"
    exit 1
fi

# Samples as signed 16-bit numbers, one a line: where does sound begin, and
# how much of the first two seconds is sound.
od -An -v -t d2 "$raw" | tr -s ' ' '\n' | grep -v '^$' > "$work/samples.txt"
awk '
    $1 != 0 && first == "" { first = NR - 1 }
    NR <= 88200 && $1 != 0 { sounding++ }
    END {
        total = NR
        if (first == "") { print "FAIL: only silence in " total " samples"; exit 1 }
        printf "first sound at sample %d (%.3f s); %d of the first 88200 samples sound; %d samples played\n",
               first, first / 44100, sounding, total
        if (first > 0.5 * 44100) { print "FAIL: sound starts later than 0.5 s"; exit 1 }
        if (total < 2 * 44100) { print "FAIL: under 2 s played in about 4 s of show"; exit 1 }
        if (sounding < 44100) { print "FAIL: under half of the first 2 s sound"; exit 1 }
    }' "$work/samples.txt"
