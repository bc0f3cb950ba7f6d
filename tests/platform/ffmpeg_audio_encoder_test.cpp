#include "platform/ffmpeg/ffmpeg_audio_encoder.h"

#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/wave_info.h"
#include "decode/decode_audio.h"
#include "platform/ffmpeg/ffmpeg_media_backend.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

namespace tarvok {
namespace {

using test::TempDir;

std::vector<int16_t> Samples(const std::string& pPath)
{
    WaveInfo info = ReadWaveInfo(pPath);
    std::string bytes = test::ReadFileBytes(pPath).substr(
        static_cast<size_t>(info.DataOffset), static_cast<size_t>(info.DataSize));
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

/// Decodes pPath through the import's own decode path into a 16-bit WAV file.
std::string DecodeBack(const TempDir& pDir, const std::string& pPath)
{
    FfmpegMediaBackend backend;
    HeadlessUi ui;
    DecodeEnvironment env;
    env.DataFolder = pDir.Path();
    bool cancel = false;
    const std::string target = pDir.File("decoded.wav");
    EXPECT_TRUE(DecodeSoundFile(pPath, target, backend, env, ui, cancel));
    return target;
}

std::string Tone(const TempDir& pDir, int32_t pRate, int64_t pFrames)
{
    const std::string path = pDir.File("tone.wav");
    EXPECT_TRUE(test::WriteWav(path,
        test::PcmSpec(pRate, 16, 2,
            test::Stereo16(
                pFrames, [](int64_t i) { return static_cast<int>(std::sin(i * 0.03) * 9000); },
                [](int64_t i) { return static_cast<int>(i % 300) * 40 - 6000; }))));
    return path;
}

bool NoPartFiles(const TempDir& pDir)
{
    for (const auto& e : std::filesystem::directory_iterator(pDir.Path()))
        if (e.path().filename().string().find(".part") != std::string::npos)
            return false;
    return true;
}

TEST(FfmpegAudioEncoder, FlacIsLosslessAndReplacesTheTargetOnlyWhenComplete)
{
    FfmpegAudioEncoder encoder;
    if (!encoder.Available(AudioCodec::Flac))
        GTEST_SKIP() << "no FLAC encoder in FFmpeg";
    TempDir dir;
    const std::string source = Tone(dir, 44100, 30000);
    const std::string target = dir.File("out.flac");
    ASSERT_TRUE(test::WriteFileBytes(target, "old"));
    Status done = EncodeFileInPlace(encoder, AudioCodec::Flac, 0, source, target, {});
    ASSERT_TRUE(done) << done.error().Message;
    EXPECT_EQ(test::ReadFileBytes(target).substr(0, 4), "fLaC");
    EXPECT_EQ(Samples(DecodeBack(dir, target)), Samples(source));
    EXPECT_TRUE(NoPartFiles(dir));
}

TEST(FfmpegAudioEncoder, OpusGivesAnOggOpusFileOfTheSameLength)
{
    FfmpegAudioEncoder encoder;
    if (!encoder.Available(AudioCodec::Opus))
        GTEST_SKIP() << "no Opus encoder in FFmpeg";
    TempDir dir;
    const std::string source = Tone(dir, 48000, 48000);
    const std::string target = dir.File("out.opus");
    Status done = EncodeFileInPlace(encoder, AudioCodec::Opus, 96, source, target, {});
    ASSERT_TRUE(done) << done.error().Message;
    const std::string bytes = test::ReadFileBytes(target);
    EXPECT_EQ(bytes.substr(0, 4), "OggS");
    EXPECT_NE(bytes.find("OpusHead"), std::string::npos);
    const std::string decoded = DecodeBack(dir, target);
    const WaveInfo info = ReadWaveInfo(decoded);
    EXPECT_NEAR(info.Frames, 48000, 960);
    // A rate Opus does not carry is refused before anything is written.
    const std::string odd = Tone(dir, 44100, 4410);
    Status refused = EncodeFileInPlace(encoder, AudioCodec::Opus, 96, odd, dir.File("x.opus"), {});
    ASSERT_FALSE(refused);
    EXPECT_FALSE(FileExists(dir.File("x.opus")));
    EXPECT_TRUE(NoPartFiles(dir));
}

TEST(FfmpegAudioEncoder, AFullDiskOrACancelLeavesTheOldTargetAndNoPartialFile)
{
    FfmpegAudioEncoder encoder;
    if (!encoder.Available(AudioCodec::Flac))
        GTEST_SKIP() << "no FLAC encoder in FFmpeg";
    TempDir dir;
    const std::string source = Tone(dir, 44100, 200000);
    const std::string target = dir.File("out.flac");
    ASSERT_TRUE(test::WriteFileBytes(target, "old"));
    for (int64_t n : { 1, 2 }) {
        SCOPED_TRACE(n);
        ArmFault(FaultPoint::Write, n, FaultKind::NoSpace);
        Status done = EncodeFileInPlace(encoder, AudioCodec::Flac, 0, source, target, {});
        const bool fired = FaultFired();
        ClearFaults();
        ASSERT_TRUE(fired);
        ASSERT_FALSE(done);
        EXPECT_EQ(done.error().Message, "ディスクの空き容量が足りません");
        EXPECT_EQ(test::ReadFileBytes(target), "old");
        EXPECT_TRUE(NoPartFiles(dir));
    }
    int calls = 0;
    Status cancelled = EncodeFileInPlace(encoder, AudioCodec::Flac, 0, source, target,
        [&](double, std::string_view) { return ++calls != 3; });
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.error().Code, ErrorCode::Cancelled);
    EXPECT_EQ(test::ReadFileBytes(target), "old");
    EXPECT_TRUE(NoPartFiles(dir));
}

} // namespace
} // namespace tarvok
