#!/bin/bash
# The live show under a hostile X server (Xvfb): its window destroyed from
# outside, its connection killed, the server gone or frozen, a small screen.
# Each ends promptly with one line and status 1 (the small screen runs on,
# the picture fitted to it).
# Usage: hostile_show.sh BRINELUX OUTDIR
set -u
bin=$1 outdir=$2
mkdir -p "$outdir"
export MESA_SHADER_CACHE_DISABLE=true SDL_AUDIODRIVER=dummy
failures=0
fail() {
    echo "FAIL: $*"
    [ -s "$outdir/stderr" ] && sed 's/^/  show stderr: /' "$outdir/stderr" | head -5
    failures=$((failures + 1))
}

# Starts a private X server with screen $2 (WxHxD); its pid goes into the
# variable named $1, its display into DISPLAY. -noreset: see e2e_show.sh.
servers=()
start_x() {
    local name=$1 file="$outdir/display-$1"
    rm -f "$file"
    Xvfb -displayfd 3 -screen 0 "$2" -nolisten tcp -noreset +extension RANDR 3>"$file" >/dev/null 2>&1 &
    printf -v "$name" %s $!
    servers+=($!)
    # No job notice when a test kills it.
    disown $!
    for _ in $(seq 50); do [ -s "$file" ] && break; sleep 0.1; done
    export DISPLAY=:$(cat "$file")
}
cleanup() {
    for s in "${servers[@]}"; do kill -CONT "$s" 2>/dev/null; kill "$s" 2>/dev/null; done
}
trap cleanup EXIT

