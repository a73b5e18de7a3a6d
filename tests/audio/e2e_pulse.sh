#!/bin/bash
# The show through a real sound server: a private PulseAudio with a null
# sink, under Xvfb.
#   e2e_pulse.sh path/to/brinelux [CASE ...]
# Cases: step (the pictures follow what is heard: frames in step, the
# server's latency taken off, and the position read at each swap moving
# off the device's 256-sample grid), stopped (a server stopped before the
# start: the title card at once, Escape and SIGTERM answered), stall (a server
# stopped 15 s mid-show: the pictures move on within 3 s, and the song joins
# them when it continues), nosound (no server and no card: one line on
# standard error, not the sound library's own).
set -u
show=$1
shift
cases=${*:-step stopped stall nosound}
work=$(mktemp -d)
export MESA_SHADER_CACHE_DISABLE=true HOME=$work XDG_RUNTIME_DIR=$work/run
unset SDL_AUDIODRIVER
mkdir -m 700 "$work/run"
failures=0
fail() {
    echo "FAIL: $*"
    sed 's/^/  show stderr: /' "$work/err.txt" 2>/dev/null | head -8
    failures=$((failures + 1))
}

server="" xvfb="" pid=""
cleanup() {
    [ -n "$pid" ] && kill -KILL $pid 2>/dev/null
    [ -n "$server" ] && { kill -CONT $server; kill $server; } 2>/dev/null
    [ -n "$xvfb" ] && kill $xvfb 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit -L "module-null-sink sink_name=null" \
    -L "module-native-protocol-unix socket=$work/native auth-anonymous=1" >"$work/pulse.log" 2>&1 &
server=$!
export PULSE_SERVER=unix:$work/native
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { echo "FAIL: the private sound server did not start"; cat "$work/pulse.log"; exit 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc -l; }
lastFrame() { grep '^brinelux-report: frame' "$work/out.txt" | tail -1 | cut -d' ' -f3; }
# Starts the show; returns once its first frame is reported, with shown set
# to the seconds that took.
start() {
    local t0
    t0=$(now)
    rm -f "$work/out.txt"
    BRINELUX_TEST_REPORT=1 "$show" "$@" >"$work/out.txt" 2>"$work/err.txt" &
    pid=$!
    for _ in $(seq 200); do
        grep -q '^brinelux-report: frame 1 ' "$work/out.txt" && { shown=$(since "$t0"); return 0; }
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}
# Waits up to $1 s for the show to end; ended set to the seconds it took.
wait_end() {
    local t0
    t0=$(now)
    for _ in $(seq $(($1 * 20))); do
        kill -0 $pid 2>/dev/null || break
        sleep 0.05
    done
    ended=$(since "$t0")
    if kill -0 $pid 2>/dev/null; then
        kill -KILL $pid
        wait $pid 2>/dev/null
        pid=""
        return 1
    fi
    wait $pid
    status=$?
    pid=""
    return 0
}
in_step() {
    awk '$1 == "brinelux-report:" && $5 >= 1 { d = $3 - (25 * $5 + 1); if (d > 2 || d < -2) print }' "$work/out.txt"
}

for case in $cases; do
    case $case in
    step)
        start || { fail "step: the show did not start"; continue; }
        sleep 6
        xdotool key Escape
        wait_end 5 || fail "step: Escape did not end the show"
        [ -z "$(in_step)" ] || fail "step: frames out of step with the song: $(in_step | head -3)"
        latency=$(awk '$1 == "brinelux-report:" && $3 > 25 { n++; s += $NF } END { if (n) printf "%.1f", s / n }' \
            "$work/out.txt")
        echo "step: mean latency taken off ${latency:-none} ms"
        awk -v l="${latency:-0}" 'BEGIN { exit !(l > 0 && l < 1000) }' ||
            fail "step: no latency from the sound server (${latency:-none})"
        # One frame a swap: the loop reads the song's position every few
        # milliseconds, at no moment in particular. A clock that moves in
        # whole device callbacks gives steps of 0 or whole callbacks (256
        # samples); the clock drawn between them, steps of what passed.
        start --pace display || { fail "step: the show did not start at the display's pace"; continue; }
        sleep 4
        xdotool key Escape
        wait_end 5 || fail "step: Escape did not end the show at the display's pace"
        grid=$(awk '$1 == "brinelux-report:" && $3 > 60 && $5 > 0 {
                if (p != "") { d = ($5 - p) * 44100; r = d % 256; if (r > 128) r = 256 - r; n++; if (r > 8) off++ }
                p = $5 } END { printf "%d %d", off, n }' "$work/out.txt")
        echo "step: steps off the callbacks' grid by more than 8 samples: ${grid% *} of ${grid#* }"
        [ "${grid#* }" -ge 50 ] && [ $(( ${grid% *} * 2 )) -ge "${grid#* }" ] ||
            fail "step: the clock moves in whole callbacks (${grid% *} of ${grid#* } steps off the grid)"
        ;;
    stopped)
        for how in Escape TERM; do
            kill -STOP $server
            start || fail "stopped ($how): no frame while the server is stopped"
            echo "stopped ($how): first frame after ${shown:-never} s"
            awk -v s="${shown:-99}" 'BEGIN { exit !(s < 5) }' || fail "stopped ($how): first frame after ${shown:-never} s"
            sleep 0.5
            if [ $how = Escape ]; then xdotool key Escape; else kill -TERM $pid; fi
            wait_end 10 || fail "stopped ($how): the show did not end"
            echo "stopped ($how): ended ${ended} s after the $how"
            awk -v s="$ended" 'BEGIN { exit !(s < 2) }' || fail "stopped ($how): ended $ended s after the $how"
            [ "${status:-1}" -eq 0 ] || fail "stopped ($how): status ${status:-none}"
            kill -CONT $server
        done
        ;;
    stall)
        start || { fail "stall: the show did not start"; continue; }
        # Past the frame two seconds in, which carries the driver's compile
        # of the scene programs (seconds on a software renderer, no frame
        # drawn meanwhile), and a second more.
        for _ in $(seq 300); do [ "$(lastFrame)" -gt 75 ] 2>/dev/null && break; sleep 0.05; done
        kill -STOP $server
        stopped=$(now)
        # The frames stand for at most the stand-in's wait, then move again.
        sleep 1
        held=$(lastFrame)
        moved=""
        for _ in $(seq 60); do
            [ "$(lastFrame)" -gt "$((held + 5))" ] && { moved=$(since "$stopped"); break; }
            sleep 0.05
        done
        echo "stall: frames moving again ${moved:-never} s after the stop"
        [ -n "$moved" ] && awk -v s="$moved" 'BEGIN { exit !(s < 3) }' || fail "stall: frames held ${moved:-for good}"
        sleep $(echo "15 - $(since "$stopped")" | bc -l)
        kill -CONT $server
        sleep 3
        grep -q "plays again" "$work/err.txt" || fail "stall: the song did not join the show"
        xdotool key Escape
        wait_end 5 || fail "stall: Escape did not end the show"
        [ -z "$(in_step)" ] || fail "stall: frames out of step with the song: $(in_step | head -3)"
        [ "$(grep -c "taken nothing" "$work/err.txt")" -eq 1 ] || fail "stall: not one line for the stall"
        ;;
    nosound)
        PULSE_SERVER=unix:$work/none start || { fail "nosound: the show did not start"; continue; }
        sleep 2
        xdotool key Escape
        wait_end 5 || fail "nosound: Escape did not end the show"
        [ "$(wc -l <"$work/err.txt")" -eq 1 ] && grep -q "no sound device" "$work/err.txt" ||
            fail "nosound: standard error is not one line: $(head -3 "$work/err.txt")"
        ;;
    *) fail "unknown case $case" ;;
    esac
done
[ $failures -eq 0 ] && echo "PASS: the show through a sound server"
exit $((failures > 0))
