#include "render/mix_kernel.h"

#include "core/project.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarvok {

TEST(MixKernel, OverlapOfABlockWithAWindow)
{
    struct Case {
        int32_t StartAdr, EndAdr;
        int64_t WindowStart, WindowFrames;
        bool Meets;
        int64_t WindowOffset, BlockOffset, Count;
    };
    const Case kCases[] = {
        { 100, 199, 0, 1000, true, 100, 0, 100 }, // inside the window
        { 100, 199, 150, 1000, true, 0, 50, 50 }, // starts before the window
        { 100, 199, 50, 100, true, 50, 0, 50 }, // ends after the window
        { 100, 199, 120, 10, true, 0, 20, 10 }, // covers the window
        { 100, 199, 200, 10, false, 0, 0, 0 }, // just after the block
        { 100, 199, 90, 10, false, 0, 0, 0 }, // just before the block
        { 100, 100, 100, 1, true, 0, 0, 1 }, // one frame
        { 200, 100, 0, 1000, false, 0, 0, 0 }, // an inverted block never plays
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::to_string(c.StartAdr) + ".." + std::to_string(c.EndAdr) + " in "
            + std::to_string(c.WindowStart) + "+" + std::to_string(c.WindowFrames));
        Block block;
        block.StartAdr = c.StartAdr;
        block.EndAdr = c.EndAdr;
        const std::optional<BlockOverlap> overlap = OverlapOf(block, c.WindowStart, c.WindowFrames);
        ASSERT_EQ(overlap.has_value(), c.Meets);
        if (!overlap)
            continue;
        EXPECT_EQ(overlap->WindowOffset, c.WindowOffset);
        EXPECT_EQ(overlap->BlockOffset, c.BlockOffset);
        EXPECT_EQ(overlap->Count, c.Count);
    }
}

TEST(MixKernel, TrackWindowKeepsTheOrderOfFirstBlocksAndSkipsFilteredTracks)
{
    Project p;
    p.SetTrackCount(4);
    // Blocks without a readable wave file: the window still lists nothing for them.
    for (int32_t track : { 2, 0, 2, 1 }) {
        Block b;
        b.TrackNo = track;
        b.WaveNo = -1;
        b.StartAdr = 0;
        b.EndAdr = 99;
        p.Blocks.push_back(b);
    }
    TrackWindow window;
    TrackWindow::Filter filter;
    ASSERT_TRUE(window.Read(p, 0, 100, filter));
    EXPECT_EQ(window.TrackCount(), 0u);

    // A silent buffer asked for is added once, in the order asked.
    window.BufferFor(3);
    window.BufferFor(1);
    window.BufferFor(3);
    ASSERT_EQ(window.TrackCount(), 2u);
    EXPECT_EQ(window.TrackAt(0), 3);
    EXPECT_EQ(window.TrackAt(1), 1);
    EXPECT_EQ(window.Frames(0)[0], 0);
    EXPECT_EQ(window.Frames(1)[199], 0);

    // BeforeBlock can abandon the window.
    int calls = 0;
    filter.BeforeBlock = [&] { return ++calls < 2; };
    EXPECT_FALSE(window.Read(p, 0, 100, filter));
    EXPECT_EQ(calls, 2);
}

TEST(MixKernel, AccumulatorRoundsAfterEveryTrackAndSaturates)
{
    Project p;
    p.SetTrackCount(2);
    // Without envelopes the envelope gain is 1.
    MixAccumulator mix;
    mix.Reset(2);
    const int16_t a[] = { 3, -3, 30000, -30000 };
    const int16_t b[] = { 3, -3, 30000, -30000 };
    mix.AddTrack(p, 0, 0, a, { 0.5, 0.5 }); // 1.5 -> 2, -1.5 -> -2: ties to even
    mix.AddTrack(p, 1, 0, b, { 0.5, 0.5 }); // 2 + 1.5 = 3.5 -> 4
    EXPECT_EQ(mix.Sums()[0], 4.0);
    EXPECT_EQ(mix.Sums()[1], -4.0);
    int16_t out[4] = {};
    mix.AddTrack(p, 0, 0, a, { 1.0, 1.0 });
    mix.WriteSamples(out);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[2], 32767);
    EXPECT_EQ(out[3], -32767); // never -32768
}

} // namespace tarvok

namespace tarvok {

TEST(MixKernel, AShortenedWorkingFileReadsAsSilenceAndIsTakenOnceWhileAMissingOneFails)
{
    test::TempDir dir;
    Project p;
    p.SetTrackCount(2);
    const std::string shortened = dir.File("short.wav");
    ASSERT_TRUE(test::WriteWav(shortened,
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                100, [](int64_t) { return 9; }, [](int64_t) { return 8; }))));
    const int32_t wave = p.AddWaveFile(shortened);
    ASSERT_EQ(wave, 0);
    Block b;
    b.TrackNo = 0;
    b.WaveNo = wave;
    b.StartAdr = 0;
    b.EndAdr = 99;
    b.SrcStart = 1;
    b.SrcEnd = 100;
    p.Blocks.push_back(b);
    std::filesystem::resize_file(shortened, 44 + 30 * 4);

    TrackWindow window;
    TrackWindow::Filter filter; // stops on a read error, as a mixdown does
    for (int read = 0; read < 2; ++read) {
        SCOPED_TRACE(read);
        ASSERT_TRUE(window.Read(p, 0, 100, filter));
        ASSERT_EQ(window.TrackCount(), 1u);
        EXPECT_EQ(window.Frames(0)[2 * 29], 9);
        EXPECT_EQ(window.Frames(0)[2 * 30], 0);
        EXPECT_EQ(window.Frames(0)[2 * 99 + 1], 0);
        // Reported the first time only, for this and every later window of the process.
        EXPECT_EQ(window.TakeDamaged(),
            read == 0 ? std::vector<std::string> { shortened } : std::vector<std::string> {});
    }
    TrackWindow other;
    ASSERT_TRUE(other.Read(p, 0, 100, filter));
    EXPECT_TRUE(other.TakeDamaged().empty());

    // A file that is gone is a read failure, not damage.
    std::filesystem::remove(shortened);
    EXPECT_FALSE(window.Read(p, 0, 100, filter));
    EXPECT_TRUE(window.TakeDamaged().empty());
}

} // namespace tarvok
