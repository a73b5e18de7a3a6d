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
# (another window takes the focus and gives it back: Escape still ends it),
# saver (--window-id and XSCREENSAVER_WINDOW draw into a window made here:
# the capture's stills at its sizes, no sound server asked, SIGTERM ends it
# at once with 0, the window destroyed with 1), bench (--benchmark --part
# title: its frames and the score line), benchall (the whole show's parts).
# BRINELUX_CAPTURE names the capture tool for the stills.
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
here=$(dirname "$0")
# The window's picture against the capture's still of the title card at
# the same size: the count of pixels that differ.
differs() {
    import -window "$1" "$outdir/shot.png" &&
        "$BRINELUX_CAPTURE" --still title --size "$2" --png "$outdir/still.png" >/dev/null &&
        compare -metric AE "$outdir/shot.png" "$outdir/still.png" null: 2>&1
}
# A sound server's socket that notes whoever connects to it.
fake_server() {
    rm -f "$outdir/pulse" "$outdir/asked"
    python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(4)
while True:
    c, _ = s.accept(); open(sys.argv[2], "a").write("asked\n"); c.close()' "$outdir/pulse" "$outdir/asked" &
    others="$others $!"
    export PULSE_SERVER=unix:$outdir/pulse
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
    saver)
        fake_server
        coproc window { python3 "$here/x_window.py" 400 300; }
        read -r id <&"${window[0]}"
        (unset SDL_AUDIODRIVER; exec env BRINELUX_TEST_REPORT=1 "$bin" --window-id "$id" >"$outdir/stdout" \
            2>"$outdir/stderr") &
        pid=$!
        wait_frames 80 || fail "saver: no frames drawn into window $id"
        d=$(differs "$id" 400x300)
        [ "$d" = 0 ] || fail "saver: the window at 400x300 differs from the capture's still in $d pixels"
        echo "resize 600 200" >&"${window[1]}"
        read -r _ <&"${window[0]}"
        for _ in $(seq 100); do last 9 | grep -q '^267x200+166+0$' && break; sleep 0.05; done
        sleep 0.3
        d=$(differs "$id" 600x200)
        [ "$d" = 0 ] || fail "saver: resized to 600x200, the window differs from the capture's still in $d pixels"
        began=$(date +%s%N)
        kill -TERM $pid
        wait $pid
        status=$? took=$((($(date +%s%N) - began) / 1000000))
        pid=""
        echo "saver: drawn into $id at 400x300 and 600x200 as the capture draws them; SIGTERM: status $status in $took ms"
        [ $status = 0 ] && [ $took -lt 1000 ] || fail "saver: SIGTERM ended it with $status in $took ms"
        (unset SDL_AUDIODRIVER; exec env BRINELUX_TEST_REPORT=1 XSCREENSAVER_WINDOW="$id" "$bin" \
            >"$outdir/stdout" 2>"$outdir/stderr") &
        pid=$!
        wait_frames 80 || fail "saver: XSCREENSAVER_WINDOW: no frames"
        echo destroy >&"${window[1]}"
        wait $pid
        status=$?
        pid=""
        echo "saver: its window destroyed: status $status, '$(cat "$outdir/stderr")'"
        [ $status = 1 ] && [ "$(wc -l <"$outdir/stderr")" = 1 ] && grep -q destroyed "$outdir/stderr" ||
            fail "saver: the window destroyed ended it with $status"
        [ ! -e "$outdir/asked" ] || fail "saver: a sound server was asked for, though no --sound was given"
        unset PULSE_SERVER
        ;;
    bench | benchall)
        part=$([ $case = bench ] && echo "--part title")
        "$bin" --benchmark --window 320x240 $part >"$outdir/stdout" 2>"$outdir/stderr"
        status=$?
        cat "$outdir/stdout"
        score='^brinelux benchmark: [0-9]+ frames in [0-9.]+ s at 320x240, [0-9.]+ fps; GPU: .+$'
        [ $status = 0 ] && grep -Eq "$score" "$outdir/stdout" || fail "$case: status $status, no score line"
        # Each part's frames as the capture's plan has them; the spheres to the song's end.
        # The spheres to the song's end: frame 2931 holds its 117.2 s.
        want="title 300"
        [ $case = bench ] || want="title 300 thanks 301 water 126 spheres 2204"
        got=$(awk -F'[: ]+' '/ frames, mean / { printf "%s%s %s", (NR > 1 ? " " : ""), $1, $2 }' "$outdir/stdout")
        [ "$got" = "$want" ] || fail "$case: the parts' frames were '$got', not '$want'"
        ;;
    *) fail "unknown case $case" ;;
    esac
done
[ $failures -eq 0 ] && echo "PASS: the desktop player"
exit $((failures > 0))
