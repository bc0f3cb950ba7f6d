#include "render/conv_wave.h"

#include "base/numeric.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/wave_info.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <random>

namespace tarvok {

namespace {

using Frame = std::array<int32_t, 2>;

/// The bytes of a WAV file's data chunk as its header describes it.
std::string DataBytes(const std::string& pPath)
{
    WaveInfo info = ReadWaveInfo(pPath);
    std::string bytes = test::ReadFileBytes(pPath);
    if (info.Valid == 0 || static_cast<int64_t>(bytes.size()) < info.DataOffset + info.DataSize)
        return {};
    return bytes.substr(static_cast<size_t>(info.DataOffset), static_cast<size_t>(info.DataSize));
}

std::vector<int32_t> Samples16Of(const std::string& pPath)
{
    std::string bytes = DataBytes(pPath);
    std::vector<int32_t> out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<int16_t>(static_cast<uint16_t>(
            static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8))));
    return out;
}

std::vector<int32_t> Samples24Of(const std::string& pPath)
{
    std::string bytes = DataBytes(pPath);
    std::vector<int32_t> out;
    for (size_t i = 0; i + 2 < bytes.size(); i += 3)
        out.push_back(Read24(reinterpret_cast<const uint8_t*>(bytes.data() + i)));
    return out;
}

std::vector<int32_t> Samples8Of(const std::string& pPath)
{
    std::string bytes = DataBytes(pPath);
    std::vector<int32_t> out;
    for (char c : bytes)
        out.push_back(static_cast<uint8_t>(c));
    return out;
}

/// An independent reading of the conversion's arithmetic on working-scale stereo frames:
/// 5-second chunks, up to 100 look-ahead frames, indices limited to the frames read.
std::vector<Frame> ReferenceConvert(
    const std::vector<Frame>& pX, int32_t pSrcRate, int32_t pDstRate, bool pInterpolate)
{
    const double d = static_cast<double>(pSrcRate) / pDstRate;
    const auto n = static_cast<int64_t>(pX.size());
    const int64_t chunk = 5LL * pSrcRate;
    std::vector<Frame> out;
    for (int64_t pos = 0; pos < n; pos += chunk) {
        const int64_t length = std::min(chunk, n - pos);
        const int64_t lookAhead = std::min<int64_t>(100, n - pos - length);
        const int64_t u = RoundHalfEven(static_cast<double>(length) / d);
        if (u == 0)
            break;
        for (int64_t i = 0; i < u; ++i) {
            Frame y {};
            for (int s = 0; s < 2; ++s) {
                auto x = [&](int64_t k) {
                    return static_cast<double>(pX[pos + std::min(k, length + lookAhead - 1)][s]);
                };
                const double at = static_cast<double>(i) * d;
                const auto k = static_cast<int64_t>(std::floor(at));
                const float f = static_cast<float>(at - static_cast<double>(k));
                const float g = 1.0f - f;
                if (!pInterpolate || pSrcRate == pDstRate) {
                    y[s] = static_cast<int32_t>(x(RoundHalfEven(at)));
                } else if (pDstRate > pSrcRate) {
                    y[s] = static_cast<int32_t>(RoundHalfEven(x(k + 1) * f + x(k) * g));
                } else {
                    const int64_t m = static_cast<int64_t>(d) - 1;
                    const int64_t big = k + m + 1;
                    double sum = static_cast<double>(RoundHalfEven(x(big) * f + x(k) * g));
                    for (int64_t j = k + 1; j < big; ++j)
                        sum += x(j);
                    y[s] = static_cast<int32_t>(RoundHalfEven(sum / static_cast<double>(m + 1)));
                }
            }
            out.push_back(y);
        }
    }
    return out;
}

/// Random 16-bit stereo frames (and the same on the working scale).
std::vector<Frame> RandomFrames16(int64_t pFrames, uint32_t pSeed, std::string& pBytes)
{
    std::mt19937 random(pSeed);
    std::uniform_int_distribution<int32_t> value(-32768, 32767);
    std::vector<int16_t> samples;
    std::vector<Frame> frames;
    for (int64_t f = 0; f < pFrames; ++f) {
        int32_t l = value(random);
        int32_t r = value(random);
        samples.push_back(static_cast<int16_t>(l));
        samples.push_back(static_cast<int16_t>(r));
        frames.push_back({ l * 256, r * 256 });
    }
    pBytes = test::Samples16(samples);
    return frames;
}

