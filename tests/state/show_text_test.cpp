// A still's part and scene time as the capture's --still/--time and the
// page's ?still=/?time= both read them.
#include <gtest/gtest.h>
#include <string>
#include "state/show_text.h"

namespace {

// Decimal only: what strtod would also take (hexadecimal, blanks, inf) is
// refused; a value too small to represent is 0, one too large is refused.
TEST(SceneTime, DecimalSecondsOnly)
{
    double t = 9.0;
    for (const char* bad : {"0x10", "0X1p3", " 2", "2 ", "\t2", "2s", "2,5", "inf", "-inf", "nan", "-nan",
                            "1e400", "-1e400", "1000000.5", "-1e6.1", "1e", "e5", ".", "-", "+-1", "1..2", "1e+",
                            ""})
        EXPECT_FALSE(ParseSceneTime(bad, &t)) << "'" << bad << "'";
    EXPECT_EQ(t, 9.0);
    ASSERT_TRUE(ParseSceneTime("1e-400", &t));
    EXPECT_EQ(t, 0.0);
    ASSERT_TRUE(ParseSceneTime("-2.5e1", &t));
    EXPECT_EQ(t, -25.0);
    ASSERT_TRUE(ParseSceneTime(".5", &t));
    EXPECT_EQ(t, 0.5);
    ASSERT_TRUE(ParseSceneTime("-1e6", &t));
    EXPECT_EQ(t, -1e6);
    ASSERT_TRUE(ParseSceneTime("+1000000", &t));
    EXPECT_EQ(t, 1e6);
}

// The page reads the value into a buffer of the longest length taken: one
// a character longer is refused by both entries, not cut and then taken.
TEST(SceneTime, LongestValueIsTakenOneMoreIsRefused)
{
    std::string longest = "2." + std::string(SCENE_TIME_MAX_LENGTH - 3, '0') + "5";
    ASSERT_EQ(longest.size(), (size_t)SCENE_TIME_MAX_LENGTH);
    double t = 9.0;
    ASSERT_TRUE(ParseSceneTime(longest.c_str(), &t));
    EXPECT_EQ(t, 2.0);
    std::string over = "2." + std::string(SCENE_TIME_MAX_LENGTH - 2, '0') + "5";
    t = 9.0;
    EXPECT_FALSE(ParseSceneTime(over.c_str(), &t));
    EXPECT_EQ(t, 9.0);
}

TEST(ShowPartName, ExactNamesOnly)
{
    ShowPart part = PART_COUNT;
    for (const char* bad : {"", "Water", "water ", " water", "sphere", "titles", "0"})
        EXPECT_FALSE(FindShowPart(bad, &part)) << "'" << bad << "'";
    EXPECT_EQ(part, PART_COUNT);
    const ShowPart expected[] = {PART_TITLE, PART_THANKS, PART_WATER, PART_SPHERES};
    const char* names[] = {"title", "thanks", "water", "spheres"};
    for (int i = 0; i < 4; i++) {
        ASSERT_TRUE(FindShowPart(names[i], &part)) << names[i];
        EXPECT_EQ(part, expected[i]);
    }
}

} // namespace
