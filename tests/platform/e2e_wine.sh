#!/bin/sh
# Smoke run of the Windows show under 64-bit Wine on Xvfb: it starts, a
# screenshot holds the title card's white text on black, Escape ends it with
# status 0 and nothing is reported on the way. A second run with no sound
# device must say so, play on silently with its frames in step with the
# song (the report lines reaching the file its output is redirected to), and
# end the same way; a third with no display must end at once with status 1
# and one line saying why. On a 1280 x 1024 screen the show covers it at that
# mode, the picture framed between bars, with no display-settings change.
# The player's keys P and Right reach the show; --display list lists the
# monitors.
#   e2e_wine.sh path/to/brinelux.exe [folder to keep title.png in]
# With --saver, the screensaver instead: /c shows its message box and ends
# with status 0 once it is dismissed; /s draws the show full screen without
# sound, a small move of the mouse does not end it and a key, a click or a
# larger move does; /p draws into a window of another program (the
# preview_pane stand-in) and ends with status 0 when that window goes.
#   e2e_wine.sh --saver path/to/brinelux.scr path/to/preview_pane.exe
set -eu
saver=0
if [ "$1" = --saver ]; then
    saver=1
    shift
    pane=$(realpath "$2")
fi
show=$(realpath "$1")
keep=${2:-}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
xvfb=""
trap '[ -n "$xvfb" ] && kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT

# A private X server at the show's own size, on a free display number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

# DirectSound under Wine needs an ALSA device: a null one, in a HOME of ours.
mkdir -p "$work/home-sound" "$work/home-nosound"
printf 'pcm.!default {\n    type null\n}\n' >"$work/home-sound/.asoundrc"

fail=0
failed() { echo "FAIL: $*"; fail=1; }
peak() { identify -format "%[fx:maxima]" "$1[$2]"; }
lit() { [ "$(peak "$1" "$2")" != 0 ]; }