struct ConvFixture {
    test::TempDir Dir;
    std::string Source = Dir.File("source.wav");
    std::string Target = Dir.File("target.wav");

    bool Convert(int32_t pFreq, int32_t pBit, int32_t pCh, int32_t pFlg = 1)
    {
        C_ConvWave cw;
        return cw.ConvWave(Source, Target, pFreq, pBit, pCh, pFlg, false);
    }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Dir.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST(ConvWave, FullChunksOf44100To48000GiveExactly240000Frames)
{
    ConvFixture f;
    const int64_t frames = 2 * 220500 + 1000;
    ASSERT_TRUE(test::WriteWav(f.Source,
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                frames, [](int64_t i) { return i % 1000; }, [](int64_t) { return 7; }))));
    ASSERT_TRUE(f.Convert(48000, 16, 2));
    WaveInfo info = ReadWaveInfo(f.Target);
    ASSERT_EQ(info.Valid, 1);
    EXPECT_EQ(info.SampleRate, 48000);
    EXPECT_EQ(info.FormatMode, 3);
    // 1000 / (44100 / 48000) = 1088.4 rounds to 1088.
    EXPECT_EQ(info.Frames, 240000 + 240000 + 1088);
    EXPECT_EQ(info.FileSize, 44 + info.DataSize);
    std::vector<int32_t> out = Samples16Of(f.Target);
    // Every chunk starts at phase 0: output frame 240000 is source frame 220500 exactly.
    EXPECT_EQ(out[2 * 240000], 220500 % 1000);
    EXPECT_EQ(out[2 * 240000 + 1], 7);
}

TEST(ConvWave, MatchesAnIndependentReferenceForManyRatios)
{
    struct Case {
        int32_t Src, Dst;
        int64_t Frames;
        int32_t Flg;
    };
    const Case kCases[] = {
        { 3, 4, 47, 1 }, // 15-frame chunks: boundaries and a short last chunk
        { 4, 3, 43, 1 }, // 1 < d < 2: linear interpolation
        { 5, 2, 61, 1 }, // d = 2.5: one inner frame plus an interpolated outer one
        { 7, 2, 80, 1 }, // d = 3.5
        { 4, 2, 41, 1 }, // d = 2: pair average
        { 1000, 7, 12000, 1 }, // d > 100: reads beyond the look-ahead are limited
        { 44100, 48000, 230000, 1 },
        { 48000, 44100, 250000, 1 },
        { 8000, 192000, 9000, 1 },
        { 44100, 48000, 230000, 0 },
        { 48000, 22050, 250000, 0 },
        { 44100, 44100, 1000, 1 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::to_string(c.Src) + " -> " + std::to_string(c.Dst) + " flg "
            + std::to_string(c.Flg));
        ConvFixture f;
        std::string bytes;
        std::vector<Frame> x
            = RandomFrames16(c.Frames, static_cast<uint32_t>(c.Src + c.Dst), bytes);
        ASSERT_TRUE(test::WriteWav(f.Source, test::PcmSpec(c.Src, 16, 2, bytes)));
        // 24-bit output shows the working-scale values themselves.
        ASSERT_TRUE(f.Convert(c.Dst, 24, 2, c.Flg));
        std::vector<Frame> expected = ReferenceConvert(x, c.Src, c.Dst, c.Flg != 0);
        std::vector<int32_t> got = Samples24Of(f.Target);
        ASSERT_EQ(got.size(), expected.size() * 2);
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(got[2 * i], expected[i][0]) << "frame " << i;
            ASSERT_EQ(got[2 * i + 1], expected[i][1]) << "frame " << i;
        }
    }
}

TEST(ConvWave, UpsamplingInterpolatesByHand)
{
    // 3 Hz -> 4 Hz: d = 0.75; frame i reads between source frames Int(0.75 i) and the next.
    ConvFixture f;
    ASSERT_TRUE(test::WriteWav(
        f.Source, test::PcmSpec(3, 16, 1, test::Samples16({ 0, 1000, -1000, 400 }))));
    ASSERT_TRUE(f.Convert(4, 16, 1));
    // u = nearest(4 / 0.75) = 5. y0 = 0; y1 = 0.75 of the way 0 -> 1000; y2 = halfway
    // 1000 -> -1000; y3 = 0.25 of -1000 -> 400 = -650; y4 = frame 3 (its neighbour is
    // beyond the end, so frame 3 stands in).
    EXPECT_EQ(Samples16Of(f.Target), (std::vector<int32_t> { 0, 750, 0, -650, 400 }));
}

