#!/bin/bash
# The desktop show as a player, on Xvfb with no sound device (the stand-in
# output keeps the song's time) in a small window.
#   e2e_player.sh path/to/brinelux OUTDIR [CASE ...]
# Cases: pause (P holds the frame and the song's position, and resumes in
# step), seek (Right from 40 s lands on the frame for 45 s, the song there
# too; a held Right ends in step), start (--start 70 opens on frame 1751;
# --start 999 is refused), loop (--loop passes the song's end to the title
# card again, three times, memory not growing), display (--display on a
# compositor with two outputs; list; a monitor that is not there), focus
# (another window takes the focus and gives it back: Escape still ends it).
set -u
bin=$1 outdir=$2
shift 2
cases=${*:-pause seek start loop display focus}
mkdir -p "$outdir"
export MESA_SHADER_CACHE_DISABLE=true SDL_AUDIODRIVER=none-such
failures=0
fail() {
    echo "FAIL: $*"
    [ -s "$outdir/stderr" ] && sed 's/^/  show stderr: /' "$outdir/stderr" | head -5
    failures=$((failures + 1))
}
xvfb="" pid="" others=""
cleanup() {
    [ -n "$pid" ] && kill -KILL $pid 2>/dev/null
    for p in $others; do kill $p 2>/dev/null; done
    [ -n "$xvfb" ] && kill $xvfb 2>/dev/null
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$outdir/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$outdir/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$outdir/display")

reports() { grep '^brinelux-report: frame' "$outdir/stdout"; }
last() { reports | tail -1 | cut -d' ' -f"$1"; }
start() {
    rm -f "$outdir/stdout"
    BRINELUX_TEST_REPORT=1 "$bin" --window 256x192 "$@" >"$outdir/stdout" 2>"$outdir/stderr" &
    pid=$!
    for _ in $(seq 300); do
        reports >/dev/null 2>&1 && {
            window=$(xdotool search --onlyvisible --name brinelux 2>/dev/null | head -1)
            [ -n "$window" ] && xdotool windowfocus --sync "$window" 2>/dev/null
            return 0
        }
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
# Waits until the frames move on past $1 (the frame two seconds in carries
# the driver's compile of the scene programs, seconds on a software
# renderer, in which no key is read; a scene's first frame likewise).
wait_frames() {
    for _ in $(seq 400); do [ "$(last 3)" -gt "$1" ] 2>/dev/null && return 0; sleep 0.05; done
    return 1
}
stop() {
    [ -z "$pid" ] && return
    xdotool key Escape
    for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill -0 $pid 2>/dev/null && { fail "$1: Escape did not end the show"; kill -KILL $pid; }
    wait $pid 2>/dev/null
    pid=""
}
# Lines out of step with the song after the line numbered $1.
out_of_step() {
    reports | tail -n +"$1" | awk '$5 >= 1 { d = $3 - (25 * $5 + 1); if (d > 2 || d < -2) print }'
}
near() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { exit !((a - b) <= d && (b - a) <= d) }'; }

for case in $cases; do
    case $case in
    pause)
        start || { fail "pause: no start"; continue; }
        wait_frames 60 || fail "pause: the frames did not move"
        xdotool key p
        sleep 0.5
        frame=$(last 3) song=$(last 5)
        sleep 3
        [ "$(last 3)" = "$frame" ] || fail "pause: the frame moved from $frame to $(last 3)"
        near "$(last 5)" "$song" 0.05 || fail "pause: the song moved from $song to $(last 5)"
        lines=$(reports | wc -l)
        xdotool key k
        sleep 2
        [ "$(last 3)" -gt $((frame + 25)) ] || fail "pause: did not resume (frame $(last 3) after $frame)"
        near "$(last 5)" "$(echo "$song + 2" | bc -l)" 0.5 || fail "pause: resumed at $(last 5), paused at $song"
        [ -z "$(out_of_step $((lines + 1)))" ] || fail "pause: out of step after resuming: $(out_of_step $lines | head -2)"
        echo "pause: held at frame $frame ($song s) for 3 s, then on to $(last 3)"
        stop pause
        ;;
    seek)
        start --start 40 || { fail "seek: no start"; continue; }
        wait_frames 1010 || fail "seek: the frames did not move"
        from=$(last 5)
        lines=$(reports | wc -l)
        before=$(date +%s.%N)
        xdotool key Right
        # The first frame after the jump is the one due at its target, 5 s
        # past where the song was when the key was read; the song goes on
        # from there.
        jump=""
        for _ in $(seq 200); do
            jump=$(reports | tail -n +"$lines" | awk 'NR > 1 && $3 > p + 50 { print $3, $5; exit } { p = $3 }')
            [ -n "$jump" ] && break
            sleep 0.05
        done
        echo "seek: Right from $from s showed frame ${jump% *} at ${jump#* } s after $(echo "$(date +%s.%N) - $before" | bc -l) s"
        if [ -z "$jump" ]; then
            fail "seek: no jump after Right from $from s"
        else
            awk -v f="${jump% *}" -v s="${jump#* }" -v from="$from" \
                'BEGIN { d = f - (int(s * 25) + 1); exit !(d <= 2 && d >= -2 && s - from >= 5 && s - from < 5.8) }' ||
                fail "seek: Right from $from s showed frame ${jump% *} at ${jump#* } s"
            sleep 1
            near "$(last 5)" "$(echo "${jump#* } + 1" | bc -l)" 0.6 ||
                fail "seek: the song is at $(last 5) s a second after seeking to ${jump#* } s"
        fi
        # A held arrow: the system's repeats seek on, and the show is in step
        # within a second of the release.
        xset r rate 500 3
        xdotool keydown Right
        sleep 3
        xdotool keyup Right
        xset r rate
        sleep 1
        lines=$(reports | wc -l)
        sleep 1
        [ -z "$(out_of_step "$lines")" ] || fail "seek: out of step after a held Right: $(out_of_step "$lines" | head -2)"
        echo "seek: a held Right ended at $(last 5) s of song, frame $(last 3)"
        awk -v s="$(last 5)" 'BEGIN { exit !(s > 65) }' || fail "seek: a held Right for 3 s went only to $(last 5) s"
        stop seek
        ;;
    start)
        start --start 70 || { fail "start: no start"; continue; }
        first=$(reports | head -1 | cut -d' ' -f3)
        [ "$first" = 1751 ] || fail "start: --start 70 opened on frame $first, not 1751"
        stop start
        "$bin" --start 999 >/dev/null 2>"$outdir/stderr"
        status=$?
        [ $status -eq 2 ] && [ "$(wc -l <"$outdir/stderr")" -eq 1 ] || fail "start: --start 999 gave status $status"
        ;;
    loop)
        start --loop --start 110 || { fail "loop: no start"; continue; }
        rss=""
        for pass in 1 2 3; do
            # Past the end: the title card again, then on to the end once more.
            for _ in $(seq 300); do [ "$(last 3)" -lt 300 ] && break; sleep 0.05; done
            [ "$(last 3)" -lt 300 ] || { fail "loop: pass $pass did not start over"; break; }
            rss="$rss $(awk '/VmRSS/ { print $2 }' /proc/$pid/status)"
            lines=$(reports | wc -l)
            xdotool key --delay 30 l l l l l l l l l l l
            sleep 1.5
            [ -z "$(out_of_step $((lines + 1)))" ] || fail "loop: pass $pass out of step: $(out_of_step $lines | head -2)"
        done
        echo "loop: resident kB at the start of each pass:$rss"
        set -- $rss
        [ $# -eq 3 ] && [ "$3" -le $(($2 + 2048)) ] || fail "loop: memory grew over the passes:$rss"
        grep -q "brinelux: " "$outdir/stderr" && ! grep -q "no sound device" "$outdir/stderr" && fail "loop: said something"
        stop loop
        ;;
    display)
        "$bin" --display list >"$outdir/list" 2>&1 || fail "display: --display list failed"
        "$bin" --display 3 >/dev/null 2>"$outdir/stderr"
        [ $? -eq 2 ] || fail "display: --display 3 on one monitor was not refused with status 2"
        # Two outputs side by side in a nested compositor.
        export XDG_RUNTIME_DIR=$outdir/run
        mkdir -p -m 700 "$XDG_RUNTIME_DIR"
        weston --backend=x11-backend.so --socket=wl-two --use-pixman --width=640 --height=480 --output-count=2 \
            >"$outdir/weston.log" 2>&1 &
        others="$others $!"
        # The compositor takes a while to start on a loaded machine, and its
        # outputs a moment more to be announced.
        for _ in $(seq 300); do [ -S "$XDG_RUNTIME_DIR/wl-two" ] && break; sleep 0.1; done
        for _ in $(seq 30); do
            env -u DISPLAY WAYLAND_DISPLAY=wl-two "$bin" --display list >"$outdir/list" 2>&1
            [ "$(grep -c '^[12]: 640x480 at' "$outdir/list")" -eq 2 ] && break
            sleep 0.5
        done
        cat "$outdir/list"
        [ "$(grep -c '^[12]: 640x480 at' "$outdir/list")" -eq 2 ] || fail "display: not two monitors listed"
        env -u DISPLAY WAYLAND_DISPLAY=wl-two "$bin" --display 3 >/dev/null 2>"$outdir/stderr"
        [ $? -eq 2 ] || fail "display: --display 3 of two was not refused with status 2"
        # Weston draws each output in an X window of its own: the second's.
        second=$(xwininfo -root -tree | awk '/Weston Compositor - screen1/ { print $1 }')
        mean() { import -window "$second" "$outdir/second.png" && convert "$outdir/second.png" -format '%[fx:mean]' info:; }
        for n in 1 2; do
            env -u DISPLAY WAYLAND_DISPLAY=wl-two "$bin" --display $n >/dev/null 2>&1 &
            shown=$!
            sleep 3
            m=$(mean)
            kill $shown
            wait $shown 2>/dev/null
            echo "display: --display $n: the second output's mean level $m"
            # The title card is nearly all black; the compositor's own
            # background is not.
            if [ $n = 2 ]; then
                awk -v m="$m" 'BEGIN { exit !(m > 0.001 && m < 0.05) }' || fail "display: --display 2 is not on the second output"
            else
                awk -v m="$m" 'BEGIN { exit !(m > 0.1) }' || fail "display: --display 1 covered the second output"
            fi
        done
        ;;
    focus)
        start || { fail "focus: no start"; continue; }
        xmessage -geometry 200x100+10+10 "another window" &
        others="$others $!"
        sleep 1
        other=$(xdotool search --name xmessage 2>/dev/null | head -1)
        [ -n "$other" ] && xdotool windowraise "$other" windowfocus --sync "$other"
        sleep 0.5
        xdotool windowraise "$window" windowfocus --sync "$window"
        sleep 0.5
        stop focus
        ;;
    *) fail "unknown case $case" ;;
    esac
done
[ $failures -eq 0 ] && echo "PASS: the desktop player"
exit $((failures > 0))
