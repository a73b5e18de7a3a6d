/* Preloaded into the show or the capture by the end-to-end tests: a
 * termination request (SIGTERM) that arrives while the show starts up,
 * before its first frame. Both programs put their handler for it in place
 * as the process starts and again as the show's start-up begins; the
 * signal is raised as soon as the second is in place. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>

typedef int (*SigactionFn)(int, const struct sigaction*, struct sigaction*);

int sigaction(int number, const struct sigaction* action, struct sigaction* old)
{
    static int handlers;
    SigactionFn real = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
    int result = real(number, action, old);
    if (result == 0 && number == SIGTERM && action != NULL && action->sa_handler != SIG_DFL &&
        action->sa_handler != SIG_IGN && ++handlers == 2)
        raise(SIGTERM);
    return result;
}