TEST(ConvWave, HalvingTheRateAveragesPairs)
{
    ConvFixture f;
    // 88200 -> 44100: y(i) = nearest((x(2i) + x(2i + 1)) / 2) on the 24-bit scale, then the
    // 16-bit packing truncates toward zero.
    std::vector<int16_t> samples { 1, 2, -1, -2, 100, 300, 32767, 32767, -32768, -32767, 5, 5 };
    ASSERT_TRUE(test::WriteWav(f.Source, test::PcmSpec(88200, 16, 2, test::Samples16(samples))));
    ASSERT_TRUE(f.Convert(44100, 16, 2));
    // Pairs of frames (left, right): (1,2)+(-1,-2) -> (0,0); (100,300)+(32767,32767) ->
    // (16433.5 -> 16433, 16533.5 -> 16533); (-32768,-32767)+(5,5) -> (-16381.5 -> -16381,
    // -16381).
    EXPECT_EQ(Samples16Of(f.Target), (std::vector<int32_t> { 0, 0, 16433, 16533, -16381, -16381 }));
}

TEST(ConvWave, PackingRules)
{
    struct Case {
        const char* Name;
        int32_t SrcBits, SrcCh;
        std::string Samples;
        int32_t Bit, Ch;
        std::vector<int32_t> Expected;
    };
    const Case kCases[] = {
        { "-32768 saturates", 16, 2, test::Samples16({ -32768, 32767 }), 16, 2, { -32767, 32767 } },
        { "16 to 8 truncates", 16, 1, test::Samples16({ 255, -255, 32767, -32768, 256, -257 }), 8,
            1, { 128, 128, 255, 0, 129, 127 } },
        { "stereo to mono", 16, 2, test::Samples16({ 100, 201, -100, -201, 7, 7 }), 16, 1,
            { 150, -150, 7 } },
        { "mono to stereo", 16, 1, test::Samples16({ -5, 9 }), 16, 2, { -5, -5, 9, 9 } },
        { "8-bit source", 8, 2, test::Samples8({ 200, 0, 128, 255 }), 16, 2,
            { 18432, -32767, 0, 32512 } },
        { "8-bit identity", 8, 1, test::Samples8({ 0, 1, 128, 255 }), 8, 1, { 0, 1, 128, 255 } },
        { "24-bit source", 24, 1, test::Samples24({ 0x123456, -1000, -8388608, 8388607 }), 16, 1,
            { 0x1234, -3, -32767, 32767 } },
        { "24-bit identity", 24, 2, test::Samples24({ -8388608, 8388607, 1, -1 }), 24, 2,
            { -8388608, 8388607, 1, -1 } },
        { "16 to 24", 16, 1, test::Samples16({ -32768, 1 }), 24, 1, { -8388608, 256 } },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        ConvFixture f;
        ASSERT_TRUE(test::WriteWav(f.Source, test::PcmSpec(44100, c.SrcBits, c.SrcCh, c.Samples)));
        ASSERT_TRUE(f.Convert(44100, c.Bit, c.Ch));
        WaveInfo info = ReadWaveInfo(f.Target);
        EXPECT_EQ(info.Bits, c.Bit);
        EXPECT_EQ(info.Channels, c.Ch);
        std::vector<int32_t> got = c.Bit == 8 ? Samples8Of(f.Target)
            : c.Bit == 16                     ? Samples16Of(f.Target)
                                              : Samples24Of(f.Target);
        EXPECT_EQ(got, c.Expected);
    }
}

TEST(ConvWave, OddMonoDataGetsOneSilentFrame)
{
    const std::pair<int32_t, std::string> kCases[] = {
        { 8, std::string(4, '\x80') },
        { 24, std::string(12, '\0') },
    };
    for (const auto& [bits, data] : kCases) {
        SCOPED_TRACE(bits);
        ConvFixture f;
        ASSERT_TRUE(
            test::WriteWav(f.Source, test::PcmSpec(44100, 16, 1, test::Samples16({ 0, 0, 0 }))));
        ASSERT_TRUE(f.Convert(44100, bits, 1));
        // Three frames and the silent pad frame: an even data length.
        EXPECT_EQ(DataBytes(f.Target), data);
        EXPECT_EQ(ReadWaveInfo(f.Target).Frames, 4);
    }
}

