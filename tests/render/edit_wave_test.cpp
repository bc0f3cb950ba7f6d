#include "render/edit_wave.h"

#include "base/numeric.h"
#include "core/wave_info.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarvok {

namespace {

using test::TempDir;

// The samples of a WAV file as signed values (8-bit as byte - 128).
std::vector<int32_t> ReadSamples(const std::string& pPath)
{
    WaveInfo info = ReadWaveInfo(pPath);
    std::vector<int32_t> out;
    if (info.Valid == 0)
        return out;
    std::string bytes = test::ReadFileBytes(pPath).substr(
        static_cast<size_t>(info.DataOffset), static_cast<size_t>(info.DataSize));
    const size_t width = static_cast<size_t>(info.Bits / 8);
    for (size_t i = 0; i + width <= bytes.size(); i += width) {
        const auto* b = reinterpret_cast<const uint8_t*>(bytes.data() + i);
        if (width == 1)
            out.push_back(b[0] - 128);
        else if (width == 2)
            out.push_back(static_cast<int16_t>(b[0] | (b[1] << 8)));
        else
            out.push_back(Read24(b));
    }
    return out;
}

// A plain copy with optional level, fades and normalisation; the rest off.
struct Args {
    int64_t From = 0, To = 0;
    int32_t UseTh = 0;
    float ThIn = 0, ThOut = 0;
    int32_t StartMargin = 0, EndMargin = 0, ForceMargin = 0;
    int32_t UseNorm = 0;
    float NormLevel = 0;
    int32_t NormMode = 0, RMSmsec = 0;
    float RMSdb = -110;
    int32_t Clip = 0;
    float AdjL = 0, AdjR = 0;
    int32_t FadeIn = 0, FadeOut = 0, CheckLevel = 0;
};

bool CallEditWave(
    C_EditWave& pEw, const std::string& pSource, const std::string& pTarget, const Args& a)
{
    EditWaveRequest r;
    r.SourceFN = pSource;
    r.TargetFN = pTarget;
    r.From = a.From;
    r.To = a.To;
    r.UseTh = a.UseTh;
    r.ThIn = a.ThIn;
    r.ThOut = a.ThOut;
    r.StartMargin = a.StartMargin;
    r.EndMargin = a.EndMargin;
    r.ForceMargin = a.ForceMargin;
    r.UseNorm = a.UseNorm;
    r.NormLevel = a.NormLevel;
    r.NormMode = a.NormMode;
    r.RMSmsec = a.RMSmsec;
    r.RMSdb = a.RMSdb;
    r.Clip = a.Clip;
    r.AdjustdbL = a.AdjL;
    r.AdjustdbR = a.AdjR;
    r.FadeInSample = a.FadeIn;
    r.FadeOutSample = a.FadeOut;
    r.CheckLevel = a.CheckLevel;
    return pEw.EditWave(r);
}

// The per-channel factor of the copy for a gain G and an adjustment in dB, as the copy
// computes it (single precision after the dB round trip, raised to -60 dB).
float CopyFactor(double pGain, float pAdjustDb = 0)
{
    const float db = static_cast<float>(std::max(-60.0, FactorToDb(DbToFactor(pAdjustDb) * pGain)));
    return static_cast<float>(DbToFactor(db));
}

int32_t Scaled16(int32_t pSample, float pK)
{
    const double y = pSample * static_cast<double>(pK);
    if (std::abs(y) >= 32767)
        return y < 0 ? -32767 : 32767;
    return static_cast<int32_t>(RoundHalfEven(y));
}

std::string Mono16(const std::vector<int16_t>& pSamples, int32_t pRate = 1000)
{
    return test::MakeWav(test::PcmSpec(pRate, 16, 1, test::Samples16(pSamples)));
}

} // namespace

