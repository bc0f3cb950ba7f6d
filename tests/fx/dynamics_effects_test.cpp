#include "base/numeric.h"
#include "support/fx_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

namespace tarvok::test {
namespace {

// The formulas of the dynamics effects written over the whole signal, frame by frame, from
// the fader values P0, P1, ... Gains, targets and steps are single precision.

int64_t FramesOf(const Samples& pX) { return static_cast<int64_t>(pX.size() / 2); }

int16_t& At(Samples& pY, int64_t pN, int pC) { return pY[static_cast<size_t>(pN * 2 + pC)]; }
int At(const Samples& pX, int64_t pN, int pC) { return pX[static_cast<size_t>(pN * 2 + pC)]; }

float Db(int pDb) { return static_cast<float>(std::pow(10.0, pDb / 20.0)); }
int64_t Threshold(int pP) { return RoundHalfEven(static_cast<float>(pP) / 100.0f * 32767.0); }
float PerSample(int pMs, int pRate) { return 1.0f / static_cast<float>(pMs / 1000.0 * pRate); }

Samples Distortion(const Samples& pX, int pP0, int pP1)
{
    const int64_t h = RoundHalfEven(pP1 / 100.0 * 32767);
    const int64_t l = RoundHalfEven(pP1 / 100.0 * 32767 * -1);
    Samples y(pX.size());
    for (size_t i = 0; i < pX.size(); ++i) {
        const int64_t v = RoundHalfEven(static_cast<double>(pX[i]) * pP0);
        y[i] = static_cast<int16_t>(v > h ? h : (v < l ? l : v));
    }
    return y;
}

Samples Overdrive(const Samples& pX, int pP0, int pP1, int pP2)
{
    const double a = (std::pow(pP1, 3) + 225) / 1000225;
    const double b = 1 - a;
    const int64_t h = RoundHalfEven(32767.0 * pP2 * static_cast<double>(0.01f));
    const int64_t l = RoundHalfEven(32767.0 * pP2 * static_cast<double>(-0.004f));
    Samples y(pX.size());
    int64_t lp[2] = { 0, 0 };
    int64_t t[2] = { 0, 0 };
    for (int64_t n = 0; n < FramesOf(pX); ++n)
        for (int c = 0; c < 2; ++c) {
            const int x = At(pX, n, c);
            lp[c] = RoundHalfEven(static_cast<double>(lp[c]) * static_cast<double>(0.7f)
                + x * static_cast<double>(0.2f));
            int64_t v = (x - lp[c]) * pP0;
            v = std::clamp(v, l, h);
            v = RoundHalfEven(static_cast<double>(t[c]) * b + static_cast<double>(v) * a);
            t[c] = v;
            At(y, n, c) = Saturate16(static_cast<double>(v));
        }
    return y;
}

Samples Limiter(const Samples& pX, int pP0, int pP1, int pP2, int pP3, int pRate)
{
    const auto t = static_cast<float>(Threshold(pP0));
    const float r = PerSample(pP1, pRate);
    const auto w = static_cast<float>(pRate / 500.0);
    const double m = pP2 / 100.0;
    const double o = Db(pP3);
    Samples y(pX.size());
    float g[2] = { 1, 1 }, target[2] = { 1, 1 }, s[2] = { 0, 0 };
    for (int64_t n = 0; n < FramesOf(pX); ++n)
        for (int c = 0; c < 2; ++c) {
            const int x = At(pX, n, c);
            if (x != 0) {
                const float q = t / static_cast<float>(std::abs(x));
                const float d = (g[c] - q) / w;
                target[c] = std::min(target[c], q);
                s[c] = std::max(s[c], d);
            }
            if (s[c] != 0) {
                g[c] = g[c] - s[c];
                if (g[c] <= target[c]) {
                    s[c] = 0;
                    target[c] = 1;
                }
            } else {
                g[c] = std::min(g[c] + r, 1.0f);
            }
            const int64_t v = RoundHalfEven(x * static_cast<double>(g[c]));
            At(y, n, c) = Saturate16((static_cast<double>(v) + static_cast<double>(x - v) * m) * o);
        }
    return y;
}

Samples Compressor(const Samples& pX, int pP0, int pP1, int pP2, int pP3, int pP4, int pRate)
{
    const auto t = static_cast<float>(Threshold(pP0));
    const float r = PerSample(pP1, pRate);
    const auto k = static_cast<float>(pP2 / 100.0);
    const auto u = static_cast<float>(pP3 / 100.0);
    const auto w = static_cast<float>(pRate / 500.0);
    const double o = Db(pP4);
    Samples y(pX.size());
    float g[2] = { 1, 1 }, target[2] = { u, u }, s[2] = { 0, 0 };
    for (int64_t n = 0; n < FramesOf(pX); ++n)
        for (int c = 0; c < 2; ++c) {
            const int x = At(pX, n, c);
            const auto a = static_cast<float>(std::abs(x));
            if (a > t) {
                const float q = (t / a) * k;
                if (std::abs(q - u) > std::abs(g[c] - u)
                    && std::abs(q - u) > std::abs(target[c] - u)) {
                    target[c] = q;
                    s[c] = std::abs(g[c] - q) / w;
                }
            } else if (s[c] != 0) {
                const bool up = target[c] > g[c];
                g[c] = up ? g[c] + s[c] : g[c] - s[c];
                if (up ? g[c] >= target[c] : g[c] <= target[c]) {
                    s[c] = 0;
                    g[c] = target[c];
                    target[c] = u;
                }
            } else {
                g[c] = g[c] >= u ? std::max(g[c] - r, u) : std::min(g[c] + r, u);
            }
            At(y, n, c) = Saturate16(x * static_cast<double>(g[c]) * o);
        }
    return y;
}

/// Maximize over a whole file: the look-ahead ends at the end of the signal.
Samples Maximize(const Samples& pX, int pP0, int pP1, int pP2, int pP3, int pRate)
{
    const float b = Db(pP0);
    const auto ceiling = static_cast<float>(RoundHalfEven(static_cast<double>(Db(pP3)) * 32767));
    const float r = PerSample(pP2, pRate);
    const auto k = static_cast<float>(pP1 / 1000.0 * pRate);
    Samples y(pX.size());
    float g[2] = { 1, 1 }, target[2] = { 1, 1 }, s[2] = { 0, 0 };
    for (int64_t n = 0; n < FramesOf(pX); ++n)
        for (int c = 0; c < 2; ++c) {
            const int64_t j = RoundHalfEven(static_cast<double>(n) + static_cast<double>(k));
            if (j < FramesOf(pX)) {
                const int ahead = At(pX, j, c);
                if (ahead != 0) {
                    const float q = ceiling / static_cast<float>(std::abs(ahead));
                    const float d = (g[c] - q) / k;
                    target[c] = std::min(target[c], q);
                    s[c] = std::max(s[c], d);
                }
                if (s[c] != 0) {
                    g[c] = g[c] - s[c];
                    if (g[c] <= target[c]) {
                        s[c] = 0;
                        target[c] = b;
                    }
                } else {
                    g[c] = std::min(g[c] + r, b);
                }
            }
            At(y, n, c) = Saturate16(At(pX, n, c) * static_cast<double>(g[c]));
        }
    return y;
}

Samples Gate(const Samples& pX, int pP0, int pP1, int pP2, int pRate)
{
    const int64_t t = Threshold(pP0);
    const int64_t h = RoundHalfEven(pP1 / 1000.0 * pRate);
    const float r = PerSample(pP2, pRate);
    Samples y(pX.size());
    float g = 1, o = 0;
    int64_t quiet = 0;
    for (int64_t n = 0; n < FramesOf(pX); ++n) {
        if (std::abs(At(pX, n, 0)) > t || std::abs(At(pX, n, 1)) > t) {
            quiet = 0;
            o = 0.01f;
        } else {
            ++quiet;
        }
        if (quiet <= h) {
            if (o != 0) {
                g += o;
                if (g >= 1) {
                    o = 0;
                    g = 1;
                }
            }
        } else {
            g = std::max(g - r, 0.0f);
        }
        for (int c = 0; c < 2; ++c)
            At(y, n, c) = Saturate16(At(pX, n, c) * static_cast<double>(g));
    }
    return y;
}

Samples Enhancer(const Samples& pX, int pP0, int pP1)
{
    const double e = pP0 / 100.0 * 3;
    const double d = pP1 / 100.0;
    Samples y(pX.size());
    for (int64_t n = 0; n < FramesOf(pX); ++n)
        for (int c = 0; c < 2; ++c) {
            const int p = n > 0 ? At(pX, n - 1, c) : 0;
            At(y, n, c) = Saturate16(At(pX, n, c) * d + (At(pX, n, c) - p) * e);
        }
    return y;
}

/// The first frame at which two sample vectors differ, or -1.
int64_t FirstDifference(const Samples& pA, const Samples& pB)
{
    const size_t n = std::min(pA.size(), pB.size());
    for (size_t i = 0; i < n; ++i)
        if (pA[i] != pB[i])
            return static_cast<int64_t>(i / 2);
    return pA.size() == pB.size() ? -1 : static_cast<int64_t>(n / 2);
}

/// Noise whose level changes every pBurst frames (full, faint, medium, silent, loud spikes
/// over a faint bed), so that thresholds are crossed both ways and gains move and recover.
Samples BurstSignal(int64_t pFrames, int64_t pBurst, uint32_t pSeed)
{
    Samples x = NoiseSignal(pFrames, pSeed);
    const double levels[] = { 1.0, 0.05, 0.3, 0.0, 0.02 };
    for (int64_t n = 0; n < pFrames; ++n) {
        const int64_t part = (n / pBurst) % 5;
        for (int c = 0; c < 2; ++c) {
            const double v = At(x, n, c);
            const bool spike = part == 4 && n % 997 == 0;
            At(x, n, c) = spike ? At(x, n, c) : static_cast<int16_t>(std::trunc(v * levels[part]));
        }
    }
    return x;
}

Samples Constant(int64_t pFrames, int16_t pValue)
{
    return Samples(static_cast<size_t>(pFrames * 2), pValue);
}

TEST(DynamicsEffects, ChunkedRunsEqualTheFormulasOverTheWholeSignal)
{
    // 100000 frames: at 8000 Hz two full five-second chunks and a short last one; at
    // 11025 Hz one full chunk whose end (55125, odd) splits a look-ahead of 220.5 frames.
    struct Case {
        int id;
        std::vector<double> parms;
        int rate;
        std::function<Samples(const Samples&)> formula;
    };
    const std::vector<Case> cases = {
        { 120, { 50, 50 }, 8000, [](const Samples& x) { return Distortion(x, 50, 50); } },
        { 120, { 3, 77 }, 8000, [](const Samples& x) { return Distortion(x, 3, 77); } },
        { 121, { 50, 50, 50 }, 8000, [](const Samples& x) { return Overdrive(x, 50, 50, 50); } },
        { 121, { 7, 13, 100 }, 8000, [](const Samples& x) { return Overdrive(x, 7, 13, 100); } },
        { 122, { 50, 200, 0, 0 }, 8000,
            [](const Samples& x) { return Limiter(x, 50, 200, 0, 0, 8000); } },
        { 122, { 20, 3, 30, 6 }, 8000,
            [](const Samples& x) { return Limiter(x, 20, 3, 30, 6, 8000); } },
        { 123, { 50, 200, 100, 100, 0 }, 8000,
            [](const Samples& x) { return Compressor(x, 50, 200, 100, 100, 0, 8000); } },
        { 123, { 10, 7, 250, 60, -4 }, 8000,
            [](const Samples& x) { return Compressor(x, 10, 7, 250, 60, -4, 8000); } },
        { 124, { 4, 10, 50, 0 }, 8000,
            [](const Samples& x) { return Maximize(x, 4, 10, 50, 0, 8000); } },
        { 124, { 20, 400, 3, -6 }, 8000,
            [](const Samples& x) { return Maximize(x, 20, 400, 3, -6, 8000); } },
        { 124, { 12, 20, 30, -3 }, 11025,
            [](const Samples& x) { return Maximize(x, 12, 20, 30, -3, 11025); } },
        { 125, { 10, 100, 200 }, 8000,
            [](const Samples& x) { return Gate(x, 10, 100, 200, 8000); } },
        { 125, { 40, 1, 7 }, 11025, [](const Samples& x) { return Gate(x, 40, 1, 7, 11025); } },
        { 126, { 50, 100 }, 8000, [](const Samples& x) { return Enhancer(x, 50, 100); } },
        { 126, { 100, 37 }, 8000, [](const Samples& x) { return Enhancer(x, 100, 37); } },
    };
    const Samples x = BurstSignal(100000, 2900, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.id << " P0 " << c.parms[0] << " at " << c.rate);
        const Samples expected = c.formula(x);
        FxRun run = RunEffect(c.id, c.parms, x, c.rate);
        ASSERT_TRUE(run.Ok);
        EXPECT_EQ(FirstDifference(run.Out, expected), -1);
        EXPECT_EQ(run.Out.size(), x.size()); // no tail, no look-ahead in the output
    }
}

TEST(DynamicsEffects, NeutralSettingsPassTheInputButSaturateMinus32768)
{
    Samples x = NoiseSignal(3000, 2);
    Samples same = x;
    std::replace(same.begin(), same.end(), int16_t { -32768 }, int16_t { -32767 });
    struct Case {
        int id;
        std::vector<double> parms;
    };
    const std::vector<Case> cases = {
        { 120, { 1, 100 } }, // ゲイン 1, レベル 100
        { 122, { 1, 200, 100, 0 } }, // レシオ 100 gives back all the limiter removed
        { 126, { 0, 100 } }, // レベル 0, 原音 100
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        FxRun run = RunEffect(c.id, c.parms, x);
        ASSERT_TRUE(run.Ok);
        EXPECT_EQ(FirstDifference(run.Out, same), -1);
    }
}

TEST(DynamicsEffects, LimiterAtFullMixReturnsTheInputTimesTheOutputGain)
{
    const Samples x = NoiseSignal(2000, 6);
    FxRun run = RunEffect(122, { 5, 1, 100, -7 }, x);
    ASSERT_TRUE(run.Ok);
    const double o = static_cast<float>(std::pow(10.0, -7 / 20.0));
    for (size_t i = 0; i < x.size(); ++i)
        ASSERT_EQ(run.Out[i], Saturate16(x[i] * o)) << i;
}

TEST(DynamicsEffects, DistortionAndOverdriveClipAtTheirLevels)
{
    const Samples x = NoiseSignal(4000, 8);
    FxRun distortion = RunEffect(120, { 100, 50 }, x);
    // トーン 100 makes the tone filter pass its input, so the clip shows at the output.
    FxRun overdrive = RunEffect(121, { 100, 100, 50 }, x);
    FxRun silent = RunEffect(121, { 100, 50, 0 }, x);
    ASSERT_TRUE(distortion.Ok && overdrive.Ok && silent.Ok);
    const auto [dmin, dmax] = std::minmax_element(distortion.Out.begin(), distortion.Out.end());
    EXPECT_EQ(*dmin, -16384);
    EXPECT_EQ(*dmax, 16384);
    const auto [omin, omax] = std::minmax_element(overdrive.Out.begin(), overdrive.Out.end());
    EXPECT_EQ(*omin, -6553);
    EXPECT_EQ(*omax, 16383);
    EXPECT_EQ(silent.Out, Samples(x.size(), 0));
}

TEST(DynamicsEffects, CompressorHoldsOnLoudSamplesAndMovesOnQuietOnes)
{
    // Only samples above the threshold (16384): the gain never moves from 1.
    Samples loud = NoiseSignal(3000, 3);
    for (int16_t& v : loud)
        v = static_cast<int16_t>(v >= 0 ? 20000 + v / 3 : -20000 + v / 3);
    FxRun held = RunEffect(123, { 50, 200, 100, 100, 0 }, loud);
    ASSERT_TRUE(held.Ok);
    EXPECT_EQ(held.Out, loud);

    // One sample of -32768, then a steady 8000: at 8000 Hz the gain falls to 16384/32768 =
    // 0.5 along a line of 16 samples (2 ms) on the quiet samples, then returns to 1 at
    // 1/800 per sample (リリースT 100 ms), which takes 400 samples.
    Samples x = Constant(2000, 8000);
    x[0] = x[1] = -32768;
    FxRun run = RunEffect(123, { 50, 100, 100, 100, 0 }, x);
    ASSERT_TRUE(run.Ok);
    EXPECT_EQ(run.Out[0], -32767); // the gain does not move on the loud sample
    for (int64_t n = 1; n <= 16; ++n)
        EXPECT_EQ(At(run.Out, n, 0), 8000 - 250 * n) << n;
    for (int64_t n = 17; n < 410; ++n)
        EXPECT_NEAR(At(run.Out, n, 1), 4000 + 10 * (n - 16), 1.0) << n;
    for (int64_t n = 420; n < 2000; ++n)
        ASSERT_EQ(At(run.Out, n, 0), 8000) << n;
}

TEST(DynamicsEffects, CompressorGainDriftsToTheSustainValue)
{
    // サスティン 50: with nothing above the threshold the gain falls from 1 to 0.5 at the
    // release rate (リリースT 10 ms = 80 samples per unit at 8000 Hz) and stays there.
    const Samples x = Constant(200, 1000);
    FxRun run = RunEffect(123, { 50, 10, 100, 50, 0 }, x);
    ASSERT_TRUE(run.Ok);
    EXPECT_NEAR(run.Out[20 * 2], 1000 * (1 - 21 / 80.0), 1.0);
    for (int64_t n = 41; n < 200; ++n)
        ASSERT_EQ(run.Out[static_cast<size_t>(n * 2)], 500) << n;
}

TEST(DynamicsEffects, LimiterReachesTheThresholdIn2MsAndReleasesLinearly)
{
    // One sample of -32768 over a steady 4000, limiter at 50 (16384): the gain falls to
    // 16384/32768 = 0.5 over W = 16 samples, starting on the loud sample itself; release
    // starts on the sample after the target is reached, at 1/800 per sample.
    Samples x = Constant(1500, 4000);
    x[0] = x[1] = -32768;
    FxRun run = RunEffect(122, { 50, 100, 0, 0 }, x);
    ASSERT_TRUE(run.Ok);
    EXPECT_EQ(At(run.Out, 0, 0), -31744); // -32768 x 31/32
    for (int64_t n = 1; n <= 15; ++n)
        EXPECT_EQ(At(run.Out, n, 1), 4000 - 125 * (n + 1)) << n;
    for (int64_t n = 16; n < 410; ++n)
        EXPECT_NEAR(At(run.Out, n, 0), 2000 + 5 * (n - 15), 1.0) << n;
    for (int64_t n = 420; n < 1500; ++n)
        ASSERT_EQ(At(run.Out, n, 1), 4000) << n;
}

TEST(DynamicsEffects, MaximizeStartsToLowerTheGainKFramesBeforeAPeak)
{
    // Rate 8000, アタックT 10 ms: K = 80 frames, look-ahead 160. A peak just after the first
    // chunk boundary (40000) is seen from the previous chunk.
    const int64_t peak = 40010;
    Samples bed = Constant(50000, 2000);
    Samples x = bed;
    At(x, peak, 0) = 30000;
    At(x, peak, 1) = -30000;
    const std::vector<double> parms = { 12, 10, 50, -6 };
    FxRun with = RunEffect(124, parms, x);
    FxRun without = RunEffect(124, parms, bed);
    ASSERT_TRUE(with.Ok && without.Ok);
    EXPECT_EQ(FirstDifference(with.Out, without.Out), peak - 80);
    EXPECT_EQ(FirstDifference(with.Out, Maximize(x, 12, 10, 50, -6, 8000)), -1);
    // Away from the peak the bed is lifted by the boost of 12 dB.
    EXPECT_EQ(without.Out[30000 * 2], RoundHalfEven(2000 * static_cast<double>(Db(12))));
    // The line of K steps meets the ceiling (16422 at -6 dB) on the frame before the peak;
    // in single precision the last step can land on the peak itself instead. So the peak
    // lies between one step under the ceiling and one release step (1/400) over it.
    const double ceiling = RoundHalfEven(static_cast<double>(Db(-6)) * 32767);
    const double q = ceiling / 30000;
    const double step = (static_cast<double>(Db(12)) - q) / 80;
    for (int c = 0; c < 2; ++c) {
        const int peakOut = std::abs(At(with.Out, peak, c));
        EXPECT_LE(peakOut, RoundHalfEven(30000 * (q + 1 / 400.0)) + 1) << c;
        EXPECT_GE(peakOut, RoundHalfEven(30000 * (q - step)) - 1) << c;
        EXPECT_LT(peakOut, 30000);
    }
}

TEST(DynamicsEffects, MaximizeWithoutBoostNeverRaisesAndFullScaleMeetsTheTop)
{
    const Samples x = BurstSignal(20000, 1500, 9);
    FxRun run = RunEffect(124, { 0, 10, 50, 0 }, x);
    ASSERT_TRUE(run.Ok);
    for (size_t i = 0; i < x.size(); ++i)
        ASSERT_LE(std::abs(run.Out[i]), std::abs(static_cast<int>(x[i]))) << i;
    EXPECT_EQ(run.Out[3], 32767); // NoiseSignal puts 32767 at frame 1, right channel
}

TEST(DynamicsEffects, MaximizeHoldsTheGainWhereTheLookAheadEnds)
{
    // 圧 20 dB: the gain rises by 1/800 per sample (リリースT 100 ms) throughout, except
    // over the last frames, whose look-ahead frame (K = 80 ahead) lies past the end.
    const Samples x = Constant(1000, 3000);
    FxRun run = RunEffect(124, { 20, 10, 100, 0 }, x);
    ASSERT_TRUE(run.Ok);
    for (int64_t n = 1; n < 920; ++n)
        ASSERT_GT(At(run.Out, n, 0), At(run.Out, n - 1, 0)) << n;
    for (int64_t n = 920; n < 1000; ++n)
        ASSERT_EQ(At(run.Out, n, 0), At(run.Out, 919, 0)) << n;
}

TEST(DynamicsEffects, GateHoldsThenClosesAndReopensOver100Samples)
{
    // Threshold 10 % (3277), トリガー 50 ms (400 samples at 8000 Hz), タイム 100 ms (the gain
    // falls by 1/800 per sample).
    Samples x = Constant(3000, 1000);
    for (int64_t n = 0; n < 100; ++n)
        At(x, n, 0) = 10000; // the left channel alone opens the gate for both
    for (int64_t n = 2000; n < 3000; ++n)
        At(x, n, 1) = -10000;
    FxRun run = RunEffect(125, { 10, 50, 100 }, x);
    ASSERT_TRUE(run.Ok);
    EXPECT_EQ(FirstDifference(run.Out, Gate(x, 10, 50, 100, 8000)), -1);
    for (int64_t n = 100; n <= 499; ++n)
        ASSERT_EQ(At(run.Out, n, 1), 1000) << n; // held open for H quiet samples
    EXPECT_EQ(At(run.Out, 500, 1), RoundHalfEven(1000 * (1 - 1 / 800.0)));
    EXPECT_NEAR(At(run.Out, 899, 1), 500, 1.0);
    for (int64_t n = 1301; n < 2000; ++n)
        ASSERT_EQ(At(run.Out, n, 1), 0) << n;
    // Reopening: 1/100 per sample from silence.
    EXPECT_EQ(At(run.Out, 2000, 1), -100);
    EXPECT_EQ(At(run.Out, 2000, 0), 10);
    EXPECT_NEAR(At(run.Out, 2049, 1), -5000, 1.0);
    for (int64_t n = 2100; n < 3000; ++n)
        ASSERT_EQ(At(run.Out, n, 1), -10000) << n;
}

TEST(DynamicsEffects, EnhancerAddsTheDifferenceOfSuccessiveSamplesAcrossChunks)
{
    // A step at the start of the second chunk (40000 at 8000 Hz): the difference comes from
    // the last sample of the first chunk.
    Samples x = Constant(45000, 1000);
    for (int64_t n = 40000; n < 45000; ++n)
        At(x, n, 0) = At(x, n, 1) = 3000;
    FxRun run = RunEffect(126, { 50, 100 }, x);
    ASSERT_TRUE(run.Ok);
    EXPECT_EQ(At(run.Out, 0, 0), 2500); // 1000 + 1.5 x (1000 - 0)
    EXPECT_EQ(At(run.Out, 1, 0), 1000);
    EXPECT_EQ(At(run.Out, 40000, 0), 6000);
    EXPECT_EQ(At(run.Out, 40001, 1), 3000);
}

TEST(DynamicsEffects, TimesOfZeroCountAsOneMillisecond)
{
    // No fader offers 0 ms, but a value from elsewhere must not divide by zero: it renders
    // as 1 ms would.
    const Samples x = BurstSignal(8000, 700, 11);
    struct Case {
        int id;
        std::vector<double> zero;
        std::vector<double> one;
    };
    const std::vector<Case> cases = {
        { 122, { 30, 0, 0, 0 }, { 30, 1, 0, 0 } },
        { 123, { 30, 0, 100, 80, 0 }, { 30, 1, 100, 80, 0 } },
        { 124, { 6, 0, 0, -3 }, { 6, 1, 1, -3 } },
        { 125, { 30, 0, 0 }, { 30, 0, 1 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        FxRun zero = RunEffect(c.id, c.zero, x);
        FxRun one = RunEffect(c.id, c.one, x);
        ASSERT_TRUE(zero.Ok && one.Ok);
        EXPECT_EQ(FirstDifference(zero.Out, one.Out), -1);
        EXPECT_NE(zero.Out, Samples(x.size(), 0));
    }
}

TEST(DynamicsEffects, PartialRangesKeepTheirLengthAndMaximizeLooksPastThem)
{
    // None of these effects has a tail; a range inside the file gives exactly its length,
    // and maximize looks ahead past the range into the rest of the file.
    const Samples x = BurstSignal(6000, 700, 5);
    for (int id = 120; id <= 126; ++id) {
        SCOPED_TRACE(id);
        FxRun run = RunEffect(id, { 10, 10, 10, 0, 0 }, x, 8000, false, 1000, 4000);
        ASSERT_TRUE(run.Ok);
        EXPECT_EQ(FramesOf(run.Out), 3000);
    }
    const Samples part(x.begin() + 1000 * 2, x.begin() + 4000 * 2);
    const Samples withRest(x.begin() + 1000 * 2, x.end());
    FxRun run = RunEffect(124, { 6, 10, 50, -3 }, x, 8000, false, 1000, 4000);
    ASSERT_TRUE(run.Ok);
    Samples expected = Maximize(withRest, 6, 10, 50, -3, 8000);
    expected.resize(part.size());
    EXPECT_EQ(FirstDifference(run.Out, expected), -1);
}

} // namespace
} // namespace tarvok::test
