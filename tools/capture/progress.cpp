// The progress line of a capture of frames.
#include "tools/capture/run.h"

#include <unistd.h>

bool progressPending;

static Clock::time_point progressStart;
static Clock::time_point progressShown;
static bool progressOnTerminal;

void StartProgress()
{
    progressStart = progressShown = Clock::now();
    progressOnTerminal = isatty(2);
}

static std::string Duration(double seconds)
{
    char text[32];
    long s = (long)(seconds + 0.5);
    if (s >= 3600)
        snprintf(text, sizeof text, "%ldh%02ldm", s / 3600, s / 60 % 60);
    else if (s >= 60)
        snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
    else
        snprintf(text, sizeof text, "%lds", s);
    return text;
}

// Rewritten in place on a terminal; a plain line every few seconds otherwise.
// The rate is that of the last half minute or so: the cards take
// milliseconds a frame and the spheres seconds, so the whole run's average
// would promise far too early an end. The time left is the caller's count of
// the work ahead where it has one: frames that repeat earlier ones cost next
// to nothing, so no rate of frames foretells it.
void Progress(int32_t done, int32_t total, int32_t drawn, double secondsLeft)
{
    static Clock::time_point markTime;
    static int32_t markDone;
    static Clock::time_point lastTime;
    static int32_t lastDone;
    static double rate;
    Clock::time_point now = Clock::now();
    if (markDone == 0 && markTime == Clock::time_point()) {
        markTime = lastTime = progressStart;
    }
    double window = std::chrono::duration<double>(now - markTime).count();
    if (window > 0.0)
        rate = (done - markDone) / window;
    if (window > 30.0) {
        // Slide the window: the last stretch becomes its start.
        markTime = lastTime;
        markDone = lastDone;
    }
    if (std::chrono::duration<double>(now - lastTime).count() >= 10.0) {
        lastTime = now;
        lastDone = done;
    }

    double sinceShown = std::chrono::duration<double>(now - progressShown).count();
    bool last = done >= total;
    if (!last && sinceShown < (progressOnTerminal ? 0.25 : 5.0))
        return;
    progressShown = now;
    std::string left = secondsLeft >= 0.0 ? Duration(secondsLeft) : rate > 0.0 ? Duration((total - done) / rate) : "?";
    std::string pictures = drawn >= 0 ? ", " + std::to_string(drawn) + " pictures drawn" : "";
    fprintf(stderr, "%sframe %d of %d (%.1f%%)%s, %.2f frames/s, %s left%s", progressOnTerminal ? "\r" : "",
            done, total, total > 0 ? 100.0 * done / total : 100.0, pictures.c_str(), rate, left.c_str(),
            progressOnTerminal ? (last ? "   \n" : "   ") : "\n");
    progressPending = progressOnTerminal && !last;
    fflush(stderr);
}
