#include "core/wave_info.h"

#include "core/project.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvok {
namespace {

using test::Le16;
using test::Le32;
using test::PcmSpec;
using test::TempDir;
using test::WavChunk;
using test::WavSpec;
using test::WriteWav;

struct ModeCase {
    int32_t Mode;
    int32_t Channels;
    int32_t Bits;
    const char* Name;
};

constexpr ModeCase kModeCases[] = {
    { 0, 1, 8, "Mono8bit" },
    { 1, 2, 8, "Stereo8bit" },
    { 2, 1, 16, "Mono16bit" },
    { 3, 2, 16, "Stereo16bit" },
    { 4, 1, 24, "Mono24bit" },
    { 5, 2, 24, "Stereo24bit" },
    { 6, 6, 16, "Surround 5.1 16bit" },
    { 7, 8, 16, "Surround 7.1 16bit" },
    { 8, 6, 24, "Surround 5.1 24bit" },
    { 9, 8, 24, "Surround 7.1 24bit" },
};

TEST(WaveInfo, EveryFormatModeIsSummarised)
{
    TempDir dir;
    for (const ModeCase& c : kModeCases) {
        SCOPED_TRACE(c.Name);
        const int32_t blockAlign = c.Channels * c.Bits / 8;
        const int32_t frames = 22050 + 3;
        std::string path = dir.File(std::string("mode") + std::to_string(c.Mode) + ".wav");
        ASSERT_TRUE(WriteWav(
            path, PcmSpec(44100, c.Bits, c.Channels, std::string(frames * blockAlign, '\x01'))));

        WaveInfo info = ReadWaveInfo(path);
        EXPECT_EQ(info.Valid, 1);
        EXPECT_EQ(info.FormatMode, c.Mode);
        EXPECT_EQ(info.Channels, c.Channels);
        EXPECT_EQ(info.Bits, c.Bits);
        EXPECT_EQ(info.BlockAlign, blockAlign);
        EXPECT_EQ(info.SampleRate, 44100);
        EXPECT_EQ(info.Frames, frames);
        EXPECT_EQ(info.DataOffset, 44);
        EXPECT_EQ(info.DataSize, int64_t { frames } * blockAlign);
        EXPECT_EQ(info.FileSize, 44 + int64_t { frames } * blockAlign + (frames * blockAlign) % 2);
        EXPECT_EQ(info.LengthMs, 500); // 22053 / 44100 s = 500.07 ms
        EXPECT_EQ(info.FormatTag, 1);

        EXPECT_EQ(FormatName(c.Mode), c.Name);
        EXPECT_EQ(FormatModeOf(c.Channels, c.Bits), c.Mode);
        EXPECT_EQ(FormatModeOf(path), c.Mode);
        auto format = FormatBitsChannels(c.Mode);
        ASSERT_TRUE(format.has_value());
        EXPECT_EQ(format->Bits, c.Bits);
        EXPECT_EQ(format->Channels, c.Channels);
        EXPECT_TRUE(IsPcmWave(path, false));
    }
}

TEST(WaveInfo, UnknownModesAndCombinationsGiveDefaults)
{
    EXPECT_EQ(FormatModeOf(2, 12), 0);
    EXPECT_EQ(FormatModeOf(4, 16), 0);
    EXPECT_FALSE(FindFormatMode(2, 32).has_value());
    EXPECT_FALSE(FormatBitsChannels(10).has_value());
    EXPECT_FALSE(FormatBitsChannels(-1).has_value());
    EXPECT_EQ(FormatName(10), "");
    EXPECT_EQ(FormatName(-1), "");
}

TEST(WaveInfo, RateListIsInOfferOrder)
{
    const std::array<int32_t, 12> expected { 192000, 96000, 88200, 48000, 44100, 32000, 24000,
        22050, 16000, 12000, 11025, 8000 };
    EXPECT_EQ(kRateList, expected);
}

TEST(WaveInfo, OddChunkBeforeFmtIsSkippedWithItsPadByte)
{
    TempDir dir;
    WavSpec spec = PcmSpec(48000, 16, 2, std::string(400, '\0'));
    spec.Before = { { "LIST", std::string(7, 'x') }, { "junk", std::string(1, 'y') } };
    ASSERT_TRUE(WriteWav(dir.File("a.wav"), spec));
    WaveInfo info = ReadWaveInfo(dir.File("a.wav"));
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.DataOffset, 12 + (8 + 8) + (8 + 2) + 24 + 8);
    EXPECT_EQ(info.Frames, 100);
    EXPECT_EQ(FindChunk(dir.File("a.wav"), "junk"), 12 + 16);
    EXPECT_EQ(FindChunk(dir.File("a.wav"), "fmt "), 12 + 16 + 10);
}

