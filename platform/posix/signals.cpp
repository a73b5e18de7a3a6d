#include "platform/posix/signals.h"

#include <signal.h>
#include <string.h>

void CatchSignal(int number, void (*handler)(int), bool restart)
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sa.sa_flags = restart ? SA_RESTART : 0;
    sigaction(number, &sa, NULL);
}

void CatchTerminationSignals(void (*handler)(int), bool restart)
{
    CatchSignal(SIGINT, handler, restart);
    CatchSignal(SIGTERM, handler, restart);
    CatchSignal(SIGHUP, handler, restart);
}

// Takes the interrupt's handling where the signal still has its default.
static void EndAsInterrupt(int number, const struct sigaction* interrupt)
{
    struct sigaction now;
    if (sigaction(number, NULL, &now) == 0 && now.sa_handler == SIG_DFL)
        sigaction(number, interrupt, NULL);
}

void EndOtherSignalsAsInterrupt(void)
{
    struct sigaction interrupt;
    sigaction(SIGINT, NULL, &interrupt);
    static const int ends[] = {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO, SIGPWR,
                               SIGSTKFLT};
    for (int number : ends)
        EndAsInterrupt(number, &interrupt);
    for (int number = SIGRTMIN; number <= SIGRTMAX; number++)
        EndAsInterrupt(number, &interrupt);
}
