#include "platform/thread_start.h"

#include <stddef.h>

// The show starts one thread, the sound feeder; a few more slots spare a
// backend's tests from running out.
static ThreadStart threadStarts[4];
static int threadCount;

ThreadStart* ClaimThreadStart(void (*fn)(void*), void* arg)
{
    if (threadCount == (int)(sizeof threadStarts / sizeof threadStarts[0]))
        return NULL;
    ThreadStart* start = &threadStarts[threadCount++];
    start->fn = fn;
    start->arg = arg;
    return start;
}

void ReleaseThreadStart(ThreadStart* start)
{
    if (threadCount > 0 && start == &threadStarts[threadCount - 1])
        threadCount--;
}

void RunThreadStart(void* data)
{
    ThreadStart* start = (ThreadStart*)data;
    start->fn(start->arg);
}