TEST(ConvWave, NeedConvCases)
{
    ConvFixture f;
    ASSERT_TRUE(test::WriteWav(f.Source, test::PcmSpec(44100, 16, 2, test::Samples16({ 1, 2 }))));
    struct Case {
        int32_t Freq, Bit, Ch, Mode, Expected;
    };
    const Case kCases[] = {
        { 44100, 16, 2, 0, 0 },
        { 48000, 16, 2, 0, 1 },
        { 44100, 0, 0, 3, 0 },
        { 44100, 0, 0, 2, 1 },
        { 44100, 8, 2, 0, 1 },
        { 44100, 16, 1, 0, 1 },
        { 48000, 0, 0, 3, 1 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(
            std::to_string(c.Freq) + "/" + std::to_string(c.Bit) + "/" + std::to_string(c.Ch));
        EXPECT_EQ(C_ConvWave::NeedConv(f.Source, c.Freq, c.Bit, c.Ch, c.Mode), c.Expected);
    }
    ASSERT_TRUE(test::WriteFileBytes(f.Target, "not a wave file"));
    EXPECT_EQ(C_ConvWave::NeedConv(f.Target, 44100, 16, 2, 0), -1);
    EXPECT_EQ(C_ConvWave::NeedConv(f.Dir.File("missing.wav"), 44100, 16, 2, 0), -1);
}

TEST(ConvWave, UnusableSourcesAndFormatsAreRefusedWithoutATarget)
{
    ConvFixture f;
    ASSERT_TRUE(test::WriteFileBytes(f.Source, "RIFF junk"));
    EXPECT_FALSE(f.Convert(44100, 16, 2));
    ASSERT_TRUE(test::WriteWav(f.Source, test::PcmSpec(44100, 16, 2)));
    EXPECT_FALSE(f.Convert(44100, 16, 2)); // no frames
    ASSERT_TRUE(test::WriteWav(f.Source, test::PcmSpec(44100, 16, 6, std::string(24, '\0'))));
    EXPECT_FALSE(f.Convert(44100, 16, 2)); // surround goes through SplitChannels
    ASSERT_TRUE(test::WriteWav(f.Source, test::PcmSpec(44100, 16, 2, std::string(8, '\0'))));
    EXPECT_FALSE(f.Convert(44100, 12, 2));
    EXPECT_FALSE(f.Convert(44100, 16, 3));
    EXPECT_FALSE(f.Convert(0, 16, 2));
    EXPECT_EQ(f.Entries(), (std::vector<std::string> { "source.wav" }));
}

TEST(ConvWave, CancelDeletesTheTargetAndKeepsAnOlderFile)
{
    ConvFixture f;
    std::string bytes;
    RandomFrames16(3 * 8000 * 5, 1, bytes); // three chunks at 8 kHz
    ASSERT_TRUE(test::WriteWav(f.Source, test::PcmSpec(8000, 16, 2, bytes)));
    ASSERT_TRUE(test::WriteFileBytes(f.Target, "older file"));
    HeadlessUi ui;
    C_ConvWave cw(&ui);
    std::vector<double> rates;
    cw.SetProg([&](double pRate, std::string_view) {
        rates.push_back(pRate);
        return rates.size() != 2;
    });
    EXPECT_FALSE(cw.ConvWave(f.Source, f.Target, 11025, 16, 2, 1, false));
    EXPECT_TRUE(cw.Canceled);
    ASSERT_EQ(rates.size(), 2U);
    EXPECT_DOUBLE_EQ(rates[0], 1.0 / 3.0);
    EXPECT_EQ(ui.YieldCount(), 2);
    EXPECT_EQ(test::ReadFileBytes(f.Target), "older file");
    EXPECT_EQ(f.Entries(), (std::vector<std::string> { "source.wav", "target.wav" }));

    // Without an older file nothing is left at all.
    ASSERT_TRUE(DeleteFileForce(f.Target));
    rates.clear();
    EXPECT_FALSE(cw.ConvWave(f.Source, f.Target, 11025, 16, 2, 1, false));
    EXPECT_EQ(f.Entries(), (std::vector<std::string> { "source.wav" }));
}

TEST(ConvWave, HeadderExistsAppendsAndACancelRestoresTheOldFile)
{
    ConvFixture f;
    ASSERT_TRUE(
        test::WriteWav(f.Source, test::PcmSpec(44100, 16, 1, test::Samples16({ 1, -2, 3 }))));
    ASSERT_TRUE(f.Convert(44100, 16, 2));
    C_ConvWave cw;
    ASSERT_TRUE(cw.ConvWave(f.Source, f.Target, 44100, 16, 2, 1, true));
    EXPECT_EQ(
        Samples16Of(f.Target), (std::vector<int32_t> { 1, 1, -2, -2, 3, 3, 1, 1, -2, -2, 3, 3 }));
    WaveInfo info = ReadWaveInfo(f.Target);
    EXPECT_EQ(info.Frames, 6);
    EXPECT_EQ(info.FileSize, 44 + 24);

    const std::string before = test::ReadFileBytes(f.Target);
    cw.SetProg([](double, std::string_view) { return false; });
    EXPECT_FALSE(cw.ConvWave(f.Source, f.Target, 44100, 16, 2, 1, true));
    EXPECT_EQ(test::ReadFileBytes(f.Target), before);
    // A target of another format is not appended to.
    cw.SetProg({});
    EXPECT_FALSE(cw.ConvWave(f.Source, f.Target, 48000, 16, 2, 1, true));
    EXPECT_FALSE(cw.ConvWave(f.Source, f.Target, 44100, 16, 1, 1, true));
    EXPECT_EQ(test::ReadFileBytes(f.Target), before);
}

TEST(ConvWave, OutputPastTheSizeLimitIsRefused)
{
    ConvFixture f;
    // A sparse source of almost 4 GiB: upsampling it would pass 2^32 - 101 bytes although
    // its own frames would fit.
    const uint32_t dataBytes = 4000000000U;
    test::WavSpec spec = test::PcmSpec(44100, 16, 2);
    spec.DataSizeField = dataBytes;
    ASSERT_TRUE(test::WriteWav(f.Source, spec));
    std::filesystem::resize_file(f.Source, 44 + static_cast<uint64_t>(dataBytes));
    EXPECT_FALSE(f.Convert(48000, 16, 2));
    // Stereo 16-bit made from 8-bit mono quadruples the size.
    spec = test::PcmSpec(44100, 8, 1);
    spec.DataSizeField = 1200000000U;
    ASSERT_TRUE(test::WriteWav(f.Source, spec));
    std::filesystem::resize_file(f.Source, 44 + 1200000000ULL);
    EXPECT_FALSE(f.Convert(44100, 16, 2));
    EXPECT_EQ(f.Entries(), (std::vector<std::string> { "source.wav" }));
}

TEST(ConvWave, TruncatedSourceConvertsTheFramesItHolds)
{
    ConvFixture f;
    test::WavSpec spec = test::PcmSpec(44100, 16, 2, test::Samples16({ 10, 20, 30, 40 }));
    spec.DataSizeField = 400;
    ASSERT_TRUE(test::WriteWav(f.Source, spec));
    ASSERT_TRUE(f.Convert(44100, 16, 2));
    EXPECT_EQ(Samples16Of(f.Target), (std::vector<int32_t> { 10, 20, 30, 40 }));
}

TEST(SplitChannels, SurroundFilesSplitIntoMonoFilesUpToALastSingleFrame)
{
    struct Case {
        int32_t Channels, Bits;
    };
    const Case kCases[] = { { 6, 16 }, { 8, 16 }, { 6, 24 }, { 8, 24 } };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::to_string(c.Channels) + "ch " + std::to_string(c.Bits) + "bit");
        test::TempDir dir;
        const int32_t width = c.Bits / 8;
        const int64_t frameBytes = static_cast<int64_t>(c.Channels) * width;
        // One frame more than a whole number of chunks: the last chunk holds one frame.
        const int64_t frames = kSplitChunkBytes / frameBytes + 1;
        std::vector<int32_t> samples;
        for (int64_t f = 0; f < frames; ++f)
            for (int32_t ch = 0; ch < c.Channels; ++ch)
                samples.push_back(
                    static_cast<int32_t>((f * 7 + ch * 1000) % 30000) * (ch % 2 ? -1 : 1));
        std::string bytes;
        if (c.Bits == 16) {
            std::vector<int16_t> s16(samples.begin(), samples.end());
            bytes = test::Samples16(s16);
        } else {
            bytes = test::Samples24(samples);
        }
        test::WavSpec spec = test::PcmSpec(48000, c.Bits, c.Channels, bytes);
        spec.FormatTag = -2;
        spec.Extensible = true;
        const std::string source = dir.File("surround.wav");
        ASSERT_TRUE(test::WriteWav(source, spec));
        DataFolder folder(dir.Path());
        HeadlessUi ui;
        std::vector<std::string> names;
        ASSERT_TRUE(SplitChannels(source, names, folder, ui));
        ASSERT_EQ(names.size(), static_cast<size_t>(c.Channels));
        EXPECT_EQ(ui.LastStatus(), "100.0%");
        EXPECT_EQ(ui.YieldCount(), 2);
        for (int32_t ch = 0; ch < c.Channels; ++ch) {
            WaveInfo info = ReadWaveInfo(names[ch]);
            ASSERT_EQ(info.Valid, 1);
            EXPECT_EQ(info.Channels, 1);
            EXPECT_EQ(info.Bits, c.Bits);
            EXPECT_EQ(info.SampleRate, 48000);
            EXPECT_EQ(info.Frames, frames);
            std::vector<int32_t> got
                = c.Bits == 16 ? Samples16Of(names[ch]) : Samples24Of(names[ch]);
            ASSERT_EQ(got.size(), static_cast<size_t>(frames));
            for (int64_t f = 0; f < frames; ++f)
                ASSERT_EQ(got[f], samples[f * c.Channels + ch]) << "frame " << f;
        }
    }
}

