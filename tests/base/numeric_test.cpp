#include "base/numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tarvok {

TEST(Numeric, RoundHalfEvenRoundsHalvesToEven)
{
    const std::pair<double, int64_t> kCases[] = {
        { 0.5, 0 },
        { 1.5, 2 },
        { 2.5, 2 },
        { -0.5, 0 },
        { -1.5, -2 },
        { -2.5, -2 },
        { 2.4999, 2 },
        { 2.5001, 3 },
        { -2.5001, -3 },
        { 1e10 + 0.5, 10000000000 },
    };
    for (auto [value, expected] : kCases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(RoundHalfEven(value), expected);
    }
}

TEST(Numeric, NearestEvenAgreesWithRoundHalfEven)
{
    const double kValues[] = { 0.0, -0.0, 0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 2.4999, 2.5001, -2.5001,
        0.49999999999999994, -0.49999999999999994, 1e15 + 0.5, -1e15 - 0.5, 8388607.5, -8388608.5,
        4194303.75, -3.25, 32766.5, -32767.5, 2147483647.5 };
    for (double v : kValues) {
        SCOPED_TRACE(v);
        EXPECT_EQ(NearestEven(v), static_cast<double>(RoundHalfEven(v)));
    }
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> wide(-1e9, 1e9);
    std::uniform_int_distribution<int64_t> halves(-20000000, 20000000);
    for (int i = 0; i < 200000; ++i) {
        const double a = wide(random);
        const double b = static_cast<double>(halves(random)) / 2.0;
        ASSERT_EQ(NearestEven(a), static_cast<double>(RoundHalfEven(a))) << a;
        ASSERT_EQ(NearestEven(b), static_cast<double>(RoundHalfEven(b))) << b;
    }
}

TEST(Numeric, Saturate16NeverGivesMinus32768)
{
    EXPECT_EQ(Saturate16(-40000.0), -32767);
    EXPECT_EQ(Saturate16(-32768.0), -32767);
    EXPECT_EQ(Saturate16(32767.5), 32767);
    EXPECT_EQ(Saturate16(100.5), 100);
    EXPECT_EQ(Saturate16(101.5), 102);
    EXPECT_EQ(Saturate16(-101.5), -102);
    EXPECT_EQ(Saturate16(std::nan("")), 0);
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
