#include "tools/capture/run.h"

#include <signal.h>
#include <unistd.h>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/offline/offline.h"
#include "platform/platform.h"
#include "render/render.h"
#include "tools/capture/ffmpeg.h"
#include "tools/capture/picture.h"
#include "tools/capture/publish.h"

CaptureOptions options;
FILE* report = stdout;
bool madePngDir;

static bool progressPending;

// Takes away everything unfinished: the encoder, the temporaries, a frame
// directory this run made and left empty.
void Cleanup()
{
    VideoAbandon();
    RemoveTemporaries();
    if (madePngDir && options.pngDir)
        rmdir(options.pngDir);
}

int InterruptStatus() { return 128 + OfflineInterruptSignal(); }

// One line on standard error, after a progress line still open on a
// terminal.
// Takes a plain string: it also says why the run failed to allocate.
static void SayText(const char* line)
{
    fprintf(stderr, "%sbrinelux-capture: %s\n", progressPending ? "\n" : "", line);
    progressPending = false;
    fflush(stderr);
}

void Say(const std::string& line) { SayText(line.c_str()); }

int Refuse(const std::string& why)
{
    Cleanup();
    Say(why);
    return 2;
}

int Interrupted()
{
    Cleanup();
    Say("interrupted; unfinished files removed");
    return InterruptStatus();
}

// An interrupt must end the run within a second or two, also while the show
// compiles its programs or draws a slow frame, neither of which can be cut
// short: when the run has not ended by itself 1.5 s after the signal, this
// thread cleans up and ends it.
void WatchInterrupts()
{
    while (!OfflineInterrupted())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Cleanup();
    Say("interrupted; unfinished files removed");
    fflush(stdout);
    _exit(InterruptStatus());
}

[[noreturn]] static void End(const char* why)
{
    // A write that failed because the run was being interrupted is the
    // interruption, not a fault of its own.
    bool interrupted = OfflineInterrupted();
    Cleanup();
    SayText(interrupted ? "interrupted; unfinished files removed" : why);
    fflush(stdout);
    _exit(interrupted ? InterruptStatus() : 1);
}

void Abort(const std::string& why) { End(why.c_str()); }

// An exception nobody catches, on any thread: most likely a failed
// allocation. The run fails like any other, without allocating again.
static void OnTerminate()
{
    const char* why = "an unexpected error";
    try {
        if (std::exception_ptr error = std::current_exception())
            std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        why = "out of memory";
    } catch (const std::system_error& error) {
        // What std::thread throws when no stack can be had for a thread.
        why = error.code() == std::errc::resource_unavailable_try_again
                  ? "out of memory (or of processes): a thread could not be started"
                  : error.what();
    } catch (const std::exception& error) {
        why = error.what();
    } catch (...) {
    }
    End(why);
}

void CatchEnds()
{
    OfflineCatchInterrupts();
    // Every other signal whose default would end the process unannounced
    // ends the run like Ctrl+C: the backend's handler, the same cleanup.
    // A signal the caller set to be ignored stays ignored.
    struct sigaction interrupt;
    sigaction(SIGINT, nullptr, &interrupt);
    std::vector<int> ends = {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                             SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT};
    for (int rt = SIGRTMIN; rt <= SIGRTMAX; rt++)
        ends.push_back(rt);
    for (int number : ends) {
        struct sigaction now;
        if (sigaction(number, nullptr, &now) == 0 && now.sa_handler == SIG_DFL)
            sigaction(number, &interrupt, nullptr);
    }
    // A write past the file-size limit fails with EFBIG like any other
    // failed write, instead of killing the process. The encoder inherits
    // this and says "File too large" itself.
    signal(SIGXFSZ, SIG_IGN);
    std::set_terminate(OnTerminate);
}

// The show's start-up ends the process when it gets no OpenGL context: the
// context is made first here, so a failure still cleans up after itself.
// Start-up then gets the same one. It is made at the size the frames are
// drawn at (--size, --supersample), which the scene pass and the cards then
// take for theirs.
int OpenContext()
{
    LayOutCapture(options.width, options.height, options.supersample);
    int32_t width = SurfaceWidth(frameLayout), height = SurfaceHeight(frameLayout);
    SetSurfaceSize(width, height);
    if (PlatformCreateWindow(0, 0, width, height))
        return 0;
    Cleanup();
    Say(PlatformLastError());
    return 1;
}

// ---- progress ----

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
// would promise far too early an end.
void Progress(int32_t done, int32_t total, int32_t drawn)
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
    std::string left = rate > 0.0 ? Duration((total - done) / rate) : "?";
    std::string pictures = drawn >= 0 ? ", " + std::to_string(drawn) + " pictures drawn" : "";
    fprintf(stderr, "%sframe %d of %d (%.1f%%)%s, %.2f frames/s, %s left%s", progressOnTerminal ? "\r" : "",
            done, total, total > 0 ? 100.0 * done / total : 100.0, pictures.c_str(), rate, left.c_str(),
            progressOnTerminal ? (last ? "   \n" : "   ") : "\n");
    progressPending = progressOnTerminal && !last;
    fflush(stderr);
}
