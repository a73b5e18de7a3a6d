#include "platform/thread_start.h"

#include <stddef.h>

struct ThreadStart {
    void (*fn)(void*);
    void* arg;
};

// The show starts one thread, the sound feeder; a few more slots spare a
// backend's tests from running out.
static ThreadStart threadStarts[4];
static int threadCount;

bool StartBackendThread(void (*fn)(void*), void* arg, bool (*create)(void* start))
{
    if (threadCount == (int)(sizeof threadStarts / sizeof threadStarts[0]))
        return false;
    ThreadStart* start = &threadStarts[threadCount++];
    start->fn = fn;
    start->arg = arg;
    if (create(start))
        return true;
    // Not started: the slot is free again.
    threadCount--;
    return false;
}

void RunThreadStart(void* data)
{
    ThreadStart* start = (ThreadStart*)data;
    start->fn(start->arg);
}