# Starts the show; waits until its window is on screen. The last show's
# window must be gone first: the X server gives the next client the same
# window id, so a command meant for one could reach the other.
start() {
    for _ in $(seq 50); do xdotool search --onlyvisible --name brinelux >/dev/null 2>&1 || break; sleep 0.1; done
    "$bin" "$@" >"$outdir/stdout" 2>"$outdir/stderr" &
    pid=$!
    for _ in $(seq 100); do
        window=$(xdotool search --all --onlyvisible --pid $pid --name brinelux 2>/dev/null) && return 0
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Waits at most $1 seconds for the show (case $2) to end; sets status
# ("timeout" when it had to be killed; 128 + N for a death by signal N) and
# says how long it took. The limits are generous: a loaded machine may still
# be compiling the shaders when the event comes; only a hang runs into them.
wait_end() {
    local limit=$(($1 * 10)) start=$SECONDS
    for _ in $(seq $limit); do
        kill -0 $pid 2>/dev/null || {
            wait $pid
            status=$?
            echo "$2: ended after about $((SECONDS - start)) s, status $status"
            return 0
        }
        sleep 0.1
    done
    kill -9 $pid 2>/dev/null
    wait $pid 2>/dev/null
    status=timeout
}

# The show must have ended with status 1 and exactly one line on standard
# error, matching $2.
expect_failure_line() {
    [ "$status" = 1 ] || fail "$1: status $status"
    local lines
    lines=$(wc -l <"$outdir/stderr")
    [ "$lines" = 1 ] || fail "$1: $lines lines on stderr"
    grep -q "^brinelux: .*$2" "$outdir/stderr" || fail "$1: no line matching '$2'"
}

# 0. An option list that cannot be written (a full disk, a closed standard
# output) is a failure with one line, not a help given.
for target in /dev/full closed; do
    if [ $target = closed ]; then "$bin" --help >&- 2>"$outdir/stderr"; else "$bin" --help >$target 2>"$outdir/stderr"; fi
    status=$?
    expect_failure_line "--help to $target" "option list could not be written"
done

start_x main 1024x768x24

# 1. An ordinary run on a screen of the show's size says nothing.
start || fail "the show did not open its window"
sleep 0.5
xdotool key Escape
wait_end 20 "Escape"
[ "$status" = 0 ] || fail "Escape: status $status"
[ -s "$outdir/stderr" ] && fail "Escape: stderr not empty"

# 2. The window destroyed by another client (what a window manager's crash or
# a kill tool does to it).
start || fail "second start"
sleep 0.5
xdotool windowclose "$window"
wait_end 20 "window destroyed"
expect_failure_line "window destroyed" "window was destroyed"

# 3. Our client's connection killed by another client.
start || fail "third start"
sleep 0.5
xdotool windowkill "$window"
wait_end 20 "client killed"
expect_failure_line "client killed" "connection to the X display was lost"

# 4. The X server frozen under the show: every X call blocks, yet a
# termination request still ends it.
start_x frozen 1024x768x24
start || fail "start on the server to be frozen"
sleep 0.5
kill -STOP "$frozen"
sleep 0.5
kill -TERM $pid
wait_end 30 "frozen server"
expect_failure_line "frozen server" "display server stopped answering"
kill -CONT "$frozen"

# 5. The X server gone under the show.
start || fail "start on the server to be killed"
sleep 0.5
kill -KILL "$frozen"
wait_end 20 "server gone"
expect_failure_line "server gone" "connection to the X display was lost"

# 6. A screen smaller than the show's size: the window covers it, the
# picture is fitted to it (nothing cropped, nothing to say), the show runs on.
start_x small 800x600x24
start || fail "start on the small screen"
sleep 0.5
geometry=$(xdotool search --onlyvisible --name brinelux getwindowgeometry 2>/dev/null | grep Geometry)
xdotool key Escape
wait_end 20 "small screen"
[ "$status" = 0 ] || fail "small screen: status $status"
[ "$geometry" = "  Geometry: 800x600" ] || fail "small screen: window $geometry"
[ ! -s "$outdir/stderr" ] || fail "small screen: $(cat "$outdir/stderr")"

# A window asked larger than that screen is made to fit it, in the asked
# shape where the least side allows, with one line saying so.
for asked in 16384x16384:600x600 16384x64:800x64 64x16384:64x600; do
    start --window "${asked%:*}" || fail "start with --window ${asked%:*}"
    for _ in $(seq 50); do
        geometry=$(xdotool getwindowgeometry "$window" 2>/dev/null | grep Geometry)
        [ "$geometry" = "  Geometry: ${asked#*:}" ] && break
        sleep 0.1
    done
    xdotool key --window "$window" Escape
    wait_end 20 "--window ${asked%:*}"
    [ "$status" = 0 ] || fail "--window ${asked%:*}: status $status"
    [ "$geometry" = "  Geometry: ${asked#*:}" ] || fail "--window ${asked%:*}: window $geometry"
    [ "$(wc -l <"$outdir/stderr")" = 1 ] && grep -q "^brinelux: .*does not fit the screen" "$outdir/stderr" ||
        fail "--window ${asked%:*}: said $(cat "$outdir/stderr")"
done

# 6b. A window resized by another program past what the GPU can draw: the
# show keeps the window within the context's limits and runs on (with no
# window manager nothing else holds it back).
BRINELUX_TEST_REPORT=1 start --window 800x600 || fail "start for the resizes"
sleep 0.5
for size in "1 1" "1 1000" "3000 1" "8000 8000" "1 1" "30000 30000" "640 480" "30000 30000" "640 480"; do
    xdotool windowsize "$window" $size
    sleep 0.3
done
# A frame at the limit takes long on a software renderer: wait for the
# picture at the last size.
for _ in $(seq 600); do
    tail -n 1 "$outdir/stdout" | grep -q ' picture 640x480+0+0 ' && break
    sleep 0.1
done
geometry=$(xdotool getwindowgeometry "$window" 2>/dev/null | grep Geometry)
xdotool key --window "$window" Escape
wait_end 30 "resized past the limits"
[ "$status" = 0 ] || fail "resized past the limits: status $status"
[ ! -s "$outdir/stderr" ] || fail "resized past the limits: said $(cat "$outdir/stderr")"
grep -v '^brinelux-report: ' "$outdir/stdout" | grep . && fail "resized past the limits: more than reports on stdout"
[ "$geometry" = "  Geometry: 640x480" ] || fail "resized past the limits: window $geometry at the end"
tail -n 1 "$outdir/stdout" | grep -q ' picture 640x480+0+0 ' || fail "resized past the limits: $(tail -n 1 "$outdir/stdout")"

# 6c. The screen resized under the full-screen show (xrandr -s): the window
# covers the new screen and the picture follows; out of full screen the
# window stays on the smaller screen.
start_x resized 1024x768x24
xrandr --newmode 800x600 40.00 800 840 968 1056 600 601 605 628 >/dev/null 2>&1
xrandr --addmode screen 800x600 >/dev/null 2>&1
BRINELUX_TEST_REPORT=1 start || fail "start for the screen resize"
sleep 0.5
xrandr -s 800x600 || fail "xrandr could not resize the screen"
geometry=
for _ in $(seq 300); do
    geometry=$(xdotool getwindowgeometry "$window" 2>/dev/null | grep Geometry)
    [ "$geometry" = "  Geometry: 800x600" ] && tail -n 1 "$outdir/stdout" | grep -q ' picture 800x600+0+0 ' && break
    sleep 0.1
done
[ "$geometry" = "  Geometry: 800x600" ] || fail "screen resized: window $geometry"
tail -n 1 "$outdir/stdout" | grep -q ' picture 800x600+0+0 ' || fail "screen resized: $(tail -n 1 "$outdir/stdout")"
xdotool key --window "$window" F11
sleep 1
place=$(xdotool getwindowgeometry "$window" 2>/dev/null | tr '\n' ' ')
xdotool key --window "$window" Escape
wait_end 30 "screen resized"
[ "$status" = 0 ] || fail "screen resized: status $status"
read -r x y w h < <(echo "$place" | sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p')
[ -n "${h:-}" ] && [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 800 ] && [ $((y + h)) -le 600 ] ||
    fail "screen resized, then F11: the window is off the screen: $place"

# 6d. A window manager that ignores the full-screen request (twm puts its
# title bar above the window): the show still covers the whole screen, at
# its start and after F11 out of full screen and back.
start_x managed 1024x768x24
twm >/dev/null 2>&1 &
twm_pid=$!
servers+=($twm_pid)
disown $twm_pid
sleep 0.5
covers() {
    local info
    for _ in $(seq 200); do
        info=$(xwininfo -id "$window" 2>/dev/null | grep -E 'Absolute|Width|Height' | tr '\n' ' ' | tr -s ' ')
        [ "$info" = " Absolute upper-left X: 0 Absolute upper-left Y: 0 Width: 1024 Height: 768 " ] && return 0
        sleep 0.1
    done
    fail "under twm, $1: the window is at $info"
}
start || fail "start under twm"
covers "at the start"
xdotool key --window "$window" F11
sleep 1
xdotool key --window "$window" F11
covers "after F11 twice"
xdotool key --window "$window" Escape
wait_end 30 "under twm"
[ "$status" = 0 ] || fail "under twm: status $status"
[ ! -s "$outdir/stderr" ] || fail "under twm: said $(cat "$outdir/stderr")"

# 7. A hangup (the terminal closed) ends the show like SIGTERM, and a show
# started with standard output and error closed runs and ends as usual.
start_x last 1024x768x24
start || fail "start for the hangup"
sleep 0.5
kill -HUP $pid
wait_end 20 "hangup"
[ "$status" = 0 ] || fail "hangup: status $status"
"$bin" >&- 2>&- &
pid=$!
for _ in $(seq 100); do
    xdotool search --onlyvisible --name brinelux >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 0.5
xdotool key Escape
wait_end 20 "closed stdout and stderr"
[ "$status" = 0 ] || fail "closed stdout and stderr: status $status"

[ $failures = 0 ] && echo "all hostile display checks passed"
exit $failures
