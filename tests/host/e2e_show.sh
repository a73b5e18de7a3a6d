#!/bin/bash
# End to end: the real show on a real X server (Xvfb) with Mesa's software GL.
# Usage: e2e_show.sh BRINELUX FORCE_GL_ERROR_LIB OUTDIR TERM_AT_START_LIB
set -u
bin=$1 preload=$2 outdir=$3 term_at_start=$4
mkdir -p "$outdir"
export MESA_SHADER_CACHE_DISABLE=true SDL_AUDIODRIVER=dummy
failures=0
# A failure shows what the show itself said, which is most of the diagnosis.
fail() {
    echo "FAIL: $*"
    for f in stdout stderr; do
        [ -s "$outdir/$f" ] && sed "s/^/  show $f: /" "$outdir/$f" | head -5
    done
    failures=$((failures + 1))
}

# A private X server on a free display number. -noreset: by default the
# server resets when its last client leaves, and a show connecting meanwhile
# is refused or cut off (seen as "x11 not available" or SIGPIPE).
exec 3>"$outdir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 50); do [ -s "$outdir/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$outdir/display")

# Starts the show; waits until its window is on screen.
start() {
    "$@" >"$outdir/stdout" 2>"$outdir/stderr" &
    pid=$!
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name brinelux >/dev/null 2>&1 && return 0
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Waits at most $1 seconds for the show to end; sets status.
wait_end() {
    local limit=$(( $1 * 10 ))
    for _ in $(seq $limit); do
        kill -0 $pid 2>/dev/null || { wait $pid; status=$?; return 0; }
        sleep 0.1
    done
    kill -9 $pid 2>/dev/null; wait $pid 2>/dev/null; status=timeout
    return 1
}

# 1. The window covers the screen; Escape ends the show with status 0.
start "$bin" || fail "the show did not open its window"
sleep 1
import -window root "$outdir/running.png"
size=$(identify -format '%wx%h' "$outdir/running.png" 2>/dev/null)
[ "$size" = "1024x768" ] || fail "screenshot is $size"
geometry=$(xdotool search --onlyvisible --name brinelux getwindowgeometry 2>/dev/null | tr -d '\n')
case "$geometry" in *"Position: 0,0"*"Geometry: 1024x768"*) ;; *) fail "window geometry: $geometry" ;; esac
xdotool key Escape
wait_end 2 || true
[ "$status" = 0 ] || fail "Escape: status $status"

# 2. Space does the same.
start "$bin" || fail "second start"
sleep 0.5
xdotool key space
wait_end 2 || true
[ "$status" = 0 ] || fail "Space: status $status"

# 3. A termination request ends it the same way, the screen given back.
start "$bin" || fail "third start"
sleep 0.5
kill -TERM $pid
wait_end 2 || true
[ "$status" = 0 ] || fail "SIGTERM: status $status"

# 4. An OpenGL error from outside the show ends it with status 1 after the
# line, a whole line on each stream: the frame reports that follow it on
# standard output start lines of their own.
start env LD_PRELOAD="$preload" BRINELUX_TEST_REPORT=1 "$bin" || true
wait_end 10 || true
[ "$status" = 1 ] || fail "GL error: status $status"
for f in stdout stderr; do
    grep -qx 'DrawScene:frame  : INVALID_ENUM 1280' "$outdir/$f" && [ -z "$(tail -c 1 "$outdir/$f")" ] ||
        fail "GL error line missing or not a line of its own on $f: $(cat "$outdir/$f")"
done

# 5. No display at all: one line on standard error, status 1.
env -u DISPLAY -u WAYLAND_DISPLAY "$bin" >"$outdir/stdout" 2>"$outdir/stderr"
status=$?
[ "$status" = 1 ] || fail "no display: status $status"
lines=$(wc -l <"$outdir/stderr")
[ "$lines" = 1 ] || fail "no display: $lines lines: $(cat "$outdir/stderr")"
grep -q 'no display' "$outdir/stderr" || fail "no display: $(cat "$outdir/stderr")"

# 6. A termination request as the show starts up, before its first frame:
# no frame is drawn, the sound never starts (the disk driver would make its
# file), and the show ends with status 0.
rm -f "$outdir/sound.raw"
env LD_PRELOAD="$term_at_start" BRINELUX_TEST_REPORT=1 SDL_AUDIODRIVER=disk \
    SDL_DISKAUDIOFILE="$outdir/sound.raw" "$bin" >"$outdir/stdout" 2>"$outdir/stderr" &
pid=$!
wait_end 30 || true
[ "$status" = 0 ] || fail "terminated before the first frame: status $status"
grep -q '^brinelux-report: frame' "$outdir/stdout" && fail "terminated before the first frame: a frame was shown"
[ -e "$outdir/sound.raw" ] && fail "terminated before the first frame: the sound started"

[ $failures = 0 ] && echo "all end-to-end checks passed"
exit $failures
