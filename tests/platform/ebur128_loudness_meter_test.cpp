#include "platform/ebur128/ebur128_loudness_meter.h"

#include "core/file_io.h"
#include "core/wave_info.h"
#include "render/loudness.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tarvok {
namespace {

using test::TempDir;

/// A 1 kHz sine in both channels at pDbfs (peak level), pSeconds long.
std::string Sine(
    const TempDir& pDir, const std::string& pName, int32_t pRate, double pDbfs, double pSeconds)
{
    const double amplitude = 32768.0 * std::pow(10.0, pDbfs / 20.0);
    const auto frames = static_cast<int64_t>(pSeconds * pRate);
    const auto sample = [&](int64_t f) {
        return std::lround(
            amplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(f) / pRate));
    };
    const std::string path = pDir.File(pName);
    EXPECT_TRUE(
        test::WriteWav(path, test::PcmSpec(pRate, 16, 2, test::Stereo16(frames, sample, sample))));
    return path;
}

TEST(Ebur128LoudnessMeter, SineReadsItsLevelInLufsAndAsTruePeak)
{
    // A stereo 1 kHz sine at -20 dBFS: each channel's mean square is 0.005 and the
    // K-weighting adds 0.691 dB at 1 kHz, which the standard's -0.691 offset takes away, so
    // 10 log10(2 x 0.005) = -20.0 LUFS; the ebur128 filter of ffmpeg reads -20.0 LUFS and a
    // true peak of -20.0 dBTP on the same file.
    TempDir dir;
    Ebur128LoudnessMeter meter;
    const struct {
        int32_t Rate;
        double Dbfs;
    } cases[] = { { 48000, -20.0 }, { 44100, -20.0 }, { 44100, -6.0 }, { 8000, -30.0 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Rate) + " Hz, " + std::to_string(c.Dbfs) + " dBFS");
        const std::string file = Sine(dir, "sine.wav", c.Rate, c.Dbfs, 5.0);
        Result<LoudnessReading> reading = MeasureWaveLoudness(meter, file);
        ASSERT_TRUE(reading) << reading.error().Message;
        EXPECT_NEAR(reading->Integrated, c.Dbfs, 0.1);
        EXPECT_NEAR(reading->TruePeak, c.Dbfs, 0.2);
    }
}

TEST(Ebur128LoudnessMeter, RangeIsMeasuredAlone)
{
    TempDir dir;
    Ebur128LoudnessMeter meter;
    // Two seconds of silence, then two at -20 dBFS: the gates drop the silence, so the whole
    // file reads near the sine (the blocks across the step count a little lower; an ungated
    // average would read -23); its second half reads the sine; the first half alone has
    // no loudness.
    const int32_t rate = 8000;
    const double amplitude = 3276.8;
    const auto sample = [&](int64_t f) {
        return f < 2 * rate
            ? 0L
            : std::lround(amplitude
                * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(f) / rate));
    };
    const std::string file = dir.File("half.wav");
    ASSERT_TRUE(
        test::WriteWav(file, test::PcmSpec(rate, 16, 2, test::Stereo16(4 * rate, sample, sample))));
    Result<LoudnessReading> whole = MeasureWaveLoudness(meter, file);
    ASSERT_TRUE(whole);
    EXPECT_NEAR(whole->Integrated, -20.0, 0.5);
    Result<LoudnessReading> second = MeasureWaveLoudness(meter, file, 2 * rate, 4 * rate);
    ASSERT_TRUE(second);
    EXPECT_NEAR(second->Integrated, -20.0, 0.1);
    Result<LoudnessReading> first = MeasureWaveLoudness(meter, file, 0, 2 * rate);
    ASSERT_FALSE(first);
    EXPECT_EQ(first.error().Message, kMsgNoLoudness);
}