TEST(WaveInfo, DataChunkBeforeFmtIsFound)
{
    TempDir dir;
    WavSpec spec = PcmSpec(22050, 16, 1, std::string(2000, '\x10'));
    spec.DataFirst = true;
    spec.Between = { { "fact", Le32(1000) } };
    spec.After = { { "LIST", "INFOtext" } };
    ASSERT_TRUE(WriteWav(dir.File("a.wav"), spec));
    WaveInfo info = ReadWaveInfo(dir.File("a.wav"));
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.DataOffset, 20);
    EXPECT_EQ(info.DataSize, 2000);
    EXPECT_EQ(info.Frames, 1000);
    EXPECT_EQ(info.FormatMode, 2);
    EXPECT_EQ(info.LengthMs, 45); // 1000 / 22050 s = 45.35 ms
    EXPECT_EQ(FindChunk(dir.File("a.wav"), "data"), 12);
    EXPECT_EQ(FindChunk(dir.File("a.wav"), "LIST"), 12 + 2008 + 12 + 24);
    EXPECT_EQ(FindChunk(dir.File("a.wav"), "cue "), -1);
}

TEST(WaveInfo, FirstOfRepeatedChunksCounts)
{
    TempDir dir;
    WavSpec spec = PcmSpec(44100, 16, 2, std::string(40, '\0'));
    spec.DataFirst = true;
    spec.Between = { { "data", std::string(8, '\0') } };
    spec.After = { { "fmt ", std::string(16, '\0') } };
    ASSERT_TRUE(WriteWav(dir.File("twice.wav"), spec));
    WaveInfo info = ReadWaveInfo(dir.File("twice.wav"));
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.DataOffset, 20);
    EXPECT_EQ(info.Frames, 10);
    EXPECT_EQ(FindChunk(dir.File("twice.wav"), "data") + 8, info.DataOffset);
}

TEST(WaveInfo, ExtensibleStereoIsModeThreeWithTagMinusTwo)
{
    TempDir dir;
    WavSpec spec = PcmSpec(44100, 16, 2, std::string(4 * 10, '\0'));
    spec.FormatTag = -2;
    spec.Extensible = true;
    ASSERT_TRUE(WriteWav(dir.File("ext.wav"), spec));
    WaveInfo info = ReadWaveInfo(dir.File("ext.wav"));
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.FormatMode, 3);
    EXPECT_EQ(info.FormatTag, -2);
    EXPECT_EQ(info.DataOffset, 12 + 48 + 8);
    EXPECT_FALSE(IsPcmWave(dir.File("ext.wav"), false));
    EXPECT_TRUE(IsPcmWave(dir.File("ext.wav"), true));
    EXPECT_EQ(WaveFileType(dir.File("ext.wav")), "wav"); // by extension
}

TEST(WaveInfo, UnsupportedFormatsAreInvalidWithTheirTag)
{
    struct Case {
        const char* Name;
        int32_t Tag;
        int32_t Bits;
        int32_t Channels;
    };
    const Case cases[] = {
        { "float32", 3, 32, 2 },
        { "pcm12", 1, 12, 2 },
        { "quad16", 1, 16, 4 },
        { "mp3", 85, 0, 2 },
        { "zero channels", 1, 16, 0 },
        { "zero bits", 1, 0, 1 },
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WavSpec spec = PcmSpec(44100, c.Bits, c.Channels, std::string(64, '\0'));
        spec.FormatTag = c.Tag;
        ASSERT_TRUE(WriteWav(dir.File("x.wav"), spec));
        WaveInfo info = ReadWaveInfo(dir.File("x.wav"));
        EXPECT_EQ(info.Valid, 0);
        EXPECT_EQ(info.FormatTag, c.Tag);
        EXPECT_EQ(info.Frames, 0);
        EXPECT_FALSE(IsPcmWave(dir.File("x.wav"), true));
        EXPECT_EQ(FormatModeOf(dir.File("x.wav")), 0);
    }
}

