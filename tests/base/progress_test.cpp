#include "base/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvok {
namespace {

TEST(Progress, EmptyReportsNowhereAndGoesOn)
{
    const Progress none;
    EXPECT_FALSE(static_cast<bool>(none));
    EXPECT_TRUE(none(0.5));
    EXPECT_TRUE(none.Stage(0.2, 0.4)(1.0));
}

TEST(Progress, StageMapsItsRangeIntoTheWholeAndPassesTheAnswerBack)
{
    std::vector<double> seen;
    std::string text;
    const Progress whole([&](double pRate, std::string_view pMessage) {
        seen.push_back(pRate);
        text = pMessage;
        return pRate < 0.7;
    });
    const Progress second = whole.Stage(0.5, 1.0);
    EXPECT_TRUE(second(0.0, "encoding"));
    EXPECT_FALSE(second(0.5));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_DOUBLE_EQ(seen[0], 0.5);
    EXPECT_DOUBLE_EQ(seen[1], 0.75);
    EXPECT_EQ(text, "");
}

} // namespace
} // namespace tarvok