TEST(Ebur128LoudnessMeter, SilenceAndShortFilesHaveNoLoudness)
{
    TempDir dir;
    Ebur128LoudnessMeter meter;
    const auto zero = [](int64_t) { return 0; };
    const std::string silent = dir.File("silent.wav");
    ASSERT_TRUE(
        test::WriteWav(silent, test::PcmSpec(44100, 16, 2, test::Stereo16(44100, zero, zero))));
    // Less than one 400 ms gating block of a loud sine.
    const std::string shortSine = Sine(dir, "short.wav", 44100, -10.0, 0.3);
    for (const std::string& file : { silent, shortSine }) {
        SCOPED_TRACE(file);
        Result<LoudnessReading> reading = MeasureWaveLoudness(meter, file);
        ASSERT_FALSE(reading);
        EXPECT_EQ(reading.error().Message, kMsgNoLoudness);
        const std::string target = dir.File("out.wav");
        Result<LoudnessReading> copied = CopyWithGainMeasured(meter, file, target, 6.0);
        ASSERT_FALSE(copied);
        EXPECT_FALSE(FileExists(target)) << "nothing is written when nothing can be measured";
    }
}

TEST(Ebur128LoudnessMeter, GainCopyReachesTheTargetAndMeasuresTheCopy)
{
    TempDir dir;
    Ebur128LoudnessMeter meter;
    const std::string file = Sine(dir, "sine.wav", 44100, -20.0, 4.0);
    Result<LoudnessReading> before = MeasureWaveLoudness(meter, file);
    ASSERT_TRUE(before);
    for (const double target : { -23.0, -14.0, -30.0 }) {
        SCOPED_TRACE(target);
        bool limited = true;
        const double gain = LoudnessGain(*before, target, limited);
        EXPECT_FALSE(limited);
        const std::string out = dir.File("out.wav");
        Result<LoudnessReading> after = CopyWithGainMeasured(meter, file, out, gain);
        ASSERT_TRUE(after) << after.error().Message;
        EXPECT_NEAR(after->Integrated, target, 0.5);
        // The reading taken on the way is the file's own.
        Result<LoudnessReading> again = MeasureWaveLoudness(meter, out);
        ASSERT_TRUE(again);
        EXPECT_NEAR(again->Integrated, after->Integrated, 1e-9);
        EXPECT_NEAR(again->TruePeak, after->TruePeak, 1e-9);
        EXPECT_EQ(ReadWaveInfo(out).Frames, ReadWaveInfo(file).Frames);
    }
}

TEST(Ebur128LoudnessMeter, GainIsLimitedByTheTruePeakCeiling)
{
    TempDir dir;
    Ebur128LoudnessMeter meter;
    // A sine at -6 dBFS asked to reach 0 LUFS would need +6 dB and clip; the gain stops
    // where the true peak reaches the ceiling, and no sample saturates.
    const std::string file = Sine(dir, "loud.wav", 44100, -6.0, 3.0);
    Result<LoudnessReading> before = MeasureWaveLoudness(meter, file);
    ASSERT_TRUE(before);
    bool limited = false;
    const double gain = LoudnessGain(*before, 0.0, limited);
    EXPECT_TRUE(limited);
    EXPECT_NEAR(gain, kLoudnessPeakCeiling - before->TruePeak, 1e-9);
    const std::string out = dir.File("out.wav");
    Result<LoudnessReading> after = CopyWithGainMeasured(meter, file, out, gain);
    ASSERT_TRUE(after);
    EXPECT_LE(after->TruePeak, kLoudnessPeakCeiling + 0.1);
    EXPECT_NEAR(after->Integrated, -1.0, 0.2);
}

TEST(LoudnessGain, TargetMinusLoudnessUnlessThePeakForbids)
{
    const struct {
        double Integrated, TruePeak, Target, Gain;
        bool Limited;
    } cases[] = {
        { -20.0, -20.0, -23.0, -3.0, false },
        { -20.0, -20.0, -14.0, 6.0, false },
        { -20.0, -3.0, -14.0, 2.0, true },
        { -10.0, 2.0, -23.0, -13.0, false },
        { -30.0, -1.0, -30.0, 0.0, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Target);
        bool limited = !c.Limited;
        EXPECT_NEAR(LoudnessGain({ c.Integrated, c.TruePeak }, c.Target, limited), c.Gain, 1e-9);
        EXPECT_EQ(limited, c.Limited);
    }
}

} // namespace
} // namespace tarvok