TEST(WaveInfo, ZeroSampleRateIsInvalid)
{
    TempDir dir;
    ASSERT_TRUE(WriteWav(dir.File("x.wav"), PcmSpec(0, 16, 2, std::string(64, '\0'))));
    WaveInfo info = ReadWaveInfo(dir.File("x.wav"));
    EXPECT_EQ(info.Valid, 0);
    EXPECT_EQ(info.FormatTag, 1);
}

TEST(WaveInfo, DataSizeWithTopBitSetIsUnsignedAndFramesAreCapped)
{
    TempDir dir;
    WavSpec spec = PcmSpec(44100, 16, 2, std::string(16, '\0'));
    spec.DataSizeField = 0x80000010u;
    ASSERT_TRUE(WriteWav(dir.File("big.wav"), spec));
    WaveInfo info = ReadWaveInfo(dir.File("big.wav"));
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.DataSize, int64_t { 0x80000010 });
    EXPECT_EQ(info.Frames, 0x80000010 / 4);
    EXPECT_EQ(info.FileSize, 44 + 16);

    spec = PcmSpec(8000, 8, 1, std::string(16, '\0'));
    spec.DataSizeField = 0xFFFFFFFFu;
    ASSERT_TRUE(WriteWav(dir.File("huge.wav"), spec));
    info = ReadWaveInfo(dir.File("huge.wav"));
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.DataSize, int64_t { 0xFFFFFFFF });
    EXPECT_EQ(info.Frames, 2147483647);
    EXPECT_EQ(info.LengthMs, 268435456); // 2147483647 / 8000 s = 268435455.875 ms
}

TEST(WaveInfo, LengthOfAVeryLongFileAtALowRateSaturates)
{
    TempDir dir;
    WavSpec spec = PcmSpec(1, 8, 1, std::string(16, '\0'));
    spec.DataSizeField = 0xFFFFFFFFu;
    ASSERT_TRUE(WriteWav(dir.File("slow.wav"), spec));
    WaveInfo info = ReadWaveInfo(dir.File("slow.wav"));
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.LengthMs, 2147483647);
}

TEST(WaveInfo, HostileFilesGiveInvalidWithoutReadingPastTheEnd)
{
    std::string good = test::MakeWav(PcmSpec(44100, 16, 2, std::string(8, '\0')));
    std::string hugeList
        = "RIFF" + Le32(100) + "WAVE" + "LIST" + Le32(0xFFFFFFFFu) + good.substr(12);
    std::string oddEnd = "RIFF" + Le32(100) + "WAVE" + "LIST" + Le32(0xFFFFFFFEu);
    std::string zeroChunks = "RIFF" + Le32(100) + "WAVE" + std::string(4000, '\0');
    struct Case {
        const char* Name;
        std::string Bytes;
    };
    const Case cases[] = {
        { "empty", "" },
        { "riff only", "RIFF" },
        { "header only", good.substr(0, 12) },
        { "fmt id only", good.substr(0, 16) },
        { "fmt size only", good.substr(0, 20) },
        { "fmt body cut", good.substr(0, 30) },
        { "data id without size", good.substr(0, 40) },
        { "data size cut", good.substr(0, 42) },
        { "chunk size past the end", hugeList },
        { "chunk at the very end", oddEnd },
        { "zero-size chunks", zeroChunks },
        { "text", "hello, this is not a wave file at all\n" },
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(test::WriteFileBytes(dir.File("h.wav"), c.Bytes));
        WaveInfo info = ReadWaveInfo(dir.File("h.wav"));
        EXPECT_EQ(info.Valid, 0);
        EXPECT_EQ(info.Frames, 0);
        EXPECT_EQ(FindChunk(dir.File("h.wav"), "smpl"), -1);
    }
}

