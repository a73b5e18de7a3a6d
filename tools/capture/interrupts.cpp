// What ends a run of brinelux-capture from outside: signals, an exception
// nobody catches, an interrupt the show does not notice in time.
#include "tools/capture/run.h"

#include <signal.h>
#include <exception>
#include <new>
#include <system_error>
#include <thread>

#include "platform/offline/offline.h"
#include "platform/posix/signals.h"

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
    EndOtherSignalsAsInterrupt();
    // A write past the file-size limit fails with EFBIG like any other
    // failed write, instead of killing the process. The encoder inherits
    // this and says "File too large" itself.
    signal(SIGXFSZ, SIG_IGN);
    std::set_terminate(OnTerminate);
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
    // End sees the interrupt and says the interrupt's line, not this one.
    End("interrupted");
}