TEST(EditWave, MeasureOnlyPublishesPeakAndRmsLevels)
{
    TempDir dir;
    // 1000 Hz: the level pass reads 300-frame chunks. Chunk 1 holds 100s, chunk 2 a peak
    // of 16384 among 200s, chunk 3 (100 frames) zeros.
    std::vector<int16_t> samples(300, 100);
    std::vector<int16_t> second(300, 200);
    second[10] = 16384;
    samples.insert(samples.end(), second.begin(), second.end());
    samples.insert(samples.end(), 100, 0);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("s.wav"), Mono16(samples)));

    C_EditWave ew;
    Args a;
    a.CheckLevel = 1;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), "", a));
    EXPECT_EQ(ew.MaxPeak, 16384);
    EXPECT_NEAR(ew.MaxPeakDB, -6.0206, 0.001);
    const double chunk2 = std::sqrt((299.0 * 200 * 200 + 16384.0 * 16384) / 300);
    EXPECT_EQ(ew.MaxRMS, RoundHalfEven(chunk2));
    const double total = std::sqrt((300.0 * 100 * 100 + 299.0 * 200 * 200 + 16384.0 * 16384) / 700);
    EXPECT_EQ(ew.NormRMS, RoundHalfEven(total));
    EXPECT_NEAR(ew.NormRMSDB, 20 * std::log10(RoundHalfEven(total) / 32767.0), 1e-4);
    EXPECT_FALSE(test::ReadFileBytes(dir.File("s.wav")).empty());
}

TEST(EditWave, WholeCopyIsByteExactForEveryFormat)
{
    TempDir dir;
    const std::vector<std::pair<int32_t, int32_t>> kFormats
        = { { 8, 1 }, { 8, 2 }, { 16, 1 }, { 16, 2 }, { 24, 1 }, { 24, 2 } };
    for (auto [bits, channels] : kFormats) {
        SCOPED_TRACE(std::to_string(bits) + "/" + std::to_string(channels));
        std::string data;
        for (int i = 0; i < 999 * channels * bits / 8; ++i)
            data.push_back(static_cast<char>((i * 37) & 0xFF));
        const std::string src = dir.File("src.wav");
        const std::string dst = dir.File("dst.wav");
        ASSERT_TRUE(test::WriteWav(src, test::PcmSpec(8000, bits, channels, data)));
        std::remove(dst.c_str());
        C_EditWave ew;
        ASSERT_TRUE(CallEditWave(ew, src, dst, Args {}));
        WaveInfo info = ReadWaveInfo(dst);
        ASSERT_EQ(info.Valid, 1);
        EXPECT_EQ(info.Bits, bits);
        EXPECT_EQ(info.Channels, channels);
        EXPECT_EQ(test::ReadFileBytes(dst).substr(44, data.size()), data);
        EXPECT_EQ(info.DataSize, static_cast<int64_t>(data.size()));
    }
}

TEST(EditWave, ThreeAppendedRangesChangeOnlyTheMiddle)
{
    TempDir dir;
    std::vector<int16_t> samples;
    for (int f = 0; f < 3000; ++f) {
        samples.push_back(static_cast<int16_t>(f * 7 - 10000));
        samples.push_back(static_cast<int16_t>(5000 - f * 3));
    }
    ASSERT_TRUE(
        test::WriteWav(dir.File("s.wav"), test::PcmSpec(8000, 16, 2, test::Samples16(samples))));
    const std::string dst = dir.File("d.wav");
    C_EditWave ew;
    Args a;
    a.To = 1000;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), dst, a));
    a.From = 1000;
    a.To = 2000;
    a.AdjL = -6;
    a.AdjR = -110;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), dst, a));
    a = Args {};
    a.From = 2000;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), dst, a));

    std::vector<int32_t> out = ReadSamples(dst);
    ASSERT_EQ(out.size(), samples.size());
    const float kL = CopyFactor(1.0, -6);
    const float kR = CopyFactor(1.0, -110); // raised to -60 dB, not silenced
    EXPECT_NEAR(kR, 0.001f, 1e-7);
    for (size_t i = 0; i < samples.size(); ++i) {
        const size_t frame = i / 2;
        int32_t expected = samples[i];
        if (frame >= 1000 && frame < 2000)
            expected = Scaled16(samples[i], i % 2 == 0 ? kL : kR);
        ASSERT_EQ(out[i], expected) << "sample " << i;
    }
}

TEST(EditWave, ProcessingPathTurnsMinus32768IntoMinus32767)
{
    TempDir dir;
    std::vector<int16_t> samples(100, -32768);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("s.wav"), Mono16(samples)));
    C_EditWave ew;
    Args a;
    a.FadeIn = 10; // the fade lies at the start; frame 50 is copied at 0 dB
    ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), dir.File("d.wav"), a));
    std::vector<int32_t> out = ReadSamples(dir.File("d.wav"));
    ASSERT_EQ(out.size(), 100u);
    EXPECT_EQ(out[50], -32767);
    // Frame 0 of the fade-in is 60 dB down.
    EXPECT_EQ(out[0],
        RoundHalfEven(-32768 * static_cast<double>(static_cast<float>(DbToFactor(-60.0f)))));
}

