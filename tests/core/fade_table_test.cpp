#include "core/fade_table.h"

#include "base/numeric.h"

#include <gtest/gtest.h>

namespace tarvok {

namespace {

FadeTable Built(int32_t pType)
{
    FadeTable table {};
    EXPECT_TRUE(BuildFadeTable(pType, table));
    return table;
}

double DbAt(const FadeTable& pTable, int pIndex) { return FactorToDb(pTable[pIndex]); }

} // namespace

TEST(FadeTable, UnityIndexHasGainExactlyOne)
{
    const std::pair<int32_t, int32_t> kCases[] = { { 1, 207 }, { 0, 128 } };
    for (auto [type, unity] : kCases) {
        SCOPED_TRACE(type);
        EXPECT_EQ(UnityLevelOf(type), unity);
        EXPECT_EQ(Built(type)[unity], 1.0f);
    }
    EXPECT_EQ(UnityLevelOf(2), -1);
    EXPECT_EQ(UnityLevelOf(-1), -1);
}

TEST(FadeTable, GeneralFaderHitsItsSegmentEnds)
{
    const FadeTable table = Built(1);
    EXPECT_EQ(table[0], 0.0f);
    EXPECT_EQ(table[1], 0.0f);
    const std::pair<int, double> kCases[] = {
        { 2, -96.0 },
        { 3, -90.0 },
        { 10, -55.0 },
        { 11, -50.0 },
        { 22, -50.0 + 11 * 5.0 / 6 },
        { 23, -40.0 },
        { 42, -30.5 },
        { 43, -30.0 },
        { 79, -20.0 },
        { 105, -15.0 },
        { 143, -10.0 },
        { 179, -5.0 },
        { 208, 5.0 / 24 },
        { 230, 23 * 5.0 / 24 },
        { 231, 5.0 },
        { 255, 10.0 },
    };
    for (auto [index, db] : kCases) {
        SCOPED_TRACE(index);
        EXPECT_NEAR(DbAt(table, index), db, 1e-4);
    }
}

TEST(FadeTable, CentreZeroTableRunsFromMinus60ToPlus12)
{
    const FadeTable table = Built(0);
    EXPECT_EQ(table[0], 0.0f);
    const std::pair<int, double> kCases[] = {
        { 1, -60.0 },
        { 64, -60.0 * 64 / 127 },
        { 127, -60.0 / 127 },
        { 129, 12.0 / 127 },
        { 255, 12.0 },
    };
    for (auto [index, db] : kCases) {
        SCOPED_TRACE(index);
        EXPECT_NEAR(DbAt(table, index), db, 1e-4);
    }
}

TEST(FadeTable, GainsNeverFallAsTheIndexRises)
{
    for (int32_t type : { 0, 1 }) {
        SCOPED_TRACE(type);
        const FadeTable table = Built(type);
        for (int i = 1; i < 256; ++i)
            ASSERT_LE(table[i - 1], table[i]) << "index " << i;
    }
}

TEST(FadeTable, UnknownTypeLeavesTheTableAsItWas)
{
    FadeTable table = Built(0);
    const FadeTable before = table;
    EXPECT_FALSE(BuildFadeTable(2, table));
    EXPECT_FALSE(BuildFadeTable(-1, table));
    EXPECT_EQ(table, before);
}

TEST(FadeTable, DbConvertsToTheHighestIndexNotAboveIt)
{
    struct Case {
        int32_t Type;
        double Db;
        int32_t Index;
    };
    const Case kCases[] = {
        { 1, 0.0, 207 },
        { 1, -5.0, 179 },
        { 1, 10.0, 255 },
        { 1, 25.0, 255 },
        { 1, -0.1, 206 }, // 206 is -0.18 dB: not above -0.1
        { 1, -0.2, 205 }, // 206 would be louder than asked
        { 1, -96.0, 2 },
        { 1, -100.0, 1 },
        { 1, -110.0, 1 },
        { 1, -200.0, 0 },
        { 0, 0.0, 128 },
        { 0, 12.0, 255 },
        { 0, -60.0, 1 },
        { 0, -61.0, 0 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "type " << c.Type << " " << c.Db << " dB");
        EXPECT_EQ(LevelIndexFromDb(Built(c.Type), c.Db), c.Index);
    }
}

TEST(FadeTable, EveryIndexSurvivesTheTripThroughDb)
{
    for (int32_t type : { 0, 1 }) {
        SCOPED_TRACE(type);
        const FadeTable table = Built(type);
        // Type 1 has two silent indices; silence comes back as the higher one.
        const int32_t firstAudible = type == 1 ? 2 : 1;
        for (int32_t i = firstAudible; i < 256; ++i)
            ASSERT_EQ(LevelIndexFromDb(table, LevelIndexToDb(table, i)), i) << "index " << i;
        EXPECT_EQ(LevelIndexToDb(table, 0), -110.0);
        EXPECT_EQ(LevelIndexToDb(table, 300), LevelIndexToDb(table, 255));
    }
}

} // namespace tarvok
