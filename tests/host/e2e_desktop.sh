#!/bin/bash
# End to end: the desktop show's pace and picture on Xvfb with Mesa's software
# GL and no sound device (the stand-in output keeps the song's time).
#   e2e_desktop.sh BRINELUX BRINELUX_CAPTURE OUTDIR [CASE ...]
# Cases: pace (1024 x 768: frames follow the song, the parts on screen when
# the song has them), placement (1920 x 1080 and --display-mode: the
# capture's picture between bars, byte for byte), window (--window, a
# resize, F11 and back), display-pace (--pace display), options, frames
# (--scale 1: a scene frame on screen is the capture's frame of its number),
# smooth (--smooth: the water's clock moves on between the show's frames,
# within a frame of the song).
set -u
bin=$1 capture=$2 outdir=$3
shift 3
cases=${*:-options pace placement window display-pace frames smooth}
mkdir -p "$outdir"
export MESA_SHADER_CACHE_DISABLE=true SDL_AUDIODRIVER=none-such
failures=0
fail() {
    echo "FAIL: $*"
    [ -s "$outdir/stderr" ] && sed 's/^/  show stderr: /' "$outdir/stderr" | head -5
    failures=$((failures + 1))
}

xvfb=""
trap '[ -n "$xvfb" ] && kill $xvfb 2>/dev/null' EXIT
# A private X server of the given size on a free display number.
screen() {
    [ -n "$xvfb" ] && kill $xvfb 2>/dev/null && wait $xvfb 2>/dev/null
    rm -f "$outdir/display"
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$outdir/display" >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 50); do [ -s "$outdir/display" ] && break; sleep 0.1; done
    export DISPLAY=:$(cat "$outdir/display")
}

# Starts the show with a report of each frame shown; returns once its first
# frame is on screen (the song starts with it), with started set to then.
start() {
    BRINELUX_TEST_REPORT=1 "$bin" "$@" >"$outdir/stdout" 2>"$outdir/stderr" &
    pid=$!
    for _ in $(seq 300); do
        if grep -q '^brinelux-report: frame 1 ' "$outdir/stdout"; then
            started=$(date +%s.%N)
            window=$(xdotool search --onlyvisible --name brinelux 2>/dev/null | head -1)
            return 0
        fi
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
# Waits until frame $1 has been shown. The frame two seconds in (51) carries
# the driver's compile of the scene programs (seconds on a software
# renderer), during which the show answers nothing: 53 is past it.
wait_frame() {
    for _ in $(seq 600); do [ "$(reported frame)" -ge "$1" ] 2>/dev/null && return 0; sleep 0.1; done
    return 1
}
# Sleeps until $1 seconds after the window appeared.
at() { sleep "$(echo "$started + $1 - $(date +%s.%N)" | bc | sed 's/^-.*/0/')"; }
# Escape ends the show with status 0.
stop() {
    xdotool key Escape
    for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill -KILL $pid 2>/dev/null
    status=0
    wait $pid 2>/dev/null || status=$?
    [ $status = 0 ] || fail "$case: Escape gave status $status"
}
# The pixels of two images differ nowhere (the sizes must match too).
same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }
# The capture's frame of a card at a size, made before the show starts.
still() { echo "$outdir/$1-$2.png"; }
for made in title-1024x768 thanks-1024x768 title-1920x1080 title-800x600 title-1000x500 thanks-1920x1080 \
    thanks-800x600 thanks-1000x500; do
    "$capture" --still "${made%-*}" --size "${made#*-}" --png "$outdir/$made.png" >/dev/null 2>&1 ||
        fail "the capture made no $made still"
done
# The screenshot $1 is one of the cards at size $2 (which one depends on how
# long the start-up's compile took).
card() { same "$1" "$(still title "$2")" || same "$1" "$(still thanks "$2")"; }
# The last report line's field $1 (frame, chosen-at, shown-at, picture, scene,
# clock).
reported() { tail -1 "$outdir/stdout" | tr ' ' '\n' | grep -A1 -x "$1" | tail -1; }

