#!/bin/sh
# Smoke run of the Windows show under 64-bit Wine on Xvfb: it starts, a
# screenshot holds the title card's white text on black, Escape ends it with
# status 0 and nothing is reported on the way. A second run with no sound
# device must say so, play on silently, and end the same way; a third with
# no display must end at once with status 1 and one line saying why.
#   e2e_wine.sh path/to/brinelux.exe [folder to keep title.png in]
set -eu
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

# Starts the show with HOME $1; returns once its window is on screen.
start() {
    HOME=$1 "$here/wine_run.sh" "$show" >"$work/out.txt" 2>"$work/err.txt" &
    pid=$!
    # The first run also makes the Wine prefix (about 10 s).
    for _ in $(seq 600); do
        xdotool search --onlyvisible --pid $pid >/dev/null 2>&1 && return 0
        kill -0 $pid 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Escape, then the exit status (or "hung").
escape() {
    xdotool key Escape
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

# 2. No sound device: one line says so, the show runs on, Escape ends it.
if start "$work/home-nosound"; then
    sleep 1
    kill -0 $pid 2>/dev/null || failed "the show ended without a sound device"
    escape
    [ "$status" = 0 ] || failed "no sound device: exit status $status"
    grep -q '^brinelux: no sound (DirectSoundCreate failed' "$work/err.txt" ||
        failed "no sound device: $(cat "$work/err.txt")"
else
    failed "no sound device: the show did not open its window: $(cat "$work/err.txt")"
fi

# 3. No display: no window can be made; one line says so, status 1.
status=0
env -u DISPLAY HOME="$work/home-sound" "$here/wine_run.sh" "$show" >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" = 1 ] || failed "no display: exit status $status"
[ "$(wc -l <"$work/err.txt")" = 1 ] && grep -q '^brinelux: no window could be created' "$work/err.txt" ||
    failed "no display: $(cat "$work/err.txt")"

[ $fail -eq 0 ] && echo "smoke run passed"
exit $fail
