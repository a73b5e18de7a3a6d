#!/bin/sh
# The show's two cards on a real X screen: run it under Xvfb, freeze it now
# and then with SIGSTOP so that a screenshot holds one whole frame, and sort
# the shots by where white text is. Both cards must be seen, white on black,
# and Escape must end the show with status 0.
#   e2e_cards.sh path/to/brinelux [folder to keep title.png and thanks.png in]
set -eu
show=$1
keep=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

SDL_AUDIODRIVER=dummy MESA_SHADER_CACHE_DISABLE=true \
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" sh -c '
    show=$1 work=$2
    # Brightest value (0 to 1) in a region WxH+X+Y of a shot, top-down rows.
    peak() { identify -format "%[fx:maxima]" "$1[$2]"; }
    lit() { [ "$(peak "$1" "$2")" != 0 ]; }

    "$show" >"$work/out.txt" 2>"$work/err.txt" &
    pid=$!
    n=0 title="" thanks="" late=0
    deadline=$(( $(date +%s) + 60 ))
    while [ "$(date +%s)" -lt "$deadline" ] && kill -0 $pid 2>/dev/null; do
        sleep 0.01
        kill -STOP $pid
        sleep 0.05
        n=$((n + 1))
        shot=$work/shot$n.png
        import -window root "$shot"
        kill -CONT $pid
        # Title: "fully procedural" right of centre, nothing left of the
        # first line. Thanks: its first line starts near the left edge, its
        # second ends before the centre.
        if lit "$shot" 250x30+600+440 && ! lit "$shot" 95x30+45+285; then
            [ -n "$title" ] || title=$shot
        elif lit "$shot" 95x30+45+285 && lit "$shot" 370x30+150+440 && ! lit "$shot" 400x30+600+440; then
            [ -n "$thanks" ] || thanks=$shot
        elif [ -n "$title" ]; then
            late=$((late + 1))
        fi
        # Past the cards: a few shots that are neither card end the search.
        if [ -n "$thanks" ] || [ $late -ge 3 ]; then
            break
        fi
    done
    echo "$n shots; title: ${title:-none}; thanks: ${thanks:-none}"
    [ -n "$title" ] && cp "$title" "$work/title.png"
    [ -n "$thanks" ] && cp "$thanks" "$work/thanks.png"

    xdotool key Escape
    i=0
    while kill -0 $pid 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    if kill -0 $pid 2>/dev/null; then
        echo "the show did not end on Escape"
        kill -KILL $pid
    fi
    status=0
    wait $pid || status=$?
    echo $status >"$work/status.txt"
' run "$show" "$work"

fail=0
status=$(cat "$work/status.txt" 2>/dev/null || echo none)
if [ "$status" != 0 ]; then
    echo "FAIL: exit status $status"
    fail=1
fi
for card in title thanks; do
    if [ ! -f "$work/$card.png" ]; then
        echo "FAIL: no screenshot showed the $card card"
        fail=1
        continue
    fi
    # Black ground with a little white: the mean stays low, the peak is full.
    mean=$(identify -format "%[fx:mean]" "$work/$card.png")
    peak=$(identify -format "%[fx:maxima]" "$work/$card.png")
    echo "$card: mean $mean, peak $peak"
    if [ "$peak" != 1 ] || awk -v m="$mean" 'BEGIN { exit !(m > 0.05) }'; then
        echo "FAIL: the $card card is not white text on black"
        fail=1
    fi
    if [ -n "$keep" ]; then
        mkdir -p "$keep"
        cp "$work/$card.png" "$keep/$card.png"
    fi
done
if [ $fail -ne 0 ]; then
    echo "--- standard error of the show:"
    cat "$work/err.txt"
fi
exit $fail
