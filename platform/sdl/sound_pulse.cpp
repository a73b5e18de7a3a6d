// A playback stream on the sound server through libpulse's threaded main
// loop: the server asks for data on the loop's thread, and its timing
// (interpolated between the server's updates) gives the stream's latency.
#include "platform/sdl/sound_pulse.h"

#include <pulse/pulseaudio.h>
#include <stdio.h>
#include <string.h>

static pa_threaded_mainloop* loop;
static pa_context* context;
static pa_stream* stream;
static PulsePull pullFn;
static PulseTook tookFn;

static void Signal(void) { pa_threaded_mainloop_signal(loop, 0); }
static void OnContextState(pa_context*, void*) { Signal(); }
static void OnStreamState(pa_stream*, void*) { Signal(); }

static void OnWrite(pa_stream* s, size_t asked, void*)
{
    uint32_t written = 0;
    while (asked > 1) {
        void* data = NULL;
        size_t n = asked;
        if (pa_stream_begin_write(s, &data, &n) < 0 || !data)
            break;
        if (n > asked)
            n = asked;
        n &= ~(size_t)1;
        if (n == 0) {
            pa_stream_cancel_write(s);
            break;
        }
        pullFn((uint8_t*)data, (uint32_t)n);
        if (pa_stream_write(s, data, n, NULL, 0, PA_SEEK_RELATIVE) < 0)
            break;
        asked -= n;
        written += (uint32_t)n;
    }
    if (written == 0)
        return;
    // What was written up to now less what the server has played of it,
    // plus the sink's own delay: the last byte's way to the ear.
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(s, &latency, &negative) != 0 || negative)
        latency = 0;
    tookFn(written, (uint64_t)latency);
}

void PulsePause(bool pause)
{
    if (!stream)
        return;
    pa_threaded_mainloop_lock(loop);
    pa_operation* done = pa_stream_cork(stream, pause ? 1 : 0, NULL, NULL);
    if (done)
        pa_operation_unref(done);
    pa_threaded_mainloop_unlock(loop);
}

static bool Fail(char* why, size_t whyBytes, const char* what)
{
    snprintf(why, whyBytes, "%s: %s", what, pa_strerror(pa_context_errno(context)));
    return false;
}

// Waits on the loop (its lock held) until ready() or failed() holds.
static bool WaitFor(bool (*ready)(void), bool (*failed)(void))
{
    while (!ready()) {
        if (failed())
            return false;
        pa_threaded_mainloop_wait(loop);
    }
    return true;
}

static bool ContextReady(void) { return pa_context_get_state(context) == PA_CONTEXT_READY; }
static bool ContextFailed(void) { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)); }
static bool StreamReady(void) { return pa_stream_get_state(stream) == PA_STREAM_READY; }
static bool StreamFailed(void) { return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)); }

bool PulseOpen(uint32_t rate, uint32_t chunkBytes, PulsePull pull, PulseTook took, char* why, size_t whyBytes)
{
    pullFn = pull;
    tookFn = took;
    loop = pa_threaded_mainloop_new();
    if (!loop) {
        snprintf(why, whyBytes, "no main loop for the sound server");
        return false;
    }
    context = pa_context_new(pa_threaded_mainloop_get_api(loop), "brinelux");
    if (!context) {
        snprintf(why, whyBytes, "no sound server context");
        return false;
    }
    pa_context_set_state_callback(context, OnContextState, NULL);
    // No server started on the show's behalf: one that is not running is
    // not there.
    if (pa_context_connect(context, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0)
        return Fail(why, whyBytes, "sound server");
    pa_threaded_mainloop_lock(loop);
    if (pa_threaded_mainloop_start(loop) < 0) {
        pa_threaded_mainloop_unlock(loop);
        snprintf(why, whyBytes, "the sound server's thread did not start");
        return false;
    }
    if (!WaitFor(ContextReady, ContextFailed)) {
        pa_threaded_mainloop_unlock(loop);
        return Fail(why, whyBytes, "sound server");
    }
    pa_sample_spec spec;
    spec.format = PA_SAMPLE_S16NE;
    spec.rate = rate;
    spec.channels = 1;
    stream = pa_stream_new(context, "brinelux", &spec, NULL);
    if (!stream) {
        pa_threaded_mainloop_unlock(loop);
        return Fail(why, whyBytes, "sound stream");
    }
    pa_stream_set_state_callback(stream, OnStreamState, NULL);
    pa_stream_set_write_callback(stream, OnWrite, NULL);
    // A short buffer at the server: the ring ahead of it is the show's own
    // margin, and what the server holds is only more delay.
    pa_buffer_attr attr;
    attr.maxlength = (uint32_t)-1;
    attr.tlength = chunkBytes * 4;
    attr.prebuf = (uint32_t)-1;
    attr.minreq = chunkBytes;
    attr.fragsize = (uint32_t)-1;
    pa_stream_flags_t flags =
        (pa_stream_flags_t)(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream, NULL, &attr, flags, NULL, NULL) < 0 ||
        !WaitFor(StreamReady, StreamFailed)) {
        pa_threaded_mainloop_unlock(loop);
        return Fail(why, whyBytes, "sound stream");
    }
    pa_threaded_mainloop_unlock(loop);
    return true;
}
