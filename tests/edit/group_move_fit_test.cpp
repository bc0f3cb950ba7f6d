// Whether a move of a block group by a number of frames fits the longest project as asked.

#include "edit/block_edit.h"

#include "edit/block_layout.h"

#include <gtest/gtest.h>

namespace tarvok {

using test::MakeLayout;

TEST(GroupMoveFits, EveryMemberMustStayInsideTheLongestProject)
{
    struct Case {
        const char* Name;
        int32_t Frames;
        bool Fits;
    };
    // Group 5: track 1 at 100..199 and track 2 at 300..399; block 2 is not in the group.
    const Case cases[] = {
        { "a plain move", 50, true },
        { "the first member to frame 0", -100, true },
        { "one frame before 0", -101, false },
        { "the last member to the last frame", kMaxLength - 400, true },
        { "one frame beyond", kMaxLength - 399, false },
        { "the largest number", 2147483647, false },
        { "the smallest number", -2147483647 - 1, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Project p = MakeLayout({ { 1, 100, 199, 1, 5 }, { 2, 300, 399, 1, 5 }, { 0, 0, 99 } });
        EXPECT_EQ(GroupMoveFits(p, 0, c.Frames), c.Fits);
        EXPECT_EQ(GroupMoveFits(p, 1, c.Frames), c.Fits);
    }
    // Nothing to move is not a move beyond the limit.
    Project p = MakeLayout({ { 0, 0, 99 } });
    EXPECT_TRUE(GroupMoveFits(p, 5, 2147483647));
}

} // namespace tarvok
