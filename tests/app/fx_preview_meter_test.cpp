#include "app/commands/fx_dialog.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvok {
namespace {

TEST(PreviewMeterLevels, PeakOrRootMeanSquarePerChannel)
{
    // Left: a square wave of +-1000 (peak 1000, RMS 1000); right: 0, 3000, 0, -4000
    // (peak 4000, RMS sqrt((9e6 + 16e6) / 4) = 2500); -32768 reads as full scale.
    const std::vector<int16_t> buffer = { 1000, 0, -1000, 3000, 1000, 0, -1000, -4000 };
    EXPECT_EQ(PreviewMeterLevels(buffer.data(), 4, false), (std::array<int32_t, 2> { 1000, 4000 }));
    EXPECT_EQ(PreviewMeterLevels(buffer.data(), 4, true), (std::array<int32_t, 2> { 1000, 2500 }));
    const std::vector<int16_t> full = { -32768, -32768 };
    EXPECT_EQ(PreviewMeterLevels(full.data(), 1, false), (std::array<int32_t, 2> { 32767, 32767 }));
    EXPECT_EQ(PreviewMeterLevels(full.data(), 1, true), (std::array<int32_t, 2> { 32767, 32767 }));
    EXPECT_EQ(PreviewMeterLevels(nullptr, 4, true), (std::array<int32_t, 2> { 0, 0 }));
}

} // namespace
} // namespace tarvok