TEST(WaveInfo, DataBeforeFmtWithFmtCutIsInvalidButKeepsTheDataOffset)
{
    TempDir dir;
    WavSpec spec = PcmSpec(44100, 16, 2, std::string(8, '\0'));
    spec.DataFirst = true;
    std::string bytes = test::MakeWav(spec);
    bytes.resize(bytes.size() - 10);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("cut.wav"), bytes));
    WaveInfo info = ReadWaveInfo(dir.File("cut.wav"));
    EXPECT_EQ(info.Valid, 0);
    EXPECT_EQ(info.DataOffset, 20);
    EXPECT_EQ(info.DataSize, 8);
}

TEST(WaveInfo, MissingFoldersAndSpecialFilesAreInvalid)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("folder.wav"));
    ASSERT_EQ(::mkfifo(dir.File("fifo.wav").c_str(), 0600), 0);
    for (std::string path : { dir.File("missing.wav"), dir.File("folder.wav"), dir.File("fifo.wav"),
             std::string(), std::string("   ") }) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ReadWaveInfo(path), WaveInfo {});
        EXPECT_EQ(FindChunk(path, "data"), -1);
        EXPECT_FALSE(IsPcmWave(path, true));
    }
}

TEST(WaveInfo, UnreadableFileIsInvalid)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not apply to root";
    TempDir dir;
    ASSERT_TRUE(WriteWav(dir.File("locked.wav"), PcmSpec(44100, 16, 2, std::string(8, '\0'))));
    ASSERT_EQ(::chmod(dir.File("locked.wav").c_str(), 0), 0);
    EXPECT_EQ(ReadWaveInfo(dir.File("locked.wav")).Valid, 0);
}

TEST(WaveInfo, FileTypeFollowsTheFormatTagElseTheExtension)
{
    struct Case {
        int32_t Tag;
        const char* Name;
        const char* Type;
    };
    const Case cases[] = {
        { 1, "a.WAV", "wav" },
        { 1, "pcm12.bin", "wav" },
        { 80, "b.wav", "mp2" },
        { 85, "c.wav", "mp3" },
        { 352, "d.wav", "wmariff" },
        { 353, "e.wav", "wmariff" },
        { 3, "f.Wave", "wave" },
        { 2, "noext", "" },
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WavSpec spec
            = PcmSpec(44100, c.Tag == 1 && std::string(c.Name) == "pcm12.bin" ? 12 : 16, 2);
        spec.FormatTag = c.Tag;
        ASSERT_TRUE(WriteWav(dir.File(c.Name), spec));
        EXPECT_EQ(WaveFileType(dir.File(c.Name)), c.Type);
    }
    ASSERT_TRUE(test::WriteFileBytes(dir.File("song.Mp3"), "ID3\x03\x00 not a riff file"));
    EXPECT_EQ(WaveFileType(dir.File("song.Mp3")), "mp3");
    EXPECT_EQ(WaveFileType(dir.File("dir.d/missing")), "");
}

TEST(WaveInfo, StereoHeaderIsFortyFourBytes)
{
    TempDir dir;
    std::string path = dir.File("h.wav");
    ASSERT_TRUE(test::WriteFileBytes(path, std::string(1000, 'z')));
    auto handle = WriteWaveHeader(44100, 16, 2, path, 1000, false);
    ASSERT_TRUE(handle.has_value());
    EXPECT_FALSE(handle->IsOpen());
    std::string expected = "RIFF" + Le32(1036) + "WAVE" + "fmt " + Le32(16) + Le16(1) + Le16(2)
        + Le32(44100) + Le32(176400) + Le16(4) + Le16(16) + "data" + Le32(1000);
    EXPECT_EQ(test::ReadFileBytes(path), expected);
}

