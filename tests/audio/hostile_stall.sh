#!/bin/bash
# A sound device that stops taking samples for a while. The show plays
# through SDL's disk driver into a FIFO whose reader is stopped 3 s into the
# show for 20 s. Short hiccups hold picture and song together; a stand of
# more than two seconds hands the song to the stand-in clock, so the
# pictures move on within about three seconds of the stop (the pipe still
# takes a little under a second of sound after the reader stops), and what
# was missed is not played late: the device, playing again, takes the song
# from the show's position, so it gets much less than the whole song, and
# the song's end mark still ends the show. The disk driver's pace is not the
# wall clock's (it sleeps whole milliseconds per chunk), so the run's length
# is only reported.
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
[ -n "$held" ] && [ -n "$after" ] && [ "$after" -gt $((held + 200)) ] ||
    { echo "FAIL: the pictures waited for the stalled device"; fail=1; }
# About 17 s of the song were missed (20 s less the stand-in's wait and the
# pipe's second): not played late.
[ "$played" -lt $(( 105 * 44100 )) ] || { echo "FAIL: $played samples played: the stall was played late"; fail=1; }
[ "$played" -ge $(( 80 * 44100 )) ] || { echo "FAIL: only $played samples were played after the stall"; fail=1; }
grep -q "taken nothing" "$work/err.txt" && grep -q "plays again" "$work/err.txt" ||
    { echo "FAIL: no line for the stall and the join"; fail=1; }
[ $fail -eq 0 ] || { echo "--- standard error:"; cat "$work/err.txt"; }
exit $fail
