#!/bin/bash
# A sound device that stops taking samples for a while: the song must wait
# for it, not race ahead unheard. The show plays through SDL's disk driver
# into a FIFO whose reader is stopped 3 s into the show for 20 s; the song's end mark
# must then end the show only once the whole song has reached the device
# (117.2 s of sound; a song that raced ahead during the stall ends the show
# with much less). The pictures follow the song, so they wait too: the frame
# on screen stays the same through the stall. The disk driver's pace is not
# the wall clock's (it sleeps whole milliseconds per chunk), so the run's
# length is only reported.
#   hostile_stall.sh path/to/brinelux
set -u
show=$1
work=$(mktemp -d)
trap 'kill -CONT $reader 2>/dev/null; kill $reader 2>/dev/null; rm -rf "$work"' EXIT
mkfifo "$work/device"
cat "$work/device" >"$work/played.raw" &
reader=$!

start=$(date +%s)
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/device" MESA_SHADER_CACHE_DISABLE=true BRINELUX_TEST_REPORT=1 \
    timeout -s KILL 300 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$show" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
# The song starts with the first frame; the frame two seconds in waits for the
# driver's compile of the scene programs (seconds on a software renderer).
lastFrame() { grep '^brinelux-report: frame' "$work/out.txt" | tail -1 | cut -d' ' -f3; }
for _ in $(seq 600); do [ "$(lastFrame)" -ge 5 ] 2>/dev/null && break; sleep 0.1; done
sleep 3
kill -STOP $reader
# The pipe still takes a little under a second of sound after the reader stops.
sleep 6
held=$(lastFrame)
sleep 13
after=$(lastFrame)
sleep 1
kill -CONT $reader
wait $pid
status=$?
elapsed=$(( $(date +%s) - start ))
wait $reader
played=$(( $(stat -c %s "$work/played.raw") / 2 ))
echo "show ended with status $status after $elapsed s, $played samples played"

fail=0
[ "$status" -eq 0 ] || { echo "FAIL: status $status"; fail=1; }
echo "frame on screen 6 s into the stall: ${held:-none}, 19 s in: ${after:-none}"
[ -n "$held" ] && [ "$held" = "$after" ] || { echo "FAIL: the pictures went on while the sound stood"; fail=1; }
# The whole song reached the device: 117.2 s at least.
[ "$played" -ge $(( 117 * 44100 )) ] || { echo "FAIL: only $played samples were played"; fail=1; }
[ $fail -eq 0 ] || { echo "--- standard error:"; cat "$work/err.txt"; }
exit $fail