TEST(WaveInfo, SurroundHeadersAreSixtyEightBytesInTheExtensibleForm)
{
    struct Case {
        int32_t Channels;
        int32_t Bits;
        uint32_t Mask;
        int32_t Mode;
    };
    const Case cases[] = { { 6, 16, 0x3F, 6 }, { 8, 24, 0xFF, 9 } };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Channels);
        std::string path = dir.File("s.wav");
        const uint32_t align = static_cast<uint32_t>(c.Channels * c.Bits / 8);
        ASSERT_TRUE(WriteWaveHeader(48000, c.Bits, c.Channels, path, 0, false).has_value());
        std::string expected = "RIFF" + Le32(60) + "WAVE" + "fmt " + Le32(40) + Le16(0xFFFE)
            + Le16(c.Channels) + Le32(48000) + Le32(48000 * align) + Le16(align) + Le16(c.Bits)
            + Le16(22) + Le16(c.Bits) + Le32(c.Mask)
            + std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16)
            + "data" + Le32(0);
        EXPECT_EQ(test::ReadFileBytes(path), expected);
        WaveInfo info = ReadWaveInfo(path);
        EXPECT_EQ(info.Valid, 1);
        EXPECT_EQ(info.FormatMode, c.Mode);
        EXPECT_EQ(info.FormatTag, -2);
        EXPECT_EQ(info.DataOffset, 68);
        EXPECT_EQ(info.Frames, 0);
    }
}

TEST(WaveInfo, KeptOpenHeaderIsFollowedByAppendedDataAndFixedSizes)
{
    TempDir dir;
    std::string path = dir.File("rec.wav");
    auto handle = WriteWaveHeader(44100, 16, 2, path, 0, true);
    ASSERT_TRUE(handle.has_value());
    ASSERT_TRUE(handle->IsOpen());
    std::string samples = test::Stereo16(
        300, [](int64_t f) { return f; }, [](int64_t f) { return -f; });
    FileHandle file = WriteBytesKeep(samples.data(), 600, -1, std::move(*handle), path);
    file = WriteBytesKeep(samples.data() + 600, 600, -1, std::move(file), path);
    ASSERT_TRUE(file.IsOpen());
    std::string tail = test::ChunkBytes({ "LIST", "INFOxx" });
    file
        = WriteBytesKeep(tail.data(), static_cast<int64_t>(tail.size()), -1, std::move(file), path);
    ASSERT_TRUE(FixWaveSizes(path, static_cast<int64_t>(tail.size()), false, &file));
    EXPECT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Close());

    std::string bytes = test::ReadFileBytes(path);
    EXPECT_EQ(bytes.substr(4, 4), Le32(static_cast<uint32_t>(bytes.size() - 8)));
    EXPECT_EQ(bytes.substr(40, 4), Le32(1200));
    EXPECT_EQ(bytes.substr(44, 1200), samples);
    WaveInfo info = ReadWaveInfo(path);
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.Frames, 300);
}

TEST(WaveInfo, FixWaveSizesRiffOnlyLeavesTheDataSize)
{
    TempDir dir;
    std::string path = dir.File("a.wav");
    ASSERT_TRUE(WriteWaveHeader(44100, 16, 2, path, 0, false).has_value());
    std::string more(400, '\x05');
    ASSERT_TRUE(WriteBytes(more.data(), 400, -1, path, 0, 0));
    ASSERT_TRUE(FixWaveSizes(path, 0, true));
    std::string bytes = test::ReadFileBytes(path);
    EXPECT_EQ(bytes.substr(4, 4), Le32(436));
    EXPECT_EQ(bytes.substr(40, 4), Le32(0));
    ASSERT_TRUE(FixWaveSizes(path, 0, false));
    EXPECT_EQ(ReadWaveInfo(path).DataSize, 400);
}

TEST(WaveInfo, FixWaveSizesRefusesShortFilesAndImpossibleTrailers)
{
    TempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("short.wav"), std::string(43, 'R')));
    EXPECT_FALSE(FixWaveSizes(dir.File("short.wav"), 0, false));
    EXPECT_EQ(test::ReadFileBytes(dir.File("short.wav")), std::string(43, 'R'));
    EXPECT_FALSE(FixWaveSizes(dir.File("missing.wav"), 0, false));
    EXPECT_FALSE(FileExists(dir.File("missing.wav")));

    ASSERT_TRUE(WriteWaveHeader(44100, 16, 2, dir.File("a.wav"), 0, false).has_value());
    EXPECT_FALSE(FixWaveSizes(dir.File("a.wav"), 10, false));
    EXPECT_EQ(ReadWaveInfo(dir.File("a.wav")).DataSize, 0);
}

