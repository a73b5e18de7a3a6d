// The scenes' size fed with frame times, as a GPU of each kind would give
// them, on a 1024 x 768 picture: level 0 is 1024 x 768, the floor 256 x 192.
#include <gtest/gtest.h>
#include "host/scene_size.h"

namespace {
const double display = 1000.0 / 60.0;
double now;

// count frames of ms each, the clock moving on by each; the level after.
int32_t Feed(double ms, int count)
{
    for (int i = 0; i < count; i++) {
        now += ms;
        NoteSceneFrame(ms, display, now);
    }
    return SceneLevel();
}

// Quick frames until the scenes are at the picture's own size.
void RaiseToTop()
{
    for (int i = 0; i < 200 && SceneLevel() > 0; i++)
        Feed(10.0, 1);
    ASSERT_EQ(SceneLevel(), 0);
}

class SceneSize : public ::testing::Test {
protected:
    void SetUp() override
    {
        ForgetSceneSize();
        now = 0.0;
        SceneSizeForPicture(1024, 768);
    }
};

TEST_F(SceneSize, StartsAtTheFloorAndRisesOneLevelPerWait)
{
    int32_t w, h;
    ChosenSceneSize(&w, &h);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 192);
    int32_t start = SceneLevel();
    // Eight frame times with room before the first move, then a level, and
    // the frame after a move does not count.
    EXPECT_EQ(Feed(10.0, 7), start);
    EXPECT_EQ(Feed(10.0, 1), start - 1);
    EXPECT_EQ(Feed(10.0, 8), start - 1);
    EXPECT_EQ(Feed(10.0, 1), start - 2);
    RaiseToTop();
    ChosenSceneSize(&w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    // Nothing above the picture's own size.
    EXPECT_EQ(Feed(5.0, 50), 0);
}

TEST_F(SceneSize, SlowGpuDropsAtOnceALittleOverWaitsForAgreement)
{
    RaiseToTop();
    // Ten times the show's 40 ms: the level that takes 40 ms, at once (the
    // first frame time after a move never counts).
    EXPECT_EQ(Feed(400.0, 2), 7);
    ForgetSceneSize();
    SceneSizeForPicture(1024, 768);
    RaiseToTop();
    // A quarter over: only once three frame times agree, and by one level.
    EXPECT_EQ(Feed(50.0, 3), 0);
    EXPECT_EQ(Feed(50.0, 1), 1);
    // Just inside the band: nothing moves either way.
    EXPECT_EQ(Feed(44.0, 40), 1);
}

TEST_F(SceneSize, FloorAndPinHold)
{
    int32_t floorLevel = SceneLevel(), w, h;
    EXPECT_EQ(Feed(2000.0, 20), floorLevel);
    // A drop from the top that would pass the floor stops at it.
    RaiseToTop();
    EXPECT_EQ(Feed(5000.0, 2), floorLevel);
    ChosenSceneSize(&w, &h);
    EXPECT_EQ(h, 192);
    // A picture under the floor: the scenes at the picture's size.
    SceneSizeForPicture(160, 120);
    Feed(2000.0, 5);
    ChosenSceneSize(&w, &h);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);

    SceneSizeForPicture(1024, 768);
    PinSceneScale(0.5);
    EXPECT_TRUE(SceneSizeSettled());
    for (double ms : {2000.0, 5.0, 60.0}) {
        Feed(ms, 30);
        ChosenSceneSize(&w, &h);
        EXPECT_EQ(w, 512);
        EXPECT_EQ(h, 384);
    }
}

TEST_F(SceneSize, HeldAtThePictureWhereTheGpuCannotScale)
{
    HoldScenesAtPicture();
    Feed(2000.0, 10);
    int32_t w, h;
    ChosenSceneSize(&w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    EXPECT_TRUE(SceneSizeSettled());
}

TEST_F(SceneSize, SettlesAfterSixFrameTimesAtOneSize)
{
    IgnoreSceneFrames(1);
    Feed(30.0, 1);
    EXPECT_FALSE(SceneSizeSettled());
    Feed(30.0, 5);
    EXPECT_FALSE(SceneSizeSettled());
    Feed(30.0, 1);
    EXPECT_TRUE(SceneSizeSettled());
}

TEST_F(SceneSize, WaitBeforeRaisingDoublesUpToThirtySeconds)
{
    RaiseToTop();
    double waits[] = {2000.0, 4000.0, 8000.0, 16000.0, 30000.0, 30000.0};
    for (double wait : waits) {
        ASSERT_EQ(Feed(100.0, 2), 3);
        double droppedAt = now;
        // Quick frames: the level climbs back only once the wait is over.
        while (SceneLevel() == 3 && now < droppedAt + 60000.0)
            Feed(10.0, 1);
        EXPECT_GE(now, droppedAt + wait);
        EXPECT_LT(now, droppedAt + wait + 10.0 * 9 + 1.0) << "wait " << wait;
        RaiseToTop();
    }
}
} // namespace