for case in $cases; do
case $case in
smooth)
    screen 1024x768
    start --smooth --scale 0.25 || fail "smooth: no window"
    at 28.5
    stop
    # The water's pictures (frames 602 to 727; frame 602 starts at 24.04 s
    # with clock 0.04, so the clock is the song's position less 24 s): each
    # within a frame of the song's position it was drawn for, rising with
    # it, and most of them between the show's frames' own clocks.
    awk '$1 == "brinelux-report:" && $3 >= 602 && $3 <= 727 { print $3, $5, $13 }' "$outdir/stdout" \
        >"$outdir/water"
    summary=$(awk '{ off = $3 - ($2 - 24); if (off < 0) off = -off; if (off > worst) worst = off
                     if (off > 0.04) bad++
                     own = 0.04 * ($1 - 601); d = $3 - own; if (d < 0) d = -d; if (d > 1e-4) between++
                     if (NR > 1 && $2 > song && $3 <= clock) back++
                     if (!($1 in frames)) { frames[$1] = 1; nf++ }
                     if (!($3 in clocks)) { clocks[$3] = 1; nc++ }
                     song = $2; clock = $3 }
                   END { printf "%d %d %d %d %d %d %.1f\n", NR, nf, nc, between, bad, back, 1000 * worst }' \
        "$outdir/water")
    read -r pictures frames clocks between bad back worst <<<"$summary"
    echo "smooth: $pictures water pictures over $frames show frames, $clocks clock values, $between between" \
        "the show's frames, at most $worst ms from the song"
    [ "$pictures" -ge 3 ] || fail "smooth: $pictures water pictures"
    [ "$bad" = 0 ] && [ "$back" = 0 ] || fail "smooth: $bad clocks more than a frame from the song, $back going back"
    [ $((2 * between)) -ge "$pictures" ] || fail "smooth: only $between of $pictures pictures between frames"
    ;;
options)
    "$bin" --fullscreen >"$outdir/stdout" 2>"$outdir/stderr"
    status=$?
    [ $status = 2 ] || fail "unknown option: status $status"
    [ "$(wc -l <"$outdir/stderr")" = 1 ] && grep -q -- "--fullscreen" "$outdir/stderr" ||
        fail "unknown option: $(cat "$outdir/stderr")"
    "$bin" --scale 2 2>"$outdir/stderr" >/dev/null
    [ $? = 2 ] || fail "--scale 2 accepted"
    "$bin" --help >"$outdir/stdout" 2>"$outdir/stderr"
    status=$?
    [ $status = 0 ] && grep -q -- "--window" "$outdir/stdout" && [ ! -s "$outdir/stderr" ] ||
        fail "--help: status $status, $(head -1 "$outdir/stdout")"
    ;;
pace)
    screen 1024x768
    start || fail "pace: no window"
    at 7; import -window root "$outdir/pace-7.png"
    at 16; import -window root "$outdir/pace-16.png"
    at 27; import -window root "$outdir/pace-27.png"
    stop
    [ $status = 0 ] || fail "pace: status $status"
    same "$outdir/pace-7.png" "$(still title 1024x768)" || fail "pace: no title card at 7 s"
    same "$outdir/pace-16.png" "$(still thanks 1024x768)" || fail "pace: no thanks card at 16 s"
    # The water: lit in its band, blue-green, neither card.
    green=$(identify -format "%[fx:mean.g]" "$outdir/pace-27.png")
    awk -v g="$green" 'BEGIN { exit !(g > 0.15) }' || fail "pace: no water at 27 s (mean green $green)"
    # Every frame shown after the first second is the one due at the song's
    # position, give or take the two frames a report's moment allows.
    bad=$(awk '$1 == "brinelux-report:" && $5 >= 1 { d = $3 - (25 * $5 + 1); if (d > 2 || d < -2) print }' \
        "$outdir/stdout" | head -3)
    [ -z "$bad" ] || fail "pace: frames off the song: $bad"
    shown=$(grep -c '^brinelux-report:' "$outdir/stdout")
    last=$(reported frame)
    [ "$shown" -ge 100 ] && [ "$last" -ge 625 ] || fail "pace: $shown frames shown, the last $last"
    ;;