TEST(WaveInfo, SetWaveDataSizeCutsTheFileAndPadsOddSizes)
{
    TempDir dir;
    std::string path = dir.File("a.wav");
    WavSpec spec = PcmSpec(8000, 8, 1, std::string(100, '\x7F'));
    spec.After = { { "LIST", "INFOabcd" } };
    ASSERT_TRUE(WriteWav(path, spec));

    ASSERT_TRUE(SetWaveDataSize(path, 51));
    std::string bytes = test::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 44u + 52u);
    EXPECT_EQ(bytes.substr(4, 4), Le32(36 + 52));
    EXPECT_EQ(bytes.substr(40, 4), Le32(51));
    EXPECT_EQ(bytes.back(), '\0');
    EXPECT_EQ(ReadWaveInfo(path).Frames, 51);

    FileHandle file = OpenFile(path, OpenMode::Update);
    ASSERT_TRUE(SetWaveDataSize(path, 10, &file));
    EXPECT_EQ(FileSize64(file), 54);
    EXPECT_TRUE(file.IsOpen());

    ASSERT_TRUE(SetWaveDataSize(path, 200));
    EXPECT_EQ(FileSize64(path), 244);
    EXPECT_EQ(ReadWaveInfo(path).Frames, 200);

    EXPECT_FALSE(SetWaveDataSize(path, 4294967251));
    EXPECT_FALSE(SetWaveDataSize(path, -1));
    spec.OmitData = true;
    ASSERT_TRUE(WriteWav(dir.File("nodata.wav"), spec));
    EXPECT_FALSE(SetWaveDataSize(dir.File("nodata.wav"), 4));
}

