// The video's stretches: which repeats are copied, where the stretches are
// cut, and that every copy repeats its encoded stretch picture for picture.
#include "tools/capture/stretches.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const CopyRule h264 = {20, 50};
const CopyRule ffv1 = {1, 1};

// A run of n frames of one picture, then n distinct ones, ... as numbers.
struct Pictures {
    std::vector<int32_t> of;
    int32_t next = 0;
    void Held(int32_t frames)
    {
        of.insert(of.end(), (size_t)frames, next++);
    }
    void Moving(int32_t frames)
    {
        for (int32_t i = 0; i < frames; i++)
            of.push_back(next++);
    }
    // frames more, repeating the pictures from frame `from` on, cycle after cycle.
    void Repeat(int32_t from, int32_t cycle, int32_t frames)
    {
        for (int32_t i = 0; i < frames; i++)
            of.push_back(of[(size_t)(from + i % cycle)]);
    }
};

std::vector<VideoStretch> Plan(const Pictures& p, const CopyRule& rule)
{
    std::vector<VideoStretch> stretches;
    PlanStretches(p.of.data(), (int32_t)p.of.size(), rule, &stretches);
    return stretches;
}

// The stretches cover the frames in order, and a copy shows, frame for
// frame, the pictures of the encoded stretch it names.
::testing::AssertionResult Consistent(const Pictures& p, const std::vector<VideoStretch>& stretches)
{
    std::vector<const VideoStretch*> encoded;
    int32_t at = 0;
    for (const VideoStretch& s : stretches) {
        if (s.first != at || s.count <= 0)
            return ::testing::AssertionFailure() << "a stretch at " << s.first << " where " << at << " was due";
        at += s.count;
        if (!s.copy) {
            if (s.encoded != (int32_t)encoded.size())
                return ::testing::AssertionFailure() << "encoded stretch " << s.encoded << " out of order";
            encoded.push_back(&s);
            continue;
        }
        if (s.encoded < 0 || s.encoded >= (int32_t)encoded.size())
            return ::testing::AssertionFailure() << "the copy at " << s.first << " names no earlier stretch";
        const VideoStretch& from = *encoded[(size_t)s.encoded];
        if (from.count != s.count)
            return ::testing::AssertionFailure() << "the copy at " << s.first << " is " << s.count
                                                 << " frames of a stretch of " << from.count;
        for (int32_t i = 0; i < s.count; i++)
            if (p.of[(size_t)(s.first + i)] != p.of[(size_t)(from.first + i)])
                return ::testing::AssertionFailure() << "frame " << s.first + i << " is not the picture it copies";
    }
    if (at != (int32_t)p.of.size())
        return ::testing::AssertionFailure() << "the stretches end at " << at;
    return ::testing::AssertionSuccess();
}

std::string Starts(const std::vector<VideoStretch>& stretches)
{
    std::string text;
    for (const VideoStretch& s : stretches)
        text += std::to_string(s.first) + (s.copy ? "c " : " ");
    return text;
}

// The whole show at 25 frames a second (2929 frames): two held cards, the
// water, six cycles of the spheres and the head of a seventh.
Pictures Show()
{
    Pictures show;
    show.Held(300);
    show.Held(301);
    show.Moving(126);
    show.Moving(351);
    show.Repeat(727, 351, 5 * 351 + 96);
    return show;
}

TEST(CaptureStretches, TheShowEncodesItsCardsInUnitsAndOneSphereCycleCutWhereTheLastEnds)
{
    Pictures show = Show();
    std::vector<VideoStretch> h = Plan(show, h264);
    ASSERT_TRUE(Consistent(show, h));
    // Each card: 50 frames encoded, five copies; the thanks card's last
    // frame leads the water; the cycle cut after 96 frames for the tail.
    EXPECT_EQ(EncodedFrames(h), 50 + 50 + 1 + 126 + 351);
    EXPECT_EQ(EncodedStretches(h), 5);
    ASSERT_EQ(show.of.size(), 2929u);
    EXPECT_EQ(Starts(h), "0 50c 100c 150c 200c 250c 300 350c 400c 450c 500c 550c 600 727 823 1078c 1174c 1429c 1525c "
                         "1780c 1876c 2131c 2227c 2482c 2578c 2833c ");
    std::vector<VideoStretch> f = Plan(show, ffv1);
    ASSERT_TRUE(Consistent(show, f));
    // Every frame its own key frame: each card is one frame and its copies.
    EXPECT_EQ(EncodedFrames(f), 1 + 1 + 126 + 351);
}

TEST(CaptureStretches, RepeatsTooShortOrOverCopiesAreEncodedAgain)
{
    // A repeat of 19 frames is not worth its key frame; one of 20 is.
    for (int32_t tail : {19, 20}) {
        Pictures p;
        p.Moving(351);
        p.Repeat(0, 351, tail);
        std::vector<VideoStretch> s = Plan(p, h264);
        ASSERT_TRUE(Consistent(p, s));
        EXPECT_EQ(EncodedFrames(s), tail == 20 ? 351 : 351 + 19) << Starts(s);
    }
    // A card held 99 frames: one unit and a rest too short to copy.
    Pictures held;
    held.Held(99);
    EXPECT_EQ(EncodedFrames(Plan(held, h264)), 99);
    // A cycle whose head is already a copy of an earlier one cannot be the
    // source of another: it is encoded where it is not a copy itself.
    Pictures nested;
    nested.Moving(40);
    nested.Repeat(0, 40, 40);
    nested.Repeat(20, 20, 40);
    std::vector<VideoStretch> n = Plan(nested, h264);
    ASSERT_TRUE(Consistent(nested, n)) << Starts(n);
    EXPECT_EQ(Starts(n), "0 40c 80 ");
    // Nothing repeats, or nothing is to be copied: one stretch.
    Pictures moving;
    moving.Moving(500);
    EXPECT_EQ(Plan(moving, h264).size(), 1u);
    EXPECT_EQ(Plan(Show(), CopyRule{0, 0}).size(), 1u);
    // Frames that share their picture with none never start a copy.
    Pictures blank;
    blank.of.assign(200, -1);
    EXPECT_EQ(Plan(blank, ffv1).size(), 1u);
}

}  // namespace