# Starts the show with HOME $1 (and options); returns once its window is on
# screen.
start() {
    home=$1
    shift
    HOME=$home "$here/wine_run.sh" "$show" "$@" >"$work/out.txt" 2>"$work/err.txt" &
    pid=$!
    # The first run also makes the Wine prefix (about 10 s).
    for _ in $(seq 600); do
        xdotool search --onlyvisible --pid $pid >/dev/null 2>&1 && return 0
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Escape (or the xdotool command given), then the exit status (or "hung").
escape() {
    # (xdotool complains of a focus on no window where no manager runs.)
    if [ $# -eq 0 ]; then xdotool key Escape; else xdotool "$@" 2>/dev/null; fi
    awaitend
}

# The show's exit status once it ends by itself within 10 s, else "hung".
awaitend() {
    for _ in $(seq 100); do
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 $pid 2>/dev/null; then
        kill -KILL $pid
        wait $pid 2>/dev/null || true
        status=hung
        return
    fi
    status=0
    wait $pid || status=$?
}

# Within 20 s, X window $1 shows the title card: lit in area $2 of it, dark
# in $3 (at 1024 x 768: "fully procedural" right of centre, nothing left of
# the first line); the show runs on.
titled() {
    for _ in $(seq 40); do
        import -window "$1" "$work/card.png" 2>/dev/null || true
        if [ -s "$work/card.png" ] && lit "$work/card.png" "${2:-250x30+600+440}" &&
            ! lit "$work/card.png" "${3:-95x30+45+285}"; then
            return 0
        fi
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.5
    done
    return 1
}

if [ $saver -eq 1 ]; then
    # A fresh Wine session: one a test before left running keeps its state
    # of the display, and the full-screen saver came up without its picture.
    WINEPREFIX="${BRINELUX_WINEPREFIX:-${TMPDIR:-/tmp}/brinelux-wine-$(id -u)}" \
        "$(dirname "${BRINELUX_WINE64:-/usr/lib/wine/wine64}")/wineserver" -k 2>/dev/null || true
    sleep 1
    # /c: a message box named after the program; Return dismisses it.
    if start "$work/home-nosound" /c; then
        box=$(xdotool search --onlyvisible --pid $pid | head -1)
        name=$(xdotool getwindowname "$box")
        [ "$name" = brinelux ] || failed "/c: the window is '$name', not the message box"
        sleep 0.5
        escape key --window "$box" Return
        [ "$status" = 0 ] || failed "/c: exit status $status"
    else
        failed "/c: no message box: $(cat "$work/err.txt")"
    fi

    # /s: silent (no line about the missing sound device), the show drawn,
    # then ended by what ends a screensaver: a key, a click, the mouse moved.
    for ending in "key a" "click 1" "mousemove_relative 0 12"; do
        xdotool mousemove 512 384
        if ! start "$work/home-nosound" /s; then
            failed "/s: no window: $(cat "$work/err.txt")"
            continue
        fi
        titled root || failed "/s ($ending): the title card was not drawn"
        # A nudge of the mouse is not a viewer's.
        xdotool mousemove_relative 3 0
        sleep 1
        kill -0 $pid 2>/dev/null || failed "/s: a move of 3 pixels ended it"
        # shellcheck disable=SC2086
        escape $ending
        [ "$status" = 0 ] || failed "/s: $ending: exit status $status"
        if [ -s "$work/out.txt" ] || [ -s "$work/err.txt" ]; then
            failed "/s: the saver reported: $(cat "$work/out.txt" "$work/err.txt")"
        fi
    done

    # /p: the pane's handle, then the title card inside it at the pane's
    # size, following the pane as it grows; the pane's window destroyed ends
    # the show with status 0. Wine 8 does not show another process's child
    # in its parent's pixels: the child's own X drawable (a 400 x 300 window
    # of no name) is read instead, and the pane reports its child.
    flag=$work/pane-done
    HOME="$work/home-nosound" "$here/wine_run.sh" "$pane" "Z:$(printf %s "$flag" | tr / '\\')" \
        >"$work/pane.txt" 2>&1 &
    panepid=$!
    for _ in $(seq 600); do [ -s "$work/pane.txt" ] && break; sleep 0.1; done
    # shellcheck disable=SC2046
    set -- $(head -1 "$work/pane.txt" | tr -d '\r')
    hwnd=${1:-0} w=${4:-0} h=${5:-0}
    HOME="$work/home-nosound" "$here/wine_run.sh" "$show" /p "$hwnd" >"$work/out.txt" 2>"$work/err.txt" &
    pid=$!
    drawable=""
    for _ in $(seq 100); do
        drawable=$(xwininfo -root -tree | awk -v size="${w}x$h+0+0" '$2 == "(has" && $6 == size { print $1; exit }')
        [ -n "$drawable" ] && break
        sleep 0.2
    done
    if [ -n "$drawable" ] && titled "$drawable" 390x290+0+0 4x4+0+0; then
        # Black ground with a little white, none of the pane's grey.
        mean=$(identify -format "%[fx:mean]" "$work/card.png")
        awk -v m="$mean" 'BEGIN { exit !(m > 0.1) }' && failed "/p: the picture is not the title card (mean $mean)"
    else
        failed "/p: the title card was not drawn into the pane ($(cat "$work/pane.txt" "$work/err.txt"))"
    fi
    touch "$flag.grow"
    sleep 2
    touch "$flag"
    awaitend
    [ "$status" = 0 ] || failed "/p: the pane's window gone: exit status $status ($(cat "$work/err.txt"))"
    wait $panepid || failed "the pane exited with status $?"
    tr -d '\r' <"$work/pane.txt" | grep -qx 'child brinelux 480x360' ||
        failed "/p: not the show's child at the pane's size: $(tail -1 "$work/pane.txt")"
    [ $fail -eq 0 ] && echo "screensaver runs passed"
    exit $fail
fi

# 1. The title card, then Escape. The cards pass in about a second without
#    a swap interval, so the show is frozen for each shot.
if start "$work/home-sound"; then
    title=""
    n=0
    while [ $n -lt 200 ] && [ -z "$title" ] && kill -0 $pid 2>/dev/null; do
        n=$((n + 1))
        kill -STOP $pid
        sleep 0.05
        shot=$work/shot$n.png
        import -window root "$shot"
        kill -CONT $pid
        # "fully procedural" right of centre, nothing left of the first line.
        if lit "$shot" 250x30+600+440 && ! lit "$shot" 95x30+45+285; then
            title=$shot
        fi
        sleep 0.01
    done
    escape
    [ "$status" = 0 ] || failed "Escape: exit status $status"
    if [ -z "$title" ]; then
        failed "no screenshot in $n showed the title card"
    else
        # Black ground with a little white: the mean stays low, the peak is full.
        mean=$(identify -format "%[fx:mean]" "$title")
        peak=$(identify -format "%[fx:maxima]" "$title")
        echo "title card after $n shots: mean $mean, peak $peak"
        if [ "$peak" != 1 ] || awk -v m="$mean" 'BEGIN { exit !(m > 0.05) }'; then
            failed "the title card is not white text on black"
        fi
        if [ -n "$keep" ]; then
            mkdir -p "$keep"
            cp "$title" "$keep/title.png"
        fi
    fi
    # No GL error line, no complaint about sound or fonts.
    if [ -s "$work/out.txt" ] || [ -s "$work/err.txt" ]; then
        failed "the show reported: $(cat "$work/out.txt" "$work/err.txt")"
    fi
else
    failed "the show did not open its window: $(cat "$work/err.txt")"
fi

# 2. No sound device: one line says so, the show runs on with the stand-in
#    clock keeping the song's time, Escape ends it.
export BRINELUX_TEST_REPORT=1
if start "$work/home-nosound"; then
    sleep 4
    kill -0 $pid 2>/dev/null || failed "the show ended without a sound device"
    # The player's keys reach the show: P holds the frame, Right jumps 5 s.
    lastframe() { grep '^brinelux-report: frame' "$work/out.txt" | tail -1 | cut -d' ' -f3; }
    xdotool key p
    sleep 1
    held=$(lastframe)
    sleep 1.5
    [ "$(lastframe)" = "$held" ] || failed "P did not pause the show: frame $held, then $(lastframe)"
    xdotool key p
    sleep 0.5
    xdotool key Right
    sleep 1.5
    [ "$(lastframe)" -gt $((held + 125)) ] || failed "Right did not seek: frame $held, then $(lastframe)"
    escape
    [ "$status" = 0 ] || failed "no sound device: exit status $status"
    grep -q '^brinelux: no sound (DirectSoundCreate failed' "$work/err.txt" ||
        failed "no sound device: $(cat "$work/err.txt")"
    # A windowed program's redirected output still reaches its file, and the
    # frames shown follow the song.
    reports=$(grep -c '^brinelux-report: frame' "$work/out.txt")
    [ "$reports" -ge 10 ] || failed "no sound device: $reports report lines in the redirected output"
    bad=$(awk '$1 == "brinelux-report:" && $5 >= 1 { d = $3 - (25 * $5 + 1); if (d > 2 || d < -2) print }' \
        "$work/out.txt" | head -3)
    [ -z "$bad" ] || failed "frames off the song under Wine: $bad"
else
    failed "no sound device: the show did not open its window: $(cat "$work/err.txt")"
fi

# The monitors listed, one line each, status 0.
status=0
HOME="$work/home-nosound" "$here/wine_run.sh" "$show" --display list >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" = 0 ] && grep -q '^1: [0-9]*x[0-9]* at ' "$work/out.txt" ||
    failed "--display list: status $status, $(cat "$work/out.txt" "$work/err.txt")"

# 3. No display: no window can be made; one line says so, status 1.
status=0
env -u DISPLAY HOME="$work/home-sound" "$here/wine_run.sh" "$show" >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" = 1 ] || failed "no display: exit status $status"
[ "$(wc -l <"$work/err.txt")" = 1 ] && grep -q '^brinelux: no window could be created' "$work/err.txt" ||
    failed "no display: $(cat "$work/err.txt")"

# 4. A larger screen: covered at its own mode, the picture framed in it. A
#    mode switch would have made the window 1024 x 768.
#    Wine's server keeps the display it started with: end it first.
WINEPREFIX="${BRINELUX_WINEPREFIX:-${TMPDIR:-/tmp}/brinelux-wine-$(id -u)}" \
    "$(dirname "${BRINELUX_WINE64:-/usr/lib/wine/wine64}")/wineserver" -k 2>/dev/null || true
kill $xvfb 2>/dev/null
wait $xvfb 2>/dev/null
rm -f "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
if start "$work/home-sound"; then
    sleep 3
    screen=$(xrandr 2>/dev/null | sed -n 's/.*current \([0-9]*\) x \([0-9]*\).*/\1x\2/p')
    id=$(xdotool search --onlyvisible --pid $pid 2>/dev/null | head -1)
    geometry=$(xwininfo -id "${id:-0}" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
    escape
    [ "$status" = 0 ] || failed "1280 x 1024: exit status $status"
    [ "$screen" = 1280x1024 ] || failed "the display's mode became $screen"
    [ "$geometry" = 1280x1024 ] || failed "the window is $geometry on a 1280 x 1024 screen"
    grep '^brinelux-report:' "$work/out.txt" | tail -1 | grep -q 'picture 1280x960+0+32' ||
        failed "1280 x 1024: $(grep '^brinelux-report:' "$work/out.txt" | tail -1)"
else
    failed "1280 x 1024: the show did not open its window: $(cat "$work/err.txt")"
fi

[ $fail -eq 0 ] && echo "smoke run passed"
exit $fail
