// The start of a backend's thread: the system's thread entry takes one
// pointer, so the show's function and argument wait in a fixed table of
// slots for the new thread to pick them up.
#pragma once

// Starts fn(arg) on a thread that create makes: create hands its argument to
// the new thread, whose entry passes it to RunThreadStart, and returns
// whether the system started that thread. False when it did not, or when
// every slot is taken.
bool StartBackendThread(void (*fn)(void*), void* arg, bool (*create)(void* start));
// Runs the function waiting in a slot; a thread's entry calls it.
void RunThreadStart(void* start);
