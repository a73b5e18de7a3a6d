#!/bin/bash
# brinelux-capture under hostile conditions: every run must end in a correct
# result or a clean refusal. Clean: status 1 or 2 with one line naming the
# file, nothing under the final name, no temporary left, an earlier file of
# that name untouched; never a signal death, an abort or a hang.
# Usage: hostile_capture.sh CAPTURE CLASS WORKDIR [REFUSE_THREADS_LIB]
#   CLASS: outputs | encoder | values | environment | limits
set -u
bin=$(realpath "$1") class=$2 work=$3 refuse_threads=${4:+$(realpath "$4")}
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
export MESA_SHADER_CACHE_DISABLE=true
unset DISPLAY WAYLAND_DISPLAY
failures=0
fail() {
    echo "FAIL: $*"
    [ -s err ] && sed 's/^/  said: /' err | head -5
    failures=$((failures + 1))
}

# Runs the tool (arguments as given) with stdout to out, stderr to err;
# sets status.
run() {
    "$bin" "$@" >out 2>err
    status=$?
}

# No temporary of the tool anywhere under the work directory.
no_temporaries() {
    local left
    left=$(find . -name '.brinelux-*' | head -3)
    [ -z "$left" ] || fail "$1: temporaries left: $left"
}

# Status $1 and one line of the tool's own that mentions $2: the only line
# on stderr for a refusal (2), the last after the progress for a failure.
expect_refusal() {
    local want=$1 word=$2 what=$3
    [ "$status" -eq "$want" ] || fail "$what: status $status, wanted $want"
    if [ "$want" -eq 2 ]; then
        [ "$(grep -c . err)" -eq 1 ] || fail "$what: wanted one line on stderr"
    fi
    [ "$(grep -c '^brinelux' err)" -eq 1 ] || fail "$what: wanted one line of its own on stderr"
    tail -n 1 err | grep -qF -- "$word" || fail "$what: the last line does not name $word"
    no_temporaries "$what"
}

frames_of() {
    ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames -of csv=p=0 "file:$1" |
        tr '\n' ' '
}

# A private mount namespace with a small tmpfs at $PWD/full: the full disk.
# Root or an unprivileged user namespace; skipped where neither works.
full_disk() {
    local size=$1
    shift
    mkdir -p full
    if unshare -m true 2>/dev/null; then
        unshare -m bash -c 'mount -t tmpfs -o size='"$size"' none full && "$@"' _ "$@"
    elif unshare -rm true 2>/dev/null; then
        unshare -rm bash -c 'mount -t tmpfs -o size='"$size"' none full && "$@"' _ "$@"
    else
        return 77
    fi
}

