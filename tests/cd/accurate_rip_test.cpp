#include "cd/accurate_rip.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvok {
namespace {

/// Frames of one 32-bit word each (left in the low half).
std::vector<uint8_t> Frames(const std::vector<uint32_t>& pWords)
{
    std::vector<uint8_t> bytes;
    for (uint32_t w : pWords)
        for (int b = 0; b < 4; ++b)
            bytes.push_back(static_cast<uint8_t>(w >> (8 * b)));
    return bytes;
}

TEST(AccurateRip, FramesAreWeightedByTheirPosition)
{
    const std::vector<uint8_t> bytes = Frames({ 1, 1, 2, 0x10000 });
    AccurateRipAccumulator sums(4, false, false);
    sums.Add(bytes.data(), 4);
    // 1x1 + 2x1 + 3x2 + 4x65536
    EXPECT_EQ(sums.Sums().V1, 1U + 2U + 6U + 262144U);
    EXPECT_EQ(sums.Sums().V2, sums.Sums().V1);

    // Pieces give the same result as the whole.
    AccurateRipAccumulator pieces(4, false, false);
    pieces.Add(bytes.data(), 1);
    pieces.Add(bytes.data() + 4, 3);
    EXPECT_EQ(pieces.Sums().V1, sums.Sums().V1);
}

TEST(AccurateRip, VersionTwoAddsTheHighHalvesOfTheProducts)
{
    const std::vector<uint8_t> bytes = Frames({ 0, 0xFFFFFFFFU });
    AccurateRipAccumulator sums(2, false, false);
    sums.Add(bytes.data(), 2);
    // 2 x 0xFFFFFFFF = 0x1_FFFFFFFE: low half 0xFFFFFFFE, high half 1.
    EXPECT_EQ(sums.Sums().V1, 0xFFFFFFFEU);
    EXPECT_EQ(sums.Sums().V2, 0xFFFFFFFFU);
}

TEST(AccurateRip, FirstAndLastTracksLeaveFiveSectorsOut)
{
    const int64_t total = 10 * 588;
    std::vector<uint32_t> words(static_cast<size_t>(total), 1);
    const std::vector<uint8_t> bytes = Frames(words);
    auto sum = [&](bool pFirst, bool pLast) {
        AccurateRipAccumulator a(total, pFirst, pLast);
        a.Add(bytes.data(), static_cast<size_t>(total));
        return a.Sums().V1;
    };
    auto range = [](uint64_t pFrom, uint64_t pTo) {
        return static_cast<uint32_t>((pFrom + pTo) * (pTo - pFrom + 1) / 2);
    };
    EXPECT_EQ(sum(false, false), range(1, 5880));
    EXPECT_EQ(sum(true, false), range(2940, 5880));
    EXPECT_EQ(sum(false, true), range(1, 2940));
    EXPECT_EQ(sum(true, true), range(2940, 2940));
}

TEST(AccurateRip, Text)
{
    EXPECT_EQ(AccurateRipText({ 0x1a2b, 0xffffffffU }), "v1 00001a2b v2 ffffffff");
}

} // namespace
} // namespace tarvok
