#include "platform/rubberband/rubberband_time_pitch.h"

#include "fx/c_fx.h"
#include "support/fx_runner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tarvok::test {
namespace {

constexpr int32_t kRate = 44100;

Samples Sine(int64_t pFrames, double pHz, double pAmp = 10000)
{
    Samples s(static_cast<size_t>(pFrames * 2));
    for (int64_t n = 0; n < pFrames; ++n) {
        const double a = 2 * std::numbers::pi * pHz * static_cast<double>(n) / kRate;
        s[static_cast<size_t>(n * 2)] = static_cast<int16_t>(std::lround(pAmp * std::sin(a)));
        s[static_cast<size_t>(n * 2 + 1)] = static_cast<int16_t>(std::lround(pAmp * std::sin(a)));
    }
    return s;
}

int64_t FramesOf(const Samples& pX) { return static_cast<int64_t>(pX.size() / 2); }

/// The frequency of channel pC between frames pFrom and pTo from its zero crossings.
double ZeroCrossingHz(const Samples& pX, int64_t pFrom, int64_t pTo, int pC)
{
    int crossings = 0;
    for (int64_t n = pFrom + 1; n < pTo; ++n)
        crossings += (pX[static_cast<size_t>((n - 1) * 2 + pC)] < 0)
                != (pX[static_cast<size_t>(n * 2 + pC)] < 0)
            ? 1
            : 0;
    return crossings / 2.0 / (static_cast<double>(pTo - pFrom) / kRate);
}

double Rms(const Samples& pX, int64_t pFrom, int64_t pTo)
{
    double sum = 0;
    for (int64_t n = pFrom; n < pTo; ++n)
        sum += std::pow(static_cast<double>(pX[static_cast<size_t>(n * 2)]), 2);
    return std::sqrt(sum / static_cast<double>(pTo - pFrom));
}

/// Renders pIn through effect pId in the high-quality mode.
FxRun RunHigh(
    int32_t pId, const std::vector<double>& pParms, const Samples& pIn, TimePitchEngine& pEngine)
{
    TempDir dir;
    FxRun run;
    if (!WriteSamples(dir.File("in.wav"), kRate, pIn))
        return run;
    C_FX fx(kRate);
    for (size_t i = 0; i < pParms.size(); ++i)
        fx.SetFXParm(static_cast<int32_t>(i), pParms[i]);
    fx.SetTimePitchEngine(&pEngine);
    fx.SetHighQuality(true);
    run.Ok = fx.Proc(pId, dir.File("in.wav"), dir.File("out.wav"), 0, FramesOf(pIn), false, "1")
                 .has_value();
    if (run.Ok)
        run.Out = ReadSamples(dir.File("out.wav"));
    return run;
}

TEST(RubberBandTimePitch, TimeStretchGivesTheExactLengthAndKeepsThePitch)
{
    RubberBandTimePitch engine;
    // 12 s: three chunks of the driver, so the stream runs across chunk boundaries.
    const Samples x = Sine(12 * kRate + 11, 440);
    for (double s : { 1.25, 0.5 }) {
        SCOPED_TRACE(s);
        FxRun run = RunHigh(118, { s }, x, engine);
        ASSERT_TRUE(run.Ok);
        const int64_t frames = FramesOf(run.Out);
        EXPECT_EQ(frames, std::llround(static_cast<double>(FramesOf(x)) / s));
        // Away from the ends: the same tone at about the same level.
        EXPECT_NEAR(ZeroCrossingHz(run.Out, kRate, frames - kRate, 0), 440, 8);
        EXPECT_NEAR(ZeroCrossingHz(run.Out, kRate, frames - kRate, 1), 440, 8);
        EXPECT_NEAR(Rms(run.Out, kRate, frames - kRate), 10000 / std::sqrt(2.0), 2000);
    }
}

TEST(RubberBandTimePitch, PitchShiftKeepsTheLengthAndMovesThePitch)
{
    RubberBandTimePitch engine;
    const Samples x = Sine(7 * kRate + 5, 440);
    struct Case {
        int semitones;
        double hz;
    };
    for (const Case c : { Case { 12, 880 }, Case { -12, 220 }, Case { 3, 440 * 1.1892 } }) {
        SCOPED_TRACE(c.semitones);
        FxRun run = RunHigh(117, { double(c.semitones), 0, 100, 0 }, x, engine);
        ASSERT_TRUE(run.Ok);
        ASSERT_EQ(FramesOf(run.Out), FramesOf(x));
        EXPECT_NEAR(ZeroCrossingHz(run.Out, kRate, FramesOf(x) - kRate, 0), c.hz, c.hz * 0.02);
        EXPECT_GT(Rms(run.Out, kRate, FramesOf(x) - kRate), 3000);
    }
}

TEST(RubberBandTimePitch, RefusesRatesTheLibraryCannotRun)
{
    RubberBandTimePitch engine;
    TimePitchRequest request;
    request.SampleRate = 4000;
    EXPECT_EQ(engine.Open(request), nullptr);
    request.SampleRate = kRate;
    request.TimeRatio = 0;
    EXPECT_EQ(engine.Open(request), nullptr);
    request.TimeRatio = 1.5;
    EXPECT_NE(engine.Open(request), nullptr);
}

} // namespace
} // namespace tarvok::test
