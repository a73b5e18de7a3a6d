#!/bin/sh
# The whole show with no sound device: the silent output keeps real time, so
# the song's end mark must end the show by itself, with status 0, after
# about 117 seconds.
#   long_song.sh path/to/brinelux
set -u
show=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

start=$(date +%s)
SDL_AUDIODRIVER=none-such MESA_SHADER_CACHE_DISABLE=true \
    timeout -s KILL 240 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$show" >"$work/out.txt" 2>"$work/err.txt"
status=$?
elapsed=$(( $(date +%s) - start ))
echo "show ended with status $status after $elapsed s"

fail=0
if ! grep -q "no sound device" "$work/err.txt"; then
    echo "FAIL: no line about the silent output on standard error"
    fail=1
fi
if [ "$status" -ne 0 ]; then
    echo "FAIL: status $status"
    fail=1
fi
if [ "$elapsed" -lt 115 ] || [ "$elapsed" -gt 180 ]; then
    echo "FAIL: the song's end mark should end the show after about 117 s"
    fail=1
fi
if [ "$fail" -ne 0 ]; then
    echo "--- standard error:"
    cat "$work/err.txt"
fi
exit $fail
