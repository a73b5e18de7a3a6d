/* Preloaded into a program by the hostile tests: the system refuses every
 * thread started through the C++ library (std::thread) after the first
 * BRINELUX_THREADS_ALLOWED (default 1) of them, as it does when there is no
 * memory left for a thread's stack. The driver's own threads still start. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

typedef int (*CreateFn)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg)
{
    static int started;
    CreateFn real = (CreateFn)dlsym(RTLD_NEXT, "pthread_create");
    Dl_info caller;
    if (dladdr(__builtin_return_address(0), &caller) && caller.dli_fname && strstr(caller.dli_fname, "libstdc++")) {
        const char* allowed = getenv("BRINELUX_THREADS_ALLOWED");
        if (__atomic_fetch_add(&started, 1, __ATOMIC_SEQ_CST) >= (allowed ? atoi(allowed) : 1))
            return EAGAIN;
    }
    return real(thread, attr, start, arg);
}