TEST(EditWave, NormalisationModes)
{
    TempDir dir;
    // 1000 Hz. Chunk 1: 300 frames of 1000, chunk 2: 300 of 500, then 1000 silent frames.
    std::vector<int16_t> samples(300, 1000);
    samples.insert(samples.end(), 300, 500);
    samples.insert(samples.end(), 1000, 0);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("s.wav"), Mono16(samples)));
    const double a = DbToFactor(-20);
    const double rms2 = std::sqrt((300.0 * 1000 * 1000 + 300.0 * 500 * 500) / 1600);
    // Mode 3 at 100 ms: the first 100 quiet frames count, the other 900 not; values are
    // pre-scaled by FS / peak.
    const double s = 32767.0 / 1000;
    const double rms3 = std::sqrt((300.0 * 1000 * 1000 + 300.0 * 500 * 500) * s * s / 700);
    struct Case {
        int32_t Mode;
        double Gain;
    };
    const Case kCases[] = {
        { 0, a * 32767 / 1000 },
        { 1, a * 32767 / 1000 },
        { 2, a * 32767 / rms2 },
        { 3, a * 32767 / (rms3 / s) },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE("mode " + std::to_string(c.Mode));
        const std::string dst = dir.File("d" + std::to_string(c.Mode) + ".wav");
        C_EditWave ew;
        Args args;
        args.UseNorm = 1;
        args.NormLevel = -20;
        args.NormMode = c.Mode;
        args.RMSmsec = 100;
        args.RMSdb = -90;
        args.Clip = 1;
        ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), dst, args));
        std::vector<int32_t> out = ReadSamples(dst);
        ASSERT_EQ(out.size(), samples.size());
        const float k = CopyFactor(c.Gain);
        EXPECT_EQ(out[0], Scaled16(1000, k));
        EXPECT_EQ(out[400], Scaled16(500, k));
        EXPECT_EQ(out[1000], 0);
    }
}

TEST(EditWave, PeakNormalisationReachesFullScaleAndClipIsLimited)
{
    TempDir dir;
    std::vector<int16_t> samples = { 100, -1000, 400, 0 };
    ASSERT_TRUE(test::WriteFileBytes(dir.File("s.wav"), Mono16(samples)));
    C_EditWave ew;
    Args a;
    a.UseNorm = 1;
    a.NormLevel = 0;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), dir.File("d.wav"), a));
    EXPECT_EQ(ReadSamples(dir.File("d.wav"))[1], -32767);
    // An RMS target far above the peak is limited to full scale without pClip.
    Args b = a;
    b.NormMode = 2;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), dir.File("e.wav"), b));
    EXPECT_EQ(ReadSamples(dir.File("e.wav"))[1], -32767);
    EXPECT_EQ(ReadSamples(dir.File("e.wav"))[0], Scaled16(100, CopyFactor(32.767)));
}

TEST(EditWave, EightAndTwentyFourBitLevels)
{
    TempDir dir;
    ASSERT_TRUE(test::WriteWav(
        dir.File("s8.wav"), test::PcmSpec(8000, 8, 1, test::Samples8({ 228, 28, 128, 255 }))));
    ASSERT_TRUE(test::WriteWav(dir.File("s24.wav"),
        test::PcmSpec(8000, 24, 1, test::Samples24({ 4000000, -8388608, 1, 0 }))));
    Args a;
    a.AdjL = -6;
    C_EditWave ew;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s8.wav"), dir.File("d8.wav"), a));
    ASSERT_TRUE(CallEditWave(ew, dir.File("s24.wav"), dir.File("d24.wav"), a));
    const double k = CopyFactor(1.0, -6);
    std::vector<int32_t> out8 = ReadSamples(dir.File("d8.wav"));
    ASSERT_EQ(out8.size(), 4u);
    EXPECT_EQ(out8[0] + 128, RoundHalfEven(100 * k + 128));
    EXPECT_EQ(out8[1] + 128, RoundHalfEven(-100 * k + 128));
    EXPECT_EQ(out8[2], 0);
    std::vector<int32_t> out24 = ReadSamples(dir.File("d24.wav"));
    ASSERT_EQ(out24.size(), 4u);
    EXPECT_EQ(out24[0], RoundHalfEven(4000000 * k));
    EXPECT_EQ(out24[1], RoundHalfEven(-8388608 * k));
    // A gain above full scale saturates at +-8388607.
    Args up;
    up.AdjL = 6;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s24.wav"), dir.File("u24.wav"), up));
    EXPECT_EQ(ReadSamples(dir.File("u24.wav"))[1], -8388607);
    // An odd number of 8-bit bytes gets a pad byte that the header tells about.
    ASSERT_TRUE(
        test::WriteWav(dir.File("o8.wav"), test::PcmSpec(8000, 8, 1, test::Samples8({ 1, 2, 3 }))));
    ASSERT_TRUE(CallEditWave(ew, dir.File("o8.wav"), dir.File("p8.wav"), Args {}));
    WaveInfo info = ReadWaveInfo(dir.File("p8.wav"));
    EXPECT_EQ(info.DataSize, 3);
    EXPECT_EQ(info.FileSize, 44 + 4);
}