case_outputs() {
    # A full disk: the .mkv whose trailer cannot be written, at sizes that
    # cut the first pass, the mux and the trailer; an earlier file survives.
    for size in 40k 100k 140k; do
        full_disk "$size" bash -c 'echo earlier > full/show.mkv && "$0" --out full/show.mkv --frames 1-30 \
            >/dev/null 2>full-err; echo $? > full-status; cat full/show.mkv > full-kept;
            ls -A full > full-left' "$bin"
        if [ $? -eq 77 ]; then
            echo "SKIP: no mount namespace here for the full-disk cases"
            break
        fi
        [ "$(cat full-status)" = 1 ] || fail "full disk $size: status $(cat full-status)"
        grep -q "full/show.mkv: No space left on device" full-err || fail "full disk $size: $(cat full-err)"
        [ "$(cat full-kept)" = earlier ] || fail "full disk $size: the earlier file was lost"
        [ "$(cat full-left)" = show.mkv ] || fail "full disk $size: left $(cat full-left)"
    done
    run --wav /dev/full
    expect_refusal 1 "/dev/full: No space left on device" "WAV onto a full device"

    # Two captures to one name at once: the file is one run's whole result,
    # its pictures and its sound together.
    "$bin" --out same.mkv --frames 1-20 >/dev/null 2>err-a &
    a=$!
    "$bin" --out same.mkv --frames 1-45 >/dev/null 2>err-b &
    b=$!
    wait $a; sa=$?
    wait $b; sb=$?
    [ $sa -eq 0 ] && [ $sb -eq 0 ] || fail "concurrent captures: status $sa and $sb"
    got=$(ffprobe -v error -show_entries stream=codec_type,duration:stream_tags=DURATION -of csv=p=0 same.mkv |
        tr '\n' ' ')
    case "$got" in
    "video,N/A,00:00:00.800000000 audio,N/A,00:00:00.800000000 " | \
    "video,N/A,00:00:01.800000000 audio,N/A,00:00:01.800000000 ") ;;
    *) fail "concurrent captures: pictures and sound of different runs: $got" ;;
    esac
    no_temporaries "concurrent captures"

    # What is not a regular file is written as a stream or refused, never
    # replaced: a device node, a FIFO, standard output, a symbolic link.
    "$bin" --wav song.wav >/dev/null 2>&1 || fail "the reference song"
    if mknod null c 1 3 2>/dev/null; then
        run --wav null
        [ $status -eq 0 ] && [ -c null ] || fail "WAV onto a device node: status $status, replaced"
        run --out null --frames 1-2
        [ -c null ] || fail "video onto a device node replaced it"
        ln -s null null.mkv
        run --out null.mkv --frames 1-2
        expect_refusal 2 "null.mkv" "video onto a device through a link"
        [ -c null ] && [ -L null.mkv ] || fail "video onto a device through a link replaced something"
    else
        echo "SKIP: mknod is not allowed here"
    fi
    mkfifo pipe.wav
    timeout 60 cat pipe.wav > from-fifo.wav &
    run --wav pipe.wav
    wait
    [ $status -eq 0 ] && [ -p pipe.wav ] || fail "WAV into a FIFO: status $status or the FIFO replaced"
    cmp -s from-fifo.wav song.wav || fail "WAV into a FIFO: not the song"
    "$bin" --wav - > from-stdout.wav 2>err
    cmp -s from-stdout.wav song.wav || fail "WAV to standard output: not the song"
    grep -q "^wrote -: " err || fail "WAV to standard output: the summary is not on stderr"
    "$bin" --still title --png title.png >/dev/null 2>&1
    "$bin" --still title --png - > title-stdout.png 2>/dev/null
    cmp -s title.png title-stdout.png || fail "PNG to standard output differs from the file"
    # A descriptor's name is the descriptor itself: a pipe is written, a
    # file opened for appending is appended to.
    "$bin" --wav /dev/stdout 2>err | cmp -s - song.wav || fail "WAV to /dev/stdout into a pipe: $(cat err)"
    grep -q "^wrote /dev/stdout: " err || fail "WAV to /dev/stdout: the summary is not on stderr"
    echo start > appended.wav
    "$bin" --wav /dev/stdout >> appended.wav 2>err
    [ "$(head -n 1 appended.wav)" = start ] && tail -c +7 appended.wav | cmp -s - song.wav ||
        fail "WAV to /dev/stdout appended to a file: not the file and then the song"
    # A file that is replaced keeps its permissions, never set-user-ID,
    # set-group-ID or sticky: an image must not become a program run as its
    # owner.
    cp "$(type -P true)" victim && chmod 7755 victim
    run --still title --png victim
    [ $status -eq 0 ] && [ "$(stat -c %a victim)" = 755 ] && cmp -s victim title.png ||
        fail "a setuid file replaced: status $status, mode $(stat -c %a victim)"
    echo earlier > target.wav
    ln -s target.wav link.wav
    run --wav link.wav
    [ $status -eq 0 ] && [ -L link.wav ] || fail "WAV through a link: status $status or the link replaced"
    cmp -s target.wav song.wav || fail "WAV through a link: the linked file is not the song"
    ln -s missing/nowhere.wav dangling.wav
    run --wav dangling.wav
    expect_refusal 2 "dangling.wav" "WAV through a dangling link"
    cp "$bin" copy-of-tool
    run --wav "$bin"
    expect_refusal 2 "runs from" "WAV onto the running program"
    cmp -s "$bin" copy-of-tool || fail "the running program was changed"
    mkdir -p frames && ln -s ../song.wav frames/frame-000002.png
    run --png-dir frames --frames 1-3
    expect_refusal 2 "frame-000002.png" "a frame name that is a link"
    [ ! -e frames/frame-000001.png ] || fail "frames written before a refusal"

    # Names the encoder would read as a protocol or an option are files.
    for name in 'pipe:1.mkv' '-y.mp4' 'http:x.mkv' 'a|b.mkv' 'concat:c.mkv'; do
        run --out "$name" --frames 1-3
        [ $status -eq 0 ] || fail "--out '$name': status $status"
        [ -f "./$name" ] && [ "$(frames_of "./$name" | cut -d' ' -f1)" = video,3 ] ||
            fail "--out '$name': not a file of 3 frames"
        [ -s out ] && ! grep -q '^wrote' out && fail "--out '$name': something else on stdout"
    done
    # A name of 255 bytes, the most a directory entry holds.
    long=$(printf 'l%.0s' $(seq 251)).wav
    run --wav "$long"
    [ $status -eq 0 ] && [ -f "$long" ] || fail "a 255-byte name: status $status"

    # Outputs that cannot be written are refused before any rendering.
    mkdir -p dir.mkv dir.wav dir.png
    echo kept > plain
    for args in "--out dir.mkv" "--wav dir.wav" "--still spheres --png dir.png" "--png-dir plain"; do
        start=$(date +%s)
        run $args
        expect_refusal 2 "${args##* }" "$args"
        [ $(($(date +%s) - start)) -le 5 ] || fail "$args: refused only after rendering"
    done
    [ "$(cat plain)" = kept ] && [ -d dir.mkv ] || fail "a refused output was changed"
    if [ "$(id -u)" -ne 0 ]; then
        mkdir -p locked && chmod 555 locked
        run --wav locked/song.wav
        expect_refusal 2 "Permission denied" "a directory without write permission"
    fi
}

