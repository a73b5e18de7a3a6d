// The start of a backend's thread: the system's thread entry takes one
// pointer, so the show's function and argument wait in a fixed table of
// slots for the new thread to pick them up.
#pragma once

struct ThreadStart {
    void (*fn)(void*);
    void* arg;
};

// A slot holding fn and arg, or null when every slot is taken.
ThreadStart* ClaimThreadStart(void (*fn)(void*), void* arg);
// Gives back the slot last claimed, for a thread the system would not start.
void ReleaseThreadStart(ThreadStart* start);
// Runs the function of a claimed slot; a thread's entry calls it.
void RunThreadStart(void* start);
