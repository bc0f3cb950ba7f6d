#include "base/numeric.h"
#include "support/fx_runner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tarvok::test {
namespace {

constexpr double kPi = std::numbers::pi;

/// Sample of channel pC at frame pN, silence outside the signal.
int16_t At(const Samples& pX, int64_t pN, int pC)
{
    if (pN < 0 || pN >= static_cast<int64_t>(pX.size() / 2))
        return 0;
    return pX[static_cast<size_t>(pN * 2 + pC)];
}

int64_t FramesOf(const Samples& pX) { return static_cast<int64_t>(pX.size() / 2); }

Samples DelayFormula(const Samples& pX, int64_t pDl, int64_t pDr, double pWet, double pDry)
{
    const int64_t len = FramesOf(pX) + std::max(pDl, pDr);
    Samples y(static_cast<size_t>(len * 2));
    for (int64_t n = 0; n < len; ++n)
        for (int c = 0; c < 2; ++c)
            y[static_cast<size_t>(n * 2 + c)]
                = Saturate16(At(pX, n, c) * pDry + At(pX, n - (c == 0 ? pDl : pDr), c) * pWet);
    return y;
}

Samples EchoFormula(const Samples& pX, int64_t pD, double pG)
{
    const int64_t len = FramesOf(pX) + 8 * pD;
    Samples y(static_cast<size_t>(len * 2));
    for (int64_t n = 0; n < len; ++n)
        for (int c = 0; c < 2; ++c) {
            const double yd = n - pD >= 0 ? y[static_cast<size_t>((n - pD) * 2 + c)] : 0.0;
            y[static_cast<size_t>(n * 2 + c)] = Saturate16(At(pX, n, c) + yd * pG);
        }
    return y;
}

/// The modulated delay over the whole signal: reads before the start are silence and
/// count; reads past the end do not count.
Samples ModulatedFormula(const Samples& pX, double pF, int64_t pB, int64_t pD, double pPhiR,
    double pWet, double pDry, int32_t pRate)
{
    const int64_t len = FramesOf(pX);
    Samples y(pX.size());
    const double inc = 2 * kPi * pF / pRate;
    for (int c = 0; c < 2; ++c) {
        double phi = c == 0 ? 0.0 : pPhiR;
        int64_t p = 0;
        double q = 0;
        for (int64_t a = 0; a < len; ++a) {
            const double m = static_cast<double>(a + pB) + static_cast<double>(pD) * std::sin(phi);
            const auto i = static_cast<int64_t>(std::floor(m));
            const double f = m - std::floor(m);
            double acc = 0, w = 0;
            if (p < len) {
                acc += NearestEven(At(pX, p, c) * (1 - q));
                w += 1 - q;
            }
            if (i + 1 < len) {
                acc += NearestEven(At(pX, i + 1, c) * f);
                w += f;
            }
            for (int64_t k = p + 1; k <= i; ++k)
                if (k < len) {
                    acc += At(pX, k, c);
                    w += 1;
                }
            if (w != 0)
                acc = NearestEven(acc / w);
            p = i;
            q = f;
            y[static_cast<size_t>(a * 2 + c)] = Saturate16(At(pX, a, c) * pDry + acc * pWet);
            phi += inc;
        }
    }
    return y;
}

Samples SwingFormula(const Samples& pX, double pF, double pDepth, bool pOpposite, int32_t pRate)
{
    Samples y(pX.size());
    double phi = 0;
    for (int64_t n = 0; n < FramesOf(pX); ++n) {
        for (int c = 0; c < 2; ++c) {
            const double s = (c == 1 && pOpposite ? -1 : 1) * std::sin(phi) * pDepth;
            const double x = At(pX, n, c);
            const auto v = static_cast<int64_t>(NearestEven(s * x + x));
            y[static_cast<size_t>(n * 2 + c)] = Saturate16(static_cast<double>(v / 2));
        }
        phi += 2 * kPi * pF / pRate;
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

TEST(ModulationEffects, DelayWithDryOnlyReproducesTheInputFollowedBySilence)
{
    const Samples x = NoiseSignal(3000);
    FxRun run = RunEffect(106, { 100, 0, 100 }, x);
    ASSERT_TRUE(run.Ok);
    ASSERT_EQ(FramesOf(run.Out), 3000 + 800);
    for (size_t i = 0; i < x.size(); ++i)
        ASSERT_EQ(run.Out[i], x[i] == -32768 ? -32767 : x[i]) << i;
    for (size_t i = x.size(); i < run.Out.size(); ++i)
        ASSERT_EQ(run.Out[i], 0) << i;
}

TEST(ModulationEffects, StereoDelayDelaysEachChannelBy44SamplesPerMsAt44100)
{
    Samples x(2 * 6000, 0);
    x[0] = 1000;
    x[1] = -2000;
    FxRun run = RunEffect(107, { 100, 80, 100, 0 }, x, 44100);
    ASSERT_TRUE(run.Ok);
    ASSERT_EQ(FramesOf(run.Out), 6000 + 4400);
    EXPECT_EQ(run.Out[4400 * 2], 1000);
    EXPECT_EQ(run.Out[3520 * 2 + 1], -2000);
    EXPECT_EQ(run.Out[0], 0);
}

TEST(ModulationEffects, EchoRepeatsDecayByTheLevelAndTheTailIsEightDelays)
{
    Samples x(2 * 100, 0);
    x[0] = 10000;
    FxRun run = RunEffect(108, { 10, 50 }, x); // d = 80 frames at 8000 Hz
    ASSERT_TRUE(run.Ok);
    ASSERT_EQ(FramesOf(run.Out), 100 + 8 * 80);
    const int expected[] = { 10000, 5000, 2500, 1250, 625, 312, 156, 78, 39 };
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(run.Out[static_cast<size_t>(k * 80 * 2)], expected[k]) << k;
}

TEST(ModulationEffects, AutopanAndTremoloWithDepthZeroHalveTowardZero)
{
    Samples x = { 7, -7, 3, -3, -32768, 32767, 1, -1 };
    for (int id : { 113, 114 }) {
        SCOPED_TRACE(id);
        FxRun run = RunEffect(id, { 10, 0 }, x);
        ASSERT_TRUE(run.Ok);
        EXPECT_EQ(run.Out, (Samples { 3, -3, 1, -1, -16384, 16383, 0, 0 }));
    }
}

TEST(ModulationEffects, VibratoHasNoDrySignal)
{
    // A single click: the dry path would put it at frame 0 of the output.
    Samples x(2 * 400, 0);
    x[0] = 20000;
    x[1] = 20000;
    FxRun run = RunEffect(115, { 50, 50 }, x);
    ASSERT_TRUE(run.Ok);
    // The read position starts B = round(R/300 + 1) frames ahead, so frame 0 averages the
    // click over B + 1 frames instead of passing it.
    const int64_t b = RoundHalfEven(8000 / 300.0 + 1);
    EXPECT_EQ(run.Out[0], RoundHalfEven(20000.0 / static_cast<double>(b + 1)));
}

TEST(ModulationEffects, ChunkedRunsEqualTheFormulasOverTheWholeSignal)
{
    // 12.5 seconds at 8000 Hz: two full five-second chunks and a short last one.
    const int32_t rate = 8000;
    const Samples x = NoiseSignal(100000, 3);
    struct Case {
        int id;
        std::vector<double> parms;
        Samples expected;
    };
    const std::vector<Case> cases = {
        { 106, { 300, 60, 80 }, DelayFormula(x, 2400, 2400, 0.6, 0.8) },
        { 107, { 500, 20, 30, 100 }, DelayFormula(x, 4000, 160, 0.3, 1.0) },
        { 108, { 700, 80 }, EchoFormula(x, 5600, 0.8) },
        { 110, { 20, 70, 50, 100 }, ModulatedFormula(x, 0.4, 10, 7, 50 * kPi / 4, 0.5, 0.5, rate) },
        { 112, { 50, 100, 25, 60 },
            ModulatedFormula(x, 5.0, 160, 8, 25 * kPi / 4, 0.3, 0.7, rate) },
        { 115, { 70, 40 }, ModulatedFormula(x, 7.0, 28, 11, 0, 1.0, 0.0, rate) },
        { 113, { 30, 70 }, SwingFormula(x, 0.6, 0.7, true, rate) },
        { 114, { 33, 90 }, SwingFormula(x, 16.5, 0.9, false, rate) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        FxRun run = RunEffect(c.id, c.parms, x, rate);
        ASSERT_TRUE(run.Ok);
        EXPECT_EQ(FramesOf(run.Out), FramesOf(c.expected));
        EXPECT_EQ(FirstDifference(run.Out, c.expected), -1);
    }
}

TEST(ModulationEffects, PhaserReadsBeforeTheChunkFromThePreviousChunk)
{
    // At 44100 Hz and depth 100 the swing (15) exceeds the base offset (12), so reads fall
    // before the current sample and, at chunk starts, into the previous chunk.
    const int32_t rate = 44100;
    const Samples x = NoiseSignal(5 * rate + 3000, 5);
    const Samples expected = ModulatedFormula(x, 9.0, 12, 15, 100 * kPi / 4, 0.5, 0.5, rate);
    FxRun run = RunEffect(111, { 70, 100, 100, 100 }, x, rate);
    ASSERT_TRUE(run.Ok);
    EXPECT_EQ(FirstDifference(run.Out, expected), -1);
}

TEST(ModulationEffects, PreviewHasNoTail)
{
    const Samples x = NoiseSignal(2000);
    for (int id : { 106, 107, 108, 109 }) {
        SCOPED_TRACE(id);
        FxRun run = RunEffect(id, { 50, 50, 50, 32, 50, 30, 50 }, x, 8000, true);
        ASSERT_TRUE(run.Ok);
        EXPECT_EQ(FramesOf(run.Out), 2000);
    }
}

TEST(ModulationEffects, ReverbHasItsTailIsNotSilentAndFollowsItsSeed)
{
    Samples x(2 * 4000, 0);
    for (size_t i = 0; i < 400; ++i)
        x[i] = static_cast<int16_t>(i % 2 == 0 ? 12000 : -9000);
    const std::vector<double> parms = { 50, 50, 50, 32, 50, 30, 0 };
    FxRun a = RunEffect(109, parms, x, 8000, false, 0, -1, 11);
    FxRun b = RunEffect(109, parms, x, 8000, false, 0, -1, 11);
    FxRun c = RunEffect(109, parms, x, 8000, false, 0, -1, 12);
    ASSERT_TRUE(a.Ok && b.Ok && c.Ok);
    // The longest tap of N = 32 taps at 8000 Hz with 遅延 50 lies near
    // 140 x (19.2e6 x 33/32 + 100000)/8000 frames.
    EXPECT_GT(FramesOf(a.Out), 4000 + 300000);
    EXPECT_LT(FramesOf(a.Out), 4000 + 360000);
    int64_t energy = 0;
    for (int16_t v : a.Out)
        energy += std::abs(v);
    EXPECT_GT(energy, 0);
    EXPECT_EQ(a.Out, b.Out);
    EXPECT_NE(a.Out, c.Out);
}

TEST(ModulationEffects, ProcRendersOnlyTheAskedRangeAndRefusesAnEmptyOne)
{
    const Samples x = NoiseSignal(500);
    FxRun run = RunEffect(106, { 1, 0, 100 }, x, 8000, false, 100, 300);
    ASSERT_TRUE(run.Ok);
    ASSERT_EQ(FramesOf(run.Out), 200 + 8);
    for (int64_t n = 0; n < 200; ++n)
        ASSERT_EQ(run.Out[static_cast<size_t>(n * 2)], Saturate16(At(x, 100 + n, 0))) << n;
    EXPECT_FALSE(RunEffect(106, { 1, 0, 100 }, x, 8000, false, 300, 300).Ok);
    EXPECT_FALSE(RunEffect(106, { 1, 0, 100 }, x, 8000, false, 600, 900).Ok);
    EXPECT_FALSE(RunEffect(132, {}, x).Ok); // reverse is not the processor's
}

} // namespace
} // namespace tarvok::test