TEST(EditWave, TrimmingByThresholdAndForcedMargins)
{
    TempDir dir;
    // 1000 Hz, 20 frames: loud frames 5 and 14.
    std::vector<int16_t> samples(20, 10);
    samples[5] = 20000;
    samples[14] = 20000;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("s.wav"), Mono16(samples)));
    Args a;
    a.UseTh = 1;
    a.UseNorm = 0;
    a.ThIn = -20;
    a.ThOut = -20;
    C_EditWave ew;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), dir.File("d.wav"), a));
    // Start 5, end 14 (exclusive): 9 frames, made even by dropping the last.
    std::vector<int32_t> out = ReadSamples(dir.File("d.wav"));
    ASSERT_EQ(out.size(), 8u);
    EXPECT_EQ(out[0], 20000);
    EXPECT_EQ(out[7], 10);

    // A start margin of 8 ms reaches 3 frames before the source: 2 frames of silence.
    Args b = a;
    b.StartMargin = 8;
    b.EndMargin = 1;
    b.ForceMargin = 1;
    ASSERT_TRUE(CallEditWave(ew, dir.File("s.wav"), dir.File("m.wav"), b));
    out = ReadSamples(dir.File("m.wav"));
    // Range -3..15 (18 frames, even) -> 2 silent frames, then frames 0..14.
    ASSERT_EQ(out.size(), 2u + 15u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 10);
    EXPECT_EQ(out[2 + 5], 20000);

    // Nothing loud at all: the end lies before the start and nothing is written.
    std::vector<int16_t> quiet(20, 10);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("q.wav"), Mono16(quiet)));
    Args c = a;
    c.From = 5;
    EXPECT_FALSE(CallEditWave(ew, dir.File("q.wav"), dir.File("n.wav"), c));
    EXPECT_FALSE(FileExists(dir.File("n.wav")));
}

TEST(EditWave, CancelInTheLevelPassLeavesPropertiesUnpublished)
{
    TempDir dir;
    std::vector<int16_t> samples(3000, 1234);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("s.wav"), Mono16(samples)));
    C_EditWave ew;
    int events = 0;
    ew.SetProg([&](double pRate, std::string_view) {
        ++events;
        EXPECT_GE(pRate, 0.0);
        EXPECT_LE(pRate, 1.0);
        return false;
    });
    Args a;
    a.UseNorm = 1;
    EXPECT_FALSE(CallEditWave(ew, dir.File("s.wav"), dir.File("d.wav"), a));
    EXPECT_TRUE(ew.Canceled);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(ew.MaxPeak, -1);
    EXPECT_EQ(ew.MaxRMS, -1);
    EXPECT_FALSE(FileExists(dir.File("d.wav")));
}

TEST(EditWave, RefusesUnusableSources)
{
    TempDir dir;
    ASSERT_TRUE(
        test::WriteWav(dir.File("f.wav"), test::PcmSpec(8000, 32, 2, std::string(64, '\0'))));
    test::WavSpec nodata = test::PcmSpec(8000, 16, 2);
    nodata.OmitData = true;
    ASSERT_TRUE(test::WriteWav(dir.File("n.wav"), nodata));
    for (const char* name : { "missing.wav", "f.wav", "n.wav" }) {
        SCOPED_TRACE(name);
        C_EditWave ew;
        EXPECT_FALSE(CallEditWave(ew, dir.File(name), dir.File("out.wav"), Args {}));
        EXPECT_FALSE(FileExists(dir.File("out.wav")));
    }
}

} // namespace tarvok
