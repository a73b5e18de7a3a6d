// A clock that can be held: milliseconds since it started, less the time it
// stood held. The page's own song clock keeps one, on the page's "now".
#pragma once

struct HeldClock {
    // When it started, moved on by the time it was held; -1 before it starts.
    double startMs = -1.0;
    // Held since; -1 while it runs. It may be held before it starts.
    double heldAt = -1.0;
};

inline bool HeldClockStarted(const HeldClock* clock) { return clock->startMs >= 0.0; }

// Starts (or starts again) from 0 at now; a held clock stays held at 0.
inline void HeldClockStart(HeldClock* clock, double nowMs)
{
    clock->startMs = nowMs;
    if (clock->heldAt >= 0.0)
        clock->heldAt = nowMs;
}

// Holds it, or lets it go on from where it stood; holding a held clock (or
// freeing a running one) changes nothing.
inline void HeldClockHold(HeldClock* clock, bool held, double nowMs)
{
    if (held && clock->heldAt < 0.0) {
        clock->heldAt = nowMs;
    } else if (!held && clock->heldAt >= 0.0) {
        if (HeldClockStarted(clock))
            clock->startMs += nowMs - clock->heldAt;
        clock->heldAt = -1.0;
    }
}

// Milliseconds it has run (0 before it starts).
inline double HeldClockMs(const HeldClock* clock, double nowMs)
{
    if (!HeldClockStarted(clock))
        return 0.0;
    return (clock->heldAt >= 0.0 ? clock->heldAt : nowMs) - clock->startMs;
}