placement)
    screen 1920x1080
    start || fail "placement: no window"
    at 3; import -window root "$outdir/place-1920.png"
    stop
    same "$outdir/place-1920.png" "$(still title 1920x1080)" ||
        fail "placement: 1920 x 1080 is not the capture's title between bars"
    [ "$(reported picture)" = "1440x1080+240+0" ] || fail "placement: picture $(reported picture)"
    # No 1024 x 768 mode here: one line, and the desktop's mode with bars.
    start --display-mode || fail "placement: no window with --display-mode"
    at 3; import -window root "$outdir/place-mode-1920.png"
    stop
    grep -q "no 1024 x 768 mode" "$outdir/stderr" || fail "placement: --display-mode said nothing"
    same "$outdir/place-mode-1920.png" "$outdir/title-1920x1080.png" ||
        fail "placement: --display-mode without the mode is not the desktop's picture"
    screen 1024x768
    start --display-mode || fail "placement: no window with --display-mode at 1024 x 768"
    at 3; import -window root "$outdir/place-mode-1024.png"
    stop
    grep -q "mode" "$outdir/stderr" && fail "placement: --display-mode at 1024 x 768 refused"
    same "$outdir/place-mode-1024.png" "$(still title 1024x768)" ||
        fail "placement: --display-mode at 1024 x 768 is not the capture's title"
    ;;
window)
    screen 1920x1080
    start --window 800x600 || fail "window: no window"
    wait_frame 53 || fail "window: no frames shown"
    geometry=$(xdotool getwindowgeometry "$window" | grep Geometry)
    [ "$geometry" = "  Geometry: 800x600" ] || fail "window: $geometry"
    import -window "$window" "$outdir/window-800.png"
    card "$outdir/window-800.png" 800x600 || fail "window: 800 x 600 is not the capture's"
    xdotool windowsize "$window" 1000 500
    sleep 1; import -window "$window" "$outdir/window-1000.png"
    card "$outdir/window-1000.png" 1000x500 ||
        fail "window: resized to 1000 x 500 it is not the capture's ($(reported picture))"
    xdotool key --window "$window" F11
    sleep 1; import -window root "$outdir/window-f11.png"
    card "$outdir/window-f11.png" 1920x1080 || fail "window: F11 is not full screen"
    xdotool key --window "$window" F11
    sleep 1
    geometry=$(xdotool getwindowgeometry "$window" | grep Geometry)
    [ "$geometry" = "  Geometry: 1000x500" ] || fail "window: F11 back gives $geometry"
    import -window "$window" "$outdir/window-back.png"
    card "$outdir/window-back.png" 1000x500 || fail "window: back from F11, not the picture"
    stop
    [ $status = 0 ] || fail "window: status $status"
    ;;
display-pace)
    screen 1024x768
    start --pace display || fail "display-pace: no window"
    wait_frame 53 || fail "display-pace: no frames shown"
    frame0=$(reported frame) song0=$(reported chosen-at)
    sleep 3
    frame=$(reported frame) song=$(reported chosen-at)
    stop
    # No swap waits here: a frame per pass runs well ahead of the song.
    awk -v f="$frame" -v s="$song" -v f0="$frame0" -v s0="$song0" 'BEGIN { exit !(f - f0 > 25 * (s - s0) + 25) }' ||
        fail "display-pace: frames $frame0 to $frame while the song went from $song0 to $song s"
    ;;
frames)
    # The scenes at full size: the screen frozen on a frame, which is the
    # last one reported or, frozen between its swap and its report, the next.
    screen 1024x768
    start --scale 1 || fail "frames: no window"
    for _ in $(seq 600); do [ "$(reported frame)" -ge 610 ] && break; sleep 0.1; done
    kill -STOP $pid
    sleep 0.2
    import -window root "$outdir/frames-shot.png"
    before=$(reported frame)
    kill -CONT $pid
    for _ in $(seq 300); do [ "$(reported frame)" != "$before" ] && break; sleep 0.1; done
    after=$(reported frame)
    [ "$(reported scene)" = 1024x768 ] || fail "frames: --scale 1 drew the scenes at $(reported scene)"
    stop
    matched=""
    for n in $before $after; do
        rm -rf "$outdir/frames"
        "$capture" --png-dir "$outdir/frames" --frames "$n-$n" >/dev/null 2>&1
        same "$outdir/frames-shot.png" "$outdir/frames/frame-$(printf %06d "$n").png" && matched=$n
    done
    [ -n "$matched" ] || fail "frames: the scene on screen is neither frame $before nor $after of the capture"
    ;;
esac
done
[ $failures = 0 ] && echo "all desktop checks passed"
exit $failures
