// How a run of brinelux-capture ends when it does not finish: the cleanup,
// the one line that says why, the exit status.
#include "tools/capture/run.h"

#include <unistd.h>

#include "platform/offline/offline.h"
#include "tools/capture/ffmpeg.h"
#include "tools/capture/publish.h"

void Cleanup()
{
    VideoAbandon();
    RemoveTemporaries();
    if (madePngDir && options.pngDir)
        rmdir(options.pngDir);
}

int InterruptStatus() { return 128 + OfflineInterruptSignal(); }

// Takes a plain string: it also says why the run failed to allocate.
static void SayText(const char* line)
{
    fprintf(stderr, "%sbrinelux-capture: %s\n", progressPending ? "\n" : "", line);
    progressPending = false;
    fflush(stderr);
}

void Say(const std::string& line) { SayText(line.c_str()); }

static const char INTERRUPTED[] = "interrupted; unfinished files removed";

int Refuse(const std::string& why)
{
    Cleanup();
    Say(why);
    return 2;
}

int Interrupted()
{
    Cleanup();
    SayText(INTERRUPTED);
    return InterruptStatus();
}

[[noreturn]] void End(const char* why)
{
    // A write that failed because the run was being interrupted is the
    // interruption, not a fault of its own.
    bool interrupted = OfflineInterrupted();
    Cleanup();
    SayText(interrupted ? INTERRUPTED : why);
    fflush(stdout);
    _exit(interrupted ? InterruptStatus() : 1);
}

void Abort(const std::string& why) { End(why.c_str()); }