# Stand-ins for ffmpeg, first on PATH; ffprobe stays the real one.
stand_in() {
    mkdir -p fake
    ln -sf "$(command -v ffprobe)" fake/ffprobe
    printf '#!/bin/bash\necho $$ > %s/encoder.pid\n%s\n' "$PWD" "$1" > fake/ffmpeg
    chmod +x fake/ffmpeg
}

# Runs the tool in the background, sends signal $1 after $2 s; status,
# seconds from the signal to the end.
interrupt_after() {
    local signal=$1 delay=$2
    shift 2
    # A background job of a script starts with SIGQUIT ignored, which the
    # tool respects: the signal is put back to its default first.
    env --default-signal="$signal" "$bin" "$@" >out 2>err &
    local pid=$!
    sleep "$delay"
    kill -"$signal" $pid
    local start=$(date +%s%N)
    for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    took=$((($(date +%s%N) - start) / 1000000))
    kill -KILL $pid 2>/dev/null
    wait $pid
    status=$?
    echo "SIG$signal after $delay s: ended $took ms later, status $status"
}

encoder_gone() {
    local pid
    pid=$(cat encoder.pid 2>/dev/null) || return 0
    for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null
    return 1
}

case_encoder() {
    local real
    real=$(command -v ffmpeg)
    # Stalled (never reads) and stopped encoders: an interrupt still ends the
    # run within a second or two (2.5 s allowed for a loaded machine) and
    # takes the encoder with it.
    for body in 'exec sleep 300' 'kill -STOP $$; exec cat > /dev/null'; do
        stand_in "$body"
        PATH="$PWD/fake:$PATH" interrupt_after INT 4 --out stall.mkv
        [ $status -eq 130 ] || fail "encoder '$body', Ctrl+C: status $status"
        [ $took -le 2500 ] || fail "encoder '$body', Ctrl+C: took $took ms"
        encoder_gone || fail "encoder '$body' left running"
        [ ! -e stall.mkv ] || fail "encoder '$body': a file under the final name"
        no_temporaries "encoder '$body'"
        rm -f encoder.pid
    done
    # An encoder that writes rubbish and says all went well, and one that
    # dies at once: failures, with nothing published.
    stand_in 'cat > /dev/null; for a; do last=$a; done; echo rubbish > "${last#file:}"; exit 0'
    echo earlier > rubbish.mkv
    PATH="$PWD/fake:$PATH" run --out rubbish.mkv --frames 1-5
    expect_refusal 1 "rubbish.mkv" "an encoder writing rubbish"
    [ "$(cat rubbish.mkv)" = earlier ] || fail "an encoder writing rubbish: the earlier file was lost"
    stand_in 'echo "cannot encode today" >&2; exit 1'
    PATH="$PWD/fake:$PATH" run --out dead.mp4 --frames 1-5
    expect_refusal 1 "dead.mp4: cannot encode today" "an encoder that dies"
    [ ! -e dead.mp4 ] || fail "an encoder that dies: a file under the final name"
    # One that refuses its settings: ffmpeg's closing lines are generic, the
    # encoder's own reason comes before them and is what the line must carry.
    stand_in 'printf "%s\n" "[ffv1 @ 0x5583849b0840] Unsupported number 4 of slices requested" \
        "Error initializing output stream 0:0 -- Error while opening encoder for output stream #0:0 - maybe incorrect parameters such as bit_rate, rate, width or height" >&2; exit 1'
    PATH="$PWD/fake:$PATH" run --out refused.mkv --lossless --frames 1-2
    expect_refusal 1 "refused.mkv: Unsupported number 4 of slices requested" "an encoder refusing its settings"

    # Interrupts in every stage: the frames (hangup, terminate), the final
    # mux (an encoder that stalls only there), a still.
    for signal in HUP TERM; do
        interrupt_after $signal 3 --out cut.mkv
        want=$((128 + $(kill -l $signal)))
        [ $status -eq $want ] || fail "SIG$signal during the frames: status $status, wanted $want"
        [ $took -le 2500 ] || fail "SIG$signal during the frames: took $took ms"
        [ ! -e cut.mkv ] || fail "SIG$signal: a file under the final name"
        no_temporaries "SIG$signal during the frames"
    done
    stand_in 'for a; do [ "$a" = copy ] && exec sleep 300; done; exec '"$real"' "$@"'
    PATH="$PWD/fake:$PATH" interrupt_after INT 5 --out mux.mkv --frames 1-5
    [ $status -eq 130 ] && [ $took -le 2500 ] || fail "Ctrl+C during the mux: status $status after $took ms"
    grep -q "^wrote" out && fail "Ctrl+C during the mux: the run said it wrote the video"
    encoder_gone || fail "the muxing encoder left running"
    [ ! -e mux.mkv ] || fail "Ctrl+C during the mux: a file under the final name"
    no_temporaries "Ctrl+C during the mux"
    # A prober that never answers is given up: the run fails, its prober
    # killed, instead of waiting until someone interrupts it.
    stand_in 'exec '"$real"' "$@"'
    # fake/ffprobe is a link to the real one: replaced, never written through.
    rm -f fake/ffprobe
    printf '#!/bin/bash\necho $$ > %s/encoder.pid\nexec sleep 300\n' "$PWD" > fake/ffprobe
    chmod +x fake/ffprobe
    PATH="$PWD/fake:$PATH" timeout 120 "$bin" --out probe.mkv --frames 1-3 >out 2>err
    status=$?
    expect_refusal 1 "did not finish checking the video" "a prober that never answers"
    encoder_gone || fail "the prober that never answers left running"
    [ ! -e probe.mkv ] || fail "a prober that never answers: a file under the final name"
    rm -f fake/ffprobe encoder.pid
    interrupt_after INT 0.3 --still spheres --png still.png
    [ $status -eq 130 ] && [ $took -le 2500 ] && [ ! -e still.png ] ||
        fail "Ctrl+C during a still: status $status after $took ms"
    no_temporaries "Ctrl+C during a still"
}

