// The clock the page holds while it is
// hidden: time held never counts, however hold, start and free interleave.
#include <gtest/gtest.h>
#include "state/held_clock.h"

namespace {

TEST(HeldClock, HeldTimeNeverCounts)
{
    HeldClock c;
    EXPECT_FALSE(HeldClockStarted(&c));
    EXPECT_EQ(HeldClockMs(&c, 500.0), 0.0);
    HeldClockStart(&c, 1000.0);
    EXPECT_EQ(HeldClockMs(&c, 1250.0), 250.0);
    HeldClockHold(&c, true, 1300.0);
    EXPECT_EQ(HeldClockMs(&c, 5000.0), 300.0);
    // A second hold does not move where it stands.
    HeldClockHold(&c, true, 4000.0);
    HeldClockHold(&c, false, 6000.0);
    EXPECT_EQ(HeldClockMs(&c, 6100.0), 400.0);
    // Freeing a running clock changes nothing.
    HeldClockHold(&c, false, 7000.0);
    EXPECT_EQ(HeldClockMs(&c, 7000.0), 1300.0);
}

// Held before it starts (a hidden page whose song then starts, or whose
// worker is then lost): it starts held at 0 and runs only once freed.
TEST(HeldClock, StartedWhileHeldRunsFromItsFreeing)
{
    HeldClock c;
    HeldClockHold(&c, true, 100.0);
    HeldClockStart(&c, 900.0);
    EXPECT_TRUE(HeldClockStarted(&c));
    EXPECT_EQ(HeldClockMs(&c, 2000.0), 0.0);
    HeldClockHold(&c, false, 3000.0);
    EXPECT_EQ(HeldClockMs(&c, 3040.0), 40.0);
    // Started again (a seek) while running: from 0 at once.
    HeldClockStart(&c, 4000.0);
    EXPECT_EQ(HeldClockMs(&c, 4010.0), 10.0);
}

}  // namespace
