#include "support/logic_fixture.h"

#include "core/project.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarvok::test {

LogicFixture::LogicFixture()
    : StartedLogic(false)
{
    EXPECT_TRUE(Start("", false));
}

int32_t LogicFixture::AddBlock(
    const std::string& pName, int32_t pTrack, int32_t pStart, int32_t pFrames)
{
    Project& p = Logic.Proj();
    const std::string wave = Home.Dir().File(pName);
    const bool written = WriteWav(wave,
        PcmSpec(p.SampleRate, 16, 2,
            Stereo16(
                pFrames, [](int64_t i) { return static_cast<int>(std::sin(i * 0.05) * 12000); },
                [](int64_t i) { return static_cast<int>(i % 200) * 50; })));
    const int32_t w = written ? p.AddWaveFile(wave) : -1;
    if (w < 0 || !p.AddBlock())
        return -1;
    const int32_t index = p.BlockCount() - 1;
    Block& b = p.Blocks.back();
    b.WaveNo = w;
    b.TrackNo = pTrack;
    b.StartAdr = pStart;
    b.SrcStart = 1;
    b.SrcEnd = pFrames;
    if (!p.NormalizeBlock(index))
        return -1;
    p.UpdateTitleLength(false);
    return index;
}

} // namespace tarvok::test