case_values() {
    # Rates the parser accepts work; the rest are refused with the range.
    for rate in 0.5 1/1000000 1000.001 0; do
        run --out bad.mkv --fps $rate
        expect_refusal 2 "from 1 to 1000" "--fps $rate"
    done
    # In range, but past what a rate's terms may be: the refusal says so.
    for rate in 24.999999 1.000001; do
        run --out bad.mkv --fps $rate
        expect_refusal 2 "at most 1000000" "--fps $rate"
    done
    for rate in 1 1000; do
        for ext in mkv mp4; do
            run --out rate.$ext --frames 1-30 --fps $rate
            [ $status -eq 0 ] || fail "--fps $rate .$ext: status $status"
            [ "$(frames_of rate.$ext | cut -d' ' -f1)" = video,30 ] ||
                fail "--fps $rate .$ext: $(frames_of rate.$ext), wanted 30 frames"
        done
    done
    # Blocks of every size the README allows reach the song's end.
    for block in 1 13 4096; do
        run --wav block.wav --audio-block $block
        [ $status -eq 0 ] || fail "--audio-block $block: status $status"
        size=$(stat -c %s block.wav)
        [ "$size" -gt $((44 + 2 * 5100000)) ] || fail "--audio-block $block: only $size bytes"
    done
    run --wav block.wav --audio-block 4097
    expect_refusal 2 "from 1 to 4096" "--audio-block 4097"
    # A schedule that never ends, or whose first count never does, is
    # refused at once, not read into memory.
    printf '1102 1103 %0200d 1102' 7 > long-token
    for schedule in /dev/zero long-token; do
        timeout 20 "$bin" --wav block.wav --audio-schedule $schedule >out 2>err
        status=$?
        expect_refusal 2 "is not a sample count" "--audio-schedule $schedule"
    done
    head -c 40000000 /dev/zero | tr '\0' ' ' > blanks
    run --wav block.wav --audio-schedule blanks
    expect_refusal 2 "larger than" "--audio-schedule of 40 MB of blanks"
    # The option list written nowhere: a failure, not a help given.
    "$bin" --help >/dev/full 2>err
    status=$?
    expect_refusal 1 "option list could not be written" "--help to a full disk"
    "$bin" --help >&- 2>err
    status=$?
    expect_refusal 1 "option list could not be written" "--help to a closed output"
    # A time the 0.04 s clock step cannot land on exactly is drawn at the
    # nearest one it can, and says so.
    run --still water --time 0 --png zero.png
    [ $status -eq 0 ] && grep -q "nearest to 0 " out || fail "--time 0: status $status, $(cat out)"
}