TEST(SplitChannels, CancelAndEmptySourcesLeaveNoFiles)
{
    test::TempDir dir;
    const std::string source = dir.File("six.wav");
    const int64_t frames = kSplitChunkBytes / 12 * 2;
    ASSERT_TRUE(test::WriteWav(
        source, test::PcmSpec(44100, 16, 6, std::string(static_cast<size_t>(frames * 12), '\1'))));
    DataFolder folder(dir.Path());
    HeadlessUi ui;
    int calls = 0;
    std::vector<std::string> names;
    Status cancelled = SplitChannels(
        source, names, folder, ui, [&](double, std::string_view) { return ++calls > 1; });
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.error().Code, ErrorCode::Cancelled);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(names.empty());
    ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(44100, 16, 6)));
    EXPECT_FALSE(SplitChannels(source, names, folder, ui));
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++count;
    EXPECT_EQ(count, 1U);
}

TEST(ReverseRange, WritesTheRangeBackwardsAndSaturatesMinus32768)
{
    test::TempDir dir;
    const std::string source = dir.File("work.wav");
    const std::string target = dir.File("rev.wav");
    ASSERT_TRUE(test::WriteWav(source,
        test::PcmSpec(
            44100, 16, 2, test::Samples16({ 1, 2, 3, 4, -32768, 32767, 5, -32768, 9, 9 }))));
    HeadlessUi ui;
    bool cancel = false;
    ASSERT_TRUE(ReverseRange(source, target, 1, 4, 44100, ui, cancel));
    EXPECT_EQ(Samples16Of(target), (std::vector<int32_t> { 5, -32767, -32767, 32767, 3, 4 }));
    // The end is limited to the file; chunks of 5 seconds at a 1 Hz project rate.
    ASSERT_TRUE(ReverseRange(source, target, 0, 100, 1, ui, cancel));
    EXPECT_EQ(
        Samples16Of(target), (std::vector<int32_t> { 9, 9, 5, -32767, -32767, 32767, 3, 4, 1, 2 }));
    EXPECT_EQ(ReadWaveInfo(target).SampleRate, 1);

    EXPECT_FALSE(ReverseRange(source, dir.File("none.wav"), 3, 3, 44100, ui, cancel));
    EXPECT_FALSE(ReverseRange(source, dir.File("none.wav"), -1, 3, 44100, ui, cancel));
    cancel = true;
    EXPECT_FALSE(ReverseRange(source, dir.File("none.wav"), 0, 5, 44100, ui, cancel));
    EXPECT_FALSE(cancel);
    EXPECT_FALSE(FileExists(dir.File("none.wav")));
}

TEST(ConvWave, PercentText)
{
    EXPECT_EQ(PercentText(0.0), "0.0%");
    EXPECT_EQ(PercentText(0.125), "12.5%");
    EXPECT_EQ(PercentText(1.0), "100.0%");
}

} // namespace tarvok