TEST(WaveInfo, WriteWaveHeaderRejectsFormatsThatDoNotFit)
{
    TempDir dir;
    struct Case {
        const char* Name;
        int32_t Rate, Bits, Channels;
        int64_t Size;
    };
    const Case cases[] = {
        { "zero rate", 0, 16, 2, 0 },
        { "zero channels", 44100, 16, 0, 0 },
        { "zero bits", 44100, 0, 2, 0 },
        { "negative size", 44100, 16, 2, -1 },
        { "size past 4 GB", 44100, 16, 2, 4294967295 - 35 },
        { "surround size past 4 GB", 44100, 16, 6, 4294967295 - 59 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_FALSE(WriteWaveHeader(c.Rate, c.Bits, c.Channels, dir.File("x.wav"), c.Size, false));
    }
    EXPECT_TRUE(WriteWaveHeader(44100, 16, 2, dir.File("x.wav"), 4294967295 - 36, false));
    EXPECT_EQ(ReadWaveInfo(dir.File("x.wav")).DataSize, 4294967295 - 36);
    std::filesystem::create_directory(dir.File("folder"));
    EXPECT_FALSE(WriteWaveHeader(44100, 16, 2, dir.File("folder"), 0, false));
}

TEST(WaveInfo, TwentyFourBitSamplesRoundTrip)
{
    const uint8_t packed[]
        = { 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00 };
    int32_t values[4];
    Unpack24(packed, values, 4);
    EXPECT_EQ(values[0], 8388607);
    EXPECT_EQ(values[1], -8388608);
    EXPECT_EQ(values[2], -1);
    EXPECT_EQ(values[3], 1);
    uint8_t repacked[12];
    Pack24(values, repacked, 4);
    EXPECT_EQ(std::memcmp(packed, repacked, 12), 0);

    const int32_t wide[] = { 9000000, -9000000 };
    uint8_t clamped[6];
    Pack24(wide, clamped, 2);
    Unpack24(clamped, values, 2);
    EXPECT_EQ(values[0], 8388607);
    EXPECT_EQ(values[1], -8388608);

    struct Case {
        double Value, Factor;
        int32_t Expected;
    };
    const Case cases[] = { { 5, 0.5, 2 }, { 7, 0.5, 4 }, { -5, 0.5, -2 }, { 100, 0.333, 33 },
        { 8388607, 2.0, 8388607 }, { -8388608, 2.0, -8388608 }, { 1, NAN, 0 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Value * c.Factor);
        uint8_t one[3];
        ScalePack24(c.Value, c.Factor, one);
        EXPECT_EQ(Read24(one), c.Expected);
    }
}

TEST(WaveInfo, ProjectAddsOnlyValidWaveFiles)
{
    TempDir dir;
    ASSERT_TRUE(WriteWav(dir.File("ok.wav"), PcmSpec(44100, 16, 2, std::string(4 * 650, '\0'))));
    WavSpec bad = PcmSpec(44100, 32, 2, std::string(64, '\0'));
    bad.FormatTag = 3;
    ASSERT_TRUE(WriteWav(dir.File("float.wav"), bad));

    Project project;
    EXPECT_EQ(project.AddWaveFile(dir.File("float.wav")), -1);
    EXPECT_EQ(project.AddWaveFile(dir.File("missing.wav")), -1);
    int32_t index = project.AddWaveFile(dir.File("ok.wav"));
    ASSERT_EQ(index, 0);
    EXPECT_EQ(project.WaveFiles[0].DataOffset, 44);
    EXPECT_EQ(project.WaveFiles[0].Length, 650);
    EXPECT_EQ(project.WaveFiles[0].PeakCount, 650 / 64 + 1);
    EXPECT_EQ(project.Peaks[0].size(), size_t { 2 * 11 });
}

/// Runs sox with the given arguments; true when it succeeded.
bool RunSox(const std::string& pArgs)
{
    std::string command = "sox " + pArgs + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST(WaveInfo, FilesWrittenBySoxAreRead)
{
    if (!test::HaveSox())
        GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    struct Case {
        const char* Name;
        std::string Args;
        int32_t Valid, Mode, Tag, Rate, Frames;
    };
    const Case cases[] = {
        { "stereo 16", "-r 48000 -c 2 -b 16", 1, 3, 1, 48000, 24000 },
        { "mono 8", "-r 8000 -c 1 -b 8", 1, 0, 1, 8000, 4000 },
        { "mono 24", "-r 22050 -c 1 -b 24", 1, 4, -2, 22050, 11025 },
        { "5.1 16", "-r 44100 -c 6 -b 16", 1, 6, -2, 44100, 22050 },
        { "float", "-r 44100 -c 2 -e floating-point -b 32", 0, 0, 3, 44100, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string path = dir.File("sox.wav");
        ASSERT_TRUE(RunSox("-n " + c.Args + " " + path + " synth 0.5 sine 440 vol 0.5"));
        WaveInfo info = ReadWaveInfo(path);
        EXPECT_EQ(info.Valid, c.Valid);
        EXPECT_EQ(info.FormatTag, c.Tag);
        if (c.Valid == 1) {
            EXPECT_EQ(info.FormatMode, c.Mode);
            EXPECT_EQ(info.SampleRate, c.Rate);
            EXPECT_EQ(info.Frames, c.Frames);
            const int64_t rest = info.FileSize - (info.DataOffset + info.DataSize);
            EXPECT_TRUE(rest == 0 || rest == 1) << rest; // a pad byte after odd data
            EXPECT_EQ(FindChunk(path, "data") + 8, info.DataOffset);
        }
    }
}

TEST(WaveInfo, OnlyIntegerPcmFormatTagsAndSubFormatsAreValid)
{
    struct Case {
        const char* Name;
        int32_t Tag;
        bool Extensible;
        std::optional<std::string> Guid;
        int32_t SubFormat;
        bool Valid;
    };
    const std::string zeroGuid(16, '\0');
    const Case cases[] = {
        { "unknown 0", 0, false, std::nullopt, 0, false },
        { "ADPCM", 2, false, std::nullopt, 0, false },
        { "IMA ADPCM", 0x11, false, std::nullopt, 0, false },
        { "MP3", 0x55, false, std::nullopt, 0, false },
        { "unassigned", 0x1234, false, std::nullopt, 0, false },
        { "extensible, zero GUID", -2, true, zeroGuid, 0, false },
        { "extensible, float GUID", -2, true, std::nullopt, 3, false },
        { "extensible, PCM GUID", -2, true, std::nullopt, 1, true },
        { "PCM", 1, false, std::nullopt, 0, true },
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WavSpec spec = PcmSpec(44100, 16, 2, std::string(64, '\0'));
        spec.FormatTag = c.Tag;
        spec.Extensible = c.Extensible;
        spec.SubFormatGuid = c.Guid;
        spec.SubFormatTag = c.Guid ? 0 : c.SubFormat;
        ASSERT_TRUE(WriteWav(dir.File("x.wav"), spec));
        const WaveExamination exam = ExamineWave(dir.File("x.wav"));
        EXPECT_EQ(exam.Info.Valid, c.Valid ? 1 : 0);
        EXPECT_EQ(exam.Fault, c.Valid ? WaveFault::None : WaveFault::NotPcm);
        EXPECT_EQ(exam.Info.FormatTag, c.Tag);
        EXPECT_EQ(exam.SubFormatTag, c.SubFormat);
        EXPECT_EQ(ReadWaveInfo(dir.File("x.wav")), exam.Info);
        EXPECT_EQ(IsPcmWave(dir.File("x.wav"), true), c.Valid);
    }
}

TEST(WaveInfo, AFmtChunkShorterThanItsFieldsIsNeverReadPast)
{
    // The bytes after a short chunk belong to the next chunk and must not be taken for
    // channels, rate or bits.
    struct Case {
        size_t Bytes;
        bool Extensible;
    };
    const Case cases[]
        = { { 0, false }, { 2, false }, { 14, false }, { 16, true }, { 24, true }, { 39, true } };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Bytes);
        WavSpec spec = PcmSpec(44100, 16, 2, std::string(400, '\x63'));
        spec.FormatTag = c.Extensible ? -2 : 1;
        spec.Extensible = c.Extensible;
        spec.FmtBytes = c.Bytes;
        ASSERT_TRUE(WriteWav(dir.File("x.wav"), spec));
        const WaveExamination exam = ExamineWave(dir.File("x.wav"));
        EXPECT_EQ(exam.Info.Valid, 0);
        EXPECT_EQ(exam.Fault, WaveFault::FmtTooShort);
        EXPECT_EQ(exam.FmtSize, static_cast<int64_t>(c.Bytes));
        if (!c.Extensible) {
            EXPECT_EQ(exam.Info.Channels, 0);
            EXPECT_EQ(exam.Info.Bits, 0);
            EXPECT_EQ(exam.Info.SampleRate, 0);
        }
        EXPECT_EQ(exam.SubFormatTag, 0);
    }
}

TEST(WaveInfo, RifxIsRefusedAndRf64IsSummarisedFromItsDs64Chunk)
{
    TempDir dir;
    WavSpec spec = PcmSpec(48000, 16, 2, test::Samples16({ 1, 2, 3, 4, 5, 6, 7, 8 }));
    spec.BigEndian = true;
    ASSERT_TRUE(WriteWav(dir.File("rifx.wav"), spec));
    const WaveExamination rifx = ExamineWave(dir.File("rifx.wav"));
    EXPECT_EQ(rifx.Container, WaveContainer::BigEndian);
    EXPECT_EQ(rifx.Fault, WaveFault::BigEndian);
    EXPECT_EQ(rifx.Info.Valid, 0);

    spec.BigEndian = false;
    spec.Rf64 = true;
    ASSERT_TRUE(WriteWav(dir.File("rf64.wav"), spec));
    const WaveExamination rf64 = ExamineWave(dir.File("rf64.wav"));
    EXPECT_EQ(rf64.Container, WaveContainer::Rf64);
    EXPECT_EQ(rf64.Fault, WaveFault::Rf64);
    EXPECT_EQ(rf64.Info.Valid, 0); // the WAV layer never patches 32-bit sizes into it
    EXPECT_EQ(rf64.Info.SampleRate, 48000);
    EXPECT_EQ(rf64.Info.Channels, 2);
    EXPECT_EQ(rf64.Info.Bits, 16);
    EXPECT_EQ(rf64.Info.DataSize, 16);
    EXPECT_EQ(rf64.Info.Frames, 4);
    EXPECT_EQ(rf64.Info.DataOffset, 12 + 36 + 24 + 8);
    EXPECT_EQ(rf64.Info.FileSize, 12 + 36 + 24 + 8 + 16);
}

} // namespace
} // namespace tarvok
