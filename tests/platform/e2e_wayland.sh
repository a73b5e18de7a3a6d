#!/bin/bash
# The show on Wayland: under a compositor with no input seat it ends with one
# line and status 1 (SDL itself would crash there); under one with a seat
# (weston nested in Xvfb, 1920 x 1080) it shows the title card between bars
# at the output's own size, frames in step with the song, and Escape ends it.
# Usage: e2e_wayland.sh BRINELUX OUTDIR [BRINELUX_CAPTURE]
set -u
bin=$1 outdir=$2 capture=${3:-}
rm -rf "$outdir"
mkdir -p "$outdir/run"
chmod 700 "$outdir/run"
export XDG_RUNTIME_DIR=$outdir/run MESA_SHADER_CACHE_DISABLE=true SDL_AUDIODRIVER=none-such
failures=0
fail() {
    echo "FAIL: $*"
    for f in stdout stderr; do
        [ -s "$outdir/$f" ] && sed "s/^/  show $f: /" "$outdir/$f" | head -5
    done
    failures=$((failures + 1))
}
pids=()
trap 'kill "${pids[@]}" 2>/dev/null' EXIT

# Waits until a compositor's socket exists.
wait_socket() {
    for _ in $(seq 100); do
        [ -S "$XDG_RUNTIME_DIR/$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# 1. A compositor with no seat: one line, status 1, no crash.
weston --backend=headless-backend.so --socket=wl-headless --use-pixman >"$outdir/weston-headless.log" 2>&1 &
pids+=($!)
wait_socket wl-headless || fail "the headless compositor did not start: $(tail -3 "$outdir/weston-headless.log")"
env -u DISPLAY WAYLAND_DISPLAY=wl-headless timeout 30 "$bin" >"$outdir/stdout" 2>"$outdir/stderr"
status=$?
[ "$status" = 1 ] || fail "no seat: status $status"
[ "$(wc -l <"$outdir/stderr")" = 1 ] || fail "no seat: not one line"
grep -q 'no display could be opened: the Wayland display offers no input seat' "$outdir/stderr" ||
    fail "no seat: $(cat "$outdir/stderr")"

# 2. A compositor with a seat, in a window of a private X server; the show
# is told only of the Wayland display.
exec 3>"$outdir/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$outdir/display" ] && break; sleep 0.1; done
x=:$(cat "$outdir/display")
DISPLAY=$x weston --backend=x11-backend.so --socket=wl-x --use-pixman --width=1920 --height=1080 \
    >"$outdir/weston-x11.log" 2>&1 &
pids+=($!)
wait_socket wl-x || fail "the nested compositor did not start: $(tail -3 "$outdir/weston-x11.log")"
# Wayland cannot switch modes: asked to, the show says so and goes on.
env -u DISPLAY WAYLAND_DISPLAY=wl-x BRINELUX_TEST_REPORT=1 "$bin" --display-mode \
    >"$outdir/stdout" 2>"$outdir/stderr" &
pid=$!
pids+=($pid)
# The title card is on screen once white text shows in the compositor's window.
shown=no
for _ in $(seq 60); do
    sleep 0.5
    kill -0 $pid 2>/dev/null || break
    DISPLAY=$x import -window root "$outdir/title.png" 2>/dev/null || continue
    white=$(convert "$outdir/title.png" -threshold 50% -format '%[fx:mean]' info: 2>/dev/null)
    awk -v w="${white:-0}" 'BEGIN { exit !(w > 0.002 && w < 0.2) }' && { shown=yes; break; }
done
[ $shown = yes ] || fail "no title card on the Wayland display"
# Drawn at the output's size, not stretched from 1024 x 768: the capture's
# frame at 1920 x 1080, byte for byte.
if [ -n "$capture" ]; then
    "$capture" --still title --size 1920x1080 --png "$outdir/still.png" >/dev/null 2>&1
    sleep 1
    DISPLAY=$x import -window root "$outdir/title.png"
    [ "$(compare -metric AE "$outdir/title.png" "$outdir/still.png" null: 2>&1)" = 0 ] ||
        fail "the title card on Wayland is not the capture's 1920 x 1080 frame"
fi
grep -q "Wayland lets no program switch the display mode" "$outdir/stderr" ||
    fail "--display-mode on Wayland said nothing"
# Keys reach the show through the compositor's window, once it has focus.
DISPLAY=$x xdotool mousemove 512 384 click 1 2>/dev/null
status=timeout
for _ in $(seq 100); do
    kill -0 $pid 2>/dev/null || { wait $pid; status=$?; break; }
    DISPLAY=$x xdotool key Escape 2>/dev/null
    sleep 0.2
done
[ "$status" = 0 ] || fail "Escape on Wayland: status $status"
# The frames followed the song: each shown after the first second is within
# two of the one due at the song's position.
bad=$(awk '$1 == "brinelux-report:" && $5 >= 1 { d = $3 - (25 * $5 + 1); if (d > 2 || d < -2) print }' \
    "$outdir/stdout" | head -3)
[ -z "$bad" ] || fail "Wayland: frames off the song: $bad"
last=$(grep '^brinelux-report:' "$outdir/stdout" | tail -1)
case "$last" in *"picture 1440x1080+240+0"*) ;; *) fail "Wayland: picture placed as $last" ;; esac

# 3. The compositor killed under the show: status 1 and one line saying the
# display was lost, as on X (with and without --display-mode).
n=0
for args in "" --display-mode; do
    n=$((n + 1))
    DISPLAY=$x weston --backend=x11-backend.so --socket=wl-k$n --use-pixman --width=1024 --height=768 \
        >"$outdir/weston-k$n.log" 2>&1 &
    compositor=$!
    pids+=($compositor)
    wait_socket wl-k$n || fail "compositor $n did not start: $(tail -3 "$outdir/weston-k$n.log")"
    env -u DISPLAY WAYLAND_DISPLAY=wl-k$n SDL_AUDIODRIVER=dummy "$bin" $args >"$outdir/stdout" 2>"$outdir/stderr" &
    pid=$!
    pids+=($pid)
    sleep 4
    kill -KILL $compositor
    status=timeout
    for _ in $(seq 150); do
        kill -0 $pid 2>/dev/null || { wait $pid; status=$?; break; }
        sleep 0.1
    done
    kill -KILL $pid 2>/dev/null
    [ "$status" = 1 ] || fail "compositor killed ${args:-(full screen)}: status $status"
    [ "$(grep -c 'Wayland display was lost' "$outdir/stderr")" = 1 ] &&
        tail -n 1 "$outdir/stderr" | grep -q '^brinelux: .*Wayland display was lost' ||
        fail "compositor killed ${args:-(full screen)}: said $(cat "$outdir/stderr")"
done

[ $failures = 0 ] && echo "all Wayland checks passed"
exit $failures