case_environment() {
    # No EGL vendor at all: one line, status 1, nothing written.
    __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json run --still title --png no-egl.png
    expect_refusal 1 "EGL" "no EGL vendor"
    [ ! -e no-egl.png ] || fail "no EGL vendor: a file written"
    __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json run --out no-egl.mkv --frames 1-2
    [ $status -eq 1 ] && [ ! -e no-egl.mkv ] || fail "no EGL vendor, video: status $status"
    no_temporaries "no EGL vendor"
    # Standard output and standard error closed: the encoder's pipe must not
    # take their place, so the video is the same as with both open.
    "$bin" --out open.mkv --frames 1-6 >/dev/null 2>&1
    "$bin" --out closed.mkv --frames 1-6 >&- 2>&-
    status=$?
    [ $status -eq 0 ] || fail "closed stdout and stderr: status $status"
    cmp -s open.mkv closed.mkv || fail "closed stdout and stderr: a different video"
    "$bin" --wav closed.wav <&- >&- 2>&-
    "$bin" --wav open.wav >/dev/null 2>&1
    cmp -s open.wav closed.wav || fail "closed standard descriptors: a different WAV"
}

case_limits() {
    # A file-size limit: writing past it fails like any other write, for
    # each kind of output and each writer (this program, ffmpeg's first
    # pass, its mux): one line with the reason, status 1, nothing left, an
    # earlier file untouched.
    "$bin" --out sized.mkv --frames 700-702 >/dev/null 2>&1 || fail "the unlimited video"
    mux=$(($(stat -c %s sized.mkv) / 1024 - 2))
    for limit_args in "1000 --wav big.wav" "100 --still water --png big.png" "100 --png-dir big --frames 700-701" \
        "20 --out big.mkv --frames 700-702" "20 --out big.mp4 --frames 700-702" "$mux --out big.mkv --frames 700-702"; do
        set -- $limit_args
        limit=$1
        shift
        name=$(echo "$@" | sed 's/.*\(big[^ ]*\).*/\1/')
        [ "$name" = big ] || echo earlier > "$name"
        (ulimit -f "$limit" && exec "$bin" "$@") >out 2>err
        status=$?
        expect_refusal 1 "$name" "ulimit -f $limit, $*"
        grep -q "File too large" err || fail "ulimit -f $limit, $*: not the reason"
        [ "$name" = big ] || [ "$(cat "$name")" = earlier ] || fail "ulimit -f $limit, $*: the earlier file was lost"
        rm -rf big*
    done

    # Out of memory, wherever it strikes (a thread, the song, the file's
    # bytes): a failure that says so, never an abort; or, with enough, the
    # whole song.
    "$bin" --wav song.wav >/dev/null 2>&1
    failed=0
    for limit in 20000 28000 36000 44000 52000 60000; do
        (ulimit -v $limit && exec "$bin" --wav small.wav) >out 2>err
        status=$?
        if [ $status -eq 0 ]; then
            cmp -s small.wav song.wav || fail "ulimit -v $limit: status 0 but not the song"
            rm -f small.wav
            continue
        fi
        failed=$((failed + 1))
        expect_refusal 1 "memory" "ulimit -v $limit"
        [ ! -e small.wav ] || fail "ulimit -v $limit: a file written"
    done
    [ $failed -gt 0 ] || fail "no memory limit made the run fail"

    # The sound's thread refused (no memory for its stack) with the rest
    # given: that is the reason said, for frames as for the song alone.
    if [ -n "$refuse_threads" ]; then
        for args in "--png-dir refused --frames 1-2" "--wav refused.wav"; do
            LD_PRELOAD=$refuse_threads run $args
            expect_refusal 1 "out of memory" "the feeder's thread refused, $args"
            [ ! -e refused ] && [ ! -e refused.wav ] || fail "the feeder's thread refused, $args: a file written"
        done
    fi

    # A supersampled still's framebuffer (16384 x 12288) beyond the memory
    # allowed: the reason is memory, not an "incomplete" framebuffer.
    (ulimit -v 2000000 && exec "$bin" --still title --size 4096x3072 --supersample 4 --png big.png) >out 2>err
    status=$?
    expect_refusal 1 "memory" "ulimit -v 2000000, a 16384x12288 still"
    [ ! -e big.png ] || fail "ulimit -v 2000000, a 16384x12288 still: a file written"

    # Signals beyond the terminal's, during a video: the same cleanup as
    # for Ctrl+C, and their own status.
    for signal in QUIT USR1 USR2 ALRM; do
        interrupt_after $signal 3 --out signalled.mkv
        want=$((128 + $(kill -l $signal)))
        [ $status -eq $want ] || fail "SIG$signal during the frames: status $status, wanted $want"
        [ $took -le 2500 ] || fail "SIG$signal during the frames: took $took ms"
        grep -q "^brinelux-capture: interrupted" err || fail "SIG$signal: $(tail -n 1 err)"
        [ ! -e signalled.mkv ] || fail "SIG$signal: a file under the final name"
        no_temporaries "SIG$signal during the frames"
    done

    # The output's directory renamed during the run: the run fails, and its
    # temporaries go from the directory it opened, under the new name.
    mkdir -p moved
    "$bin" --out moved/v.mkv --frames 1-60 >out 2>err &
    pid=$!
    for _ in $(seq 100); do
        [ -n "$(ls -A moved)" ] && break
        sleep 0.1
    done
    mv moved moved-away
    wait $pid
    status=$?
    expect_refusal 1 "moved/v.mkv" "the output's directory renamed"
    [ -z "$(ls -A moved-away)" ] || fail "the output's directory renamed: left $(ls -A moved-away)"

    # Pictures kept past the memory budget go to a temporary file beside the
    # frames; PNGs alone take it away too, as a video does.
    for frames in 1-2 700-712; do
        run --png-dir kept --size 64x48 --frames $frames --cache-mb 0
        [ $status -eq 0 ] || fail "--png-dir, --cache-mb 0, frames $frames: status $status"
        no_temporaries "--png-dir, --cache-mb 0, frames $frames"
        rm -rf kept
    done

    # One frame is one frame.
    run --png-dir one --frames 5-5
    grep -q "^wrote 1 frame to one/frame-000005.png$" out || fail "one frame: $(cat out)"
}

case "$class" in
outputs | encoder | values | environment | limits) "case_$class" ;;
*)
    echo "unknown class $class"
    exit 2
    ;;
esac
[ $failures -eq 0 ] && echo "all $class cases passed"
exit $((failures > 0))
