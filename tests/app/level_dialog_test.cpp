#include "app/windows/level_dialog.h"

#include "core/project.h"
#include "support/logic_fixture.h"

#include <gtest/gtest.h>

namespace tarvok {

TEST(LevelDialog, FieldsShowTenthsWithTwoIntegerDigits)
{
    const std::pair<double, const char*> kCases[] = { { 0.0, "00.0" }, { -3.5, "-03.5" },
        { 12.34, "12.3" }, { -110.0, "-110.0" }, { -0.04, "00.0" } };
    for (auto [db, text] : kCases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(LevelDialogModel::FieldText(db), text);
    }
}

TEST(LevelDialog, LinkedRightBoxFollowsTheLeft)
{
    test::LogicFixture f;
    LevelDialogModel linked(-1.0, -2.0, true);
    EXPECT_FALSE(linked.RightEnabled());
    linked.SetLeftText("-6");
    EXPECT_EQ(linked.RightText(), "-6");
    linked.SetRightText("3");
    EXPECT_EQ(linked.RightText(), "-6");
    EXPECT_EQ(linked.Confirm(f.Ui), std::make_pair(-6.0, -6.0));

    LevelDialogModel free(-1.0, -2.0, false);
    free.SetLeftText("-6");
    EXPECT_EQ(free.RightText(), "-02.0");
}

TEST(LevelDialog, OkKeepsUnchangedAndNonNumericBoxesAndRefusesHugeNumbers)
{
    test::LogicFixture f;
    LevelDialogModel m(-1.26, 4.0, false);
    EXPECT_EQ(m.LeftText(), "-01.3");
    // Unchanged: the exact value, not the tenths shown.
    EXPECT_EQ(m.Confirm(f.Ui), std::make_pair(-1.26, 4.0));
    m.SetRightText("abc");
    m.SetLeftText("-2.5");
    EXPECT_EQ(m.Confirm(f.Ui), std::make_pair(-2.5, 4.0));
    m.SetLeftText("1e300");
    EXPECT_FALSE(m.Confirm(f.Ui).has_value());
    EXPECT_EQ(f.Ui.BoxTexts().back(), "値が不正です");
}

TEST(LevelDialog, BlockLevelIsOneUndoableEdit)
{
    test::LogicFixture f;
    const int32_t block = f.AddBlock("a.wav", 0, 0, 1000);
    ASSERT_GE(block, 0);
    LevelDialogModel m = LevelDialogModel::ForBlock(f.Logic.Proj(), block);
    m.SetLeftText("-6");
    m.SetRightText("3.5");
    std::optional<std::pair<double, double>> levels = m.Confirm(f.Ui);
    ASSERT_TRUE(levels);
    const int32_t undoBefore = f.Logic.Proj().UndoCounter;
    ASSERT_TRUE(ApplyBlockLevel(f.Logic, block, levels->first, levels->second));
    EXPECT_EQ(f.Logic.Proj().Blocks[block].LevelL, -6.0f);
    EXPECT_EQ(f.Logic.Proj().Blocks[block].LevelR, 3.5f);
    EXPECT_EQ(f.Logic.Proj().UndoCounter, undoBefore + 1);

    f.Logic.Playing = true;
    EXPECT_FALSE(ApplyBlockLevel(f.Logic, block, 0, 0));
    EXPECT_EQ(f.Logic.Proj().Blocks[block].LevelL, -6.0f);
    f.Logic.Playing = false;
    EXPECT_FALSE(ApplyBlockLevel(f.Logic, 99, 0, 0));
}

TEST(LevelDialog, TrackLevelBecomesTheIndexNotAboveTheValue)
{
    test::LogicFixture f;
    Project& p = f.Logic.Proj();
    LevelDialogModel m = LevelDialogModel::ForTrack(p, 1);
    EXPECT_EQ(m.LeftText(), "00.0");
    m.SetLeftText("-5");
    m.SetRightText("-0.2");
    std::optional<std::pair<double, double>> levels = m.Confirm(f.Ui);
    ASSERT_TRUE(levels);
    ASSERT_TRUE(ApplyTrackLevel(f.Logic, 1, levels->first, levels->second));
    EXPECT_EQ(p.Tracks[1].LevelL, 179);
    EXPECT_EQ(p.Tracks[1].LevelR, 205);
    EXPECT_FALSE(p.Saved);

    // OK on the unchanged dialog moves no fader.
    LevelDialogModel again = LevelDialogModel::ForTrack(p, 1);
    levels = again.Confirm(f.Ui);
    ASSERT_TRUE(levels);
    EXPECT_FALSE(ApplyTrackLevel(f.Logic, 1, levels->first, levels->second));
    EXPECT_EQ(p.Tracks[1].LevelR, 205);

    // A linked track takes the left value on both sides.
    p.Tracks[2].LevelLinked = 1;
    ASSERT_TRUE(ApplyTrackLevel(f.Logic, 2, -10.0, 5.0));
    EXPECT_EQ(p.Tracks[2].LevelL, 143);
    EXPECT_EQ(p.Tracks[2].LevelR, 143);
}

TEST(LevelDialog, RenameCleansTheNameAndSkipsNoChange)
{
    test::LogicFixture f;
    EXPECT_EQ(CleanedName("  take \"one\", two  "), "take ＂one＂. two");
    const int32_t block = f.AddBlock("a.wav", 0, 0, 1000);
    ASSERT_GE(block, 0);
    const std::string old = f.Logic.Proj().Blocks[block].Name;
    EXPECT_FALSE(ApplyBlockName(f.Logic, block, old));
    EXPECT_TRUE(ApplyBlockName(f.Logic, block, "vocal"));
    EXPECT_EQ(f.Logic.Proj().Blocks[block].Name, "vocal");
    EXPECT_TRUE(ApplyTrackName(f.Logic, 3, "bass"));
    EXPECT_EQ(f.Logic.Proj().Tracks[3].Name, "bass");
    EXPECT_FALSE(ApplyTrackName(f.Logic, 64, "x"));
}

} // namespace tarvok
