#include "render/mp3_encoder.h"

#include "core/file_io.h"
#include "platform/lame/lame_encoder.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tarvok {

TEST(Mp3Encoder, BitRateListsFollowTheListOrderAndTheEncoder)
{
    LameEncoder lame;
    if (!lame.EncAvailable())
        GTEST_SKIP() << "LAME is not installed";
    // MPEG-1 Layer III has no 24 kbps.
    EXPECT_EQ(Mp3BitRates(&lame, 44100, 2, 16),
        (std::vector<int32_t> { 320, 256, 224, 192, 160, 128, 112, 96, 80, 64, 56, 48, 40, 32 }));
    // MPEG-2.5 at 8 kHz tops out at 160 kbps, and LAME limits 8 kHz further.
    std::vector<int32_t> low = Mp3BitRates(&lame, 8000, 1, 16);
    ASSERT_FALSE(low.empty());
    EXPECT_TRUE(std::is_sorted(low.rbegin(), low.rend()));
    EXPECT_LE(low.front(), 160);
    EXPECT_EQ(low.back(), 24);
    EXPECT_EQ(LoadBitRateList(&lame, 8000, 2), low);
    // Other bit depths, channel counts and format indices give nothing.
    EXPECT_TRUE(Mp3BitRates(&lame, 44100, 2, 24).empty());
    EXPECT_TRUE(Mp3BitRates(&lame, 44100, 6, 16).empty());
    for (int32_t mode : { 0, 1, 4, 5 })
        EXPECT_TRUE(LoadBitRateList(&lame, 44100, mode).empty()) << mode;
    EXPECT_TRUE(Mp3BitRates(&lame, 96000, 2, 16).empty());
    EXPECT_EQ(ChooseBitRate(low, 192), low.front());
    EXPECT_EQ(ChooseBitRate(low, 32), 32);
    EXPECT_EQ(ChooseBitRate({}, 192), 0);
}

TEST(Mp3Encoder, MissingEncoderDisablesMp3)
{
    LameEncoder missing("libno-such-mp3-encoder.so");
    EXPECT_FALSE(missing.EncAvailable());
    EXPECT_TRUE(Mp3BitRates(&missing, 44100, 2, 16).empty());
    EXPECT_TRUE(Mp3BitRates(nullptr, 44100, 2, 16).empty());
    test::TempDir dir;
    ASSERT_TRUE(
        test::WriteWav(dir.File("s.wav"), test::PcmSpec(44100, 16, 2, std::string(4000, '\0'))));
    EXPECT_FALSE(EncFromWavfile(nullptr, dir.File("s.wav"), dir.File("o.mp3"), 192, {}));
    EXPECT_FALSE(EncFromWavfile(&missing, dir.File("s.wav"), dir.File("o.mp3"), 192, {}));
    EXPECT_FALSE(FileExists(dir.File("o.mp3")));
}

TEST(Mp3Encoder, CancelAndFailureLeaveNoPartialFile)
{
    LameEncoder lame;
    if (!lame.EncAvailable())
        GTEST_SKIP() << "LAME is not installed";
    test::TempDir dir;
    const int64_t frames = kMp3ChunkFrames + 1000;
    ASSERT_TRUE(test::WriteWav(dir.File("s.wav"),
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                frames, [](int64_t i) { return (i * 17) % 20000; },
                [](int64_t i) { return -(i * 13) % 20000; }))));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("o.mp3"), "old"));
    int events = 0;
    Status cancelled = EncFromWavfile(&lame, dir.File("s.wav"), dir.File("o.mp3"), 192,
        [&](double, std::string_view) { return ++events != 2; });
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.error().Code, ErrorCode::Cancelled);
    EXPECT_EQ(test::ReadFileBytes(dir.File("o.mp3")), "old");
    // A 24-bit source and a bit rate the encoder refuses fail the same way.
    ASSERT_TRUE(
        test::WriteWav(dir.File("s24.wav"), test::PcmSpec(44100, 24, 2, std::string(600, '\0'))));
    EXPECT_FALSE(EncFromWavfile(&lame, dir.File("s24.wav"), dir.File("o.mp3"), 192, {}));
    EXPECT_FALSE(EncFromWavfile(&lame, dir.File("s.wav"), dir.File("o.mp3"), 24, {}));
    EXPECT_EQ(test::ReadFileBytes(dir.File("o.mp3")), "old");
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 3u);
    // The whole file encodes into frames of 627 or 628 bytes at 192 kbps.
    ASSERT_TRUE(EncFromWavfile(&lame, dir.File("s.wav"), dir.File("o.mp3"), 192, {}));
    const int64_t size = FileSize64(dir.File("o.mp3"));
    EXPECT_GE(size, frames / 1152 * 626);
    EXPECT_LE(size, (frames / 1152 + 4) * 628);
}

} // namespace tarvok
