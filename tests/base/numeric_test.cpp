#include "base/numeric.h"

#include <gtest/gtest.h>

namespace tarvok {

TEST(Numeric, RoundHalfEvenRoundsHalvesToEven)
{
    const std::pair<double, int64_t> kCases[] = {
        { 0.5, 0 }, { 1.5, 2 }, { 2.5, 2 }, { -0.5, 0 }, { -1.5, -2 }, { -2.5, -2 },
        { 2.4999, 2 }, { 2.5001, 3 }, { -2.5001, -3 }, { 1e10 + 0.5, 10000000000 },
    };
    for (auto [value, expected] : kCases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(RoundHalfEven(value), expected);
    }
}

TEST(Numeric, Saturate16NeverGivesMinus32768)
{
    EXPECT_EQ(Saturate16(-40000.0), -32767);
    EXPECT_EQ(Saturate16(-32768.0), -32767);
    EXPECT_EQ(Saturate16(32767.5), 32767);
    EXPECT_EQ(Saturate16(100.5), 100);
    EXPECT_EQ(Saturate16(101.5), 102);
}

TEST(Numeric, DecibelConversionsUseTheMinus110Floor)
{
    EXPECT_EQ(DbToFactor(-110.0), 0.0);
    EXPECT_EQ(DbToFactor(-200.0), 0.0);
    EXPECT_DOUBLE_EQ(DbToFactor(0.0), 1.0);
    EXPECT_NEAR(DbToFactor(-6.0206), 0.5, 1e-5);
    EXPECT_EQ(FactorToDb(0.0), -110.0);
    EXPECT_EQ(FactorToDb(-1.0), -110.0);
    EXPECT_NEAR(FactorToDb(2.0), 6.0206, 1e-4);
}

} // namespace tarvok
