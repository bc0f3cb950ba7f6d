#include "base/numeric.h"
#include "fx/time_pitch_engine.h"
#include "support/fx_runner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace tarvok::test {
namespace {

int64_t FramesOf(const Samples& pX) { return static_cast<int64_t>(pX.size() / 2); }

/// Sample of channel pC at frame pN (pN inside the signal).
double X(const Samples& pX, int64_t pN, int pC)
{
    return static_cast<double>(pX[static_cast<size_t>(pN * 2 + pC)]);
}

int16_t Sat(double pV) { return Saturate16(pV); }

double Round(double pV) { return static_cast<double>(RoundHalfEven(pV)); }

/// The weights of a crossfade of pPoints points: fade-out and fade-in at k = 0..X-1.
struct Weights {
    std::vector<double> Out, In;
    Weights(int64_t pPoints, bool pLinearOnly)
    {
        const double wl = pLinearOnly ? 1.0 : 0.4;
        const double wc = pLinearOnly ? 0.0 : 0.6;
        const auto x = static_cast<double>(pPoints);
        for (int64_t k = 0; k < pPoints; ++k) {
            const auto m = static_cast<double>(k + 1);
            Out.push_back(wl * (x - m) / x + wc * (1 - std::pow(m / x, 3)));
            In.push_back(wl * m / x + wc * (1 - std::pow((x - m) / x, 3)));
        }
    }
};

/// A stereo sine of pHz at amplitude pAmp, the right channel a quarter turn later.
Samples Sine(int64_t pFrames, double pHz, int32_t pRate, double pAmp = 12000)
{
    Samples s(static_cast<size_t>(pFrames * 2));
    for (int64_t n = 0; n < pFrames; ++n) {
        const double a = 2 * std::numbers::pi * pHz * static_cast<double>(n) / pRate;
        s[static_cast<size_t>(n * 2)] = static_cast<int16_t>(std::lround(pAmp * std::sin(a)));
        s[static_cast<size_t>(n * 2 + 1)] = static_cast<int16_t>(std::lround(pAmp * std::cos(a)));
    }
    return s;
}

/// Noise that never reaches -32768, so that saturation does not hide a copy.
Samples Noise(int64_t pFrames, uint32_t pSeed)
{
    Samples s = NoiseSignal(pFrames, pSeed);
    for (int16_t& v : s)
        v = std::max<int16_t>(v, -32767);
    return s;
}

/// Octave over the whole signal as one block sequence: reads up to the last frame.
Samples OctaveFormula(const Samples& pX, double pG0, double pG1, double pG2, int32_t pRate)
{
    const int64_t len = FramesOf(pX);
    const int64_t b = pRate / 10;
    const int64_t x = b / 4;
    const Weights w(x, false);
    Samples y(pX.size());
    for (int c = 0; c < 2; ++c) {
        std::vector<double> ov(static_cast<size_t>(x), 0);
        double s = 0;
        for (int64_t p = 0; p <= len - 1; p += b)
            for (int64_t j = 0; j < x + b; ++j) {
                double v = 0;
                const double half = static_cast<double>(p) + j / 2.0;
                if (half < static_cast<double>(len - 1))
                    v = Round(X(pX, RoundHalfEven(half), c) * pG1
                        + X(pX, RoundHalfEven(static_cast<double>(p) + j / 4.0), c) * pG2);
                v = Round(v * 0.1 + s * 0.9);
                s = v;
                if (j < x)
                    v = Round(ov[static_cast<size_t>(j)] * w.Out[static_cast<size_t>(j)]
                        + v * w.In[static_cast<size_t>(j)]);
                if (j >= b) {
                    ov[static_cast<size_t>(j - b)] = Sat(v);
                    continue;
                }
                if (p + j < len)
                    y[static_cast<size_t>((p + j) * 2 + c)] = Sat(Round(v + X(pX, p + j, c) * pG0));
            }
    }
    return y;
}

/// The pitch-shift ratio: table step plus fine/1000, times the octave factor, in single
/// precision.
float Ratio(int pSemi, int pFine)
{
    const float t[12] = { 1.0f, 1.0595f, 1.1225f, 1.1892f, 1.2599f, 1.3348f, 1.4142f, 1.4983f,
        1.5874f, 1.6818f, 1.7818f, 1.8877f };
    const int s = ((pSemi % 12) + 12) % 12;
    const auto o = static_cast<float>(std::pow(2.0, std::floor(pSemi / 12.0)));
    return (t[s] + static_cast<float>(pFine) * 0.001f) * o;
}

/// Pitch shift over the whole signal; a read past the end is silence.
Samples PitchFormula(
    const Samples& pX, int pSemi, int pFine, double pLevel, double pDry, int32_t pRate)
{
    const int64_t len = FramesOf(pX);
    const double r = Ratio(pSemi, pFine);
    const int64_t g = pRate / RoundHalfEven(1.5 * std::abs(pSemi) + 4);
    const int64_t x = g / 4;
    const int64_t k = r > 1 ? static_cast<int64_t>(std::floor(r)) - 1 : 0;
    const Weights w(x, false);
    Samples y(pX.size());
    for (int c = 0; c < 2; ++c) {
        std::vector<double> ov(static_cast<size_t>(x), 0);
        for (int64_t p = 0; p <= len - 1; p += g)
            for (int64_t j = 0; j < x + g; ++j) {
                const double t = static_cast<double>(p) + static_cast<double>(j) * r;
                const auto i = static_cast<int64_t>(std::floor(t));
                const double f = t - std::floor(t);
                const int64_t i2 = i + k + 1;
                double v = 0;
                if (i < len && i2 < len) {
                    v = Round(X(pX, i, c) * (1 - f) + X(pX, i2, c) * f);
                    if (k >= 1) {
                        for (int64_t m = i + 1; m <= i2 - 1; ++m)
                            v += X(pX, m, c);
                        v = Round(v / static_cast<double>(k + 1));
                    }
                }
                if (j < x)
                    v = Round(ov[static_cast<size_t>(j)] * w.Out[static_cast<size_t>(j)]
                        + v * w.In[static_cast<size_t>(j)]);
                if (j >= g) {
                    ov[static_cast<size_t>(j - g)] = Sat(v);
                    continue;
                }
                if (p + j < len)
                    y[static_cast<size_t>((p + j) * 2 + c)]
                        = Sat(Round(v * pLevel + X(pX, p + j, c) * pDry));
            }
    }
    return y;
}

/// Time stretch as its chunks see the signal: chunks of round(C0 S) input frames with as
/// much look-ahead, segments joined at the window of smallest score, scored directly.
Samples StretchFormula(const Samples& pX, double pS, int32_t pRate)
{
    const int64_t len = FramesOf(pX);
    const int64_t seg = RoundHalfEven(pRate / (std::abs(1 - pS) * 28 + 1));
    int64_t xf = seg / 5;
    if (static_cast<double>(xf) < pRate / 24.0)
        xf = RoundHalfEven(pRate / 24.0);
    xf = xf / 2 * 2;
    const int64_t h = xf / 2;
    const Weights w(xf, pS == 1.0);
    const int64_t c0 = (5 * pRate / seg) * seg;
    const int64_t chunk = RoundHalfEven(static_cast<double>(c0) * pS);
    std::vector<int64_t> cont(static_cast<size_t>(seg * 2), 0);
    bool first = true;
    Samples y;
    for (int64_t start = 0; start < len; start += chunk) {
        const int64_t n = std::min(chunk, len - start);
        const int64_t e = std::min(start + n + chunk, len) - 1 - start; // E
        auto in = [&](int64_t pI, int pC) { return X(pX, start + pI, pC); };
        const int64_t outN = std::max<int64_t>(RoundHalfEven(static_cast<double>(n) / pS), 1);
        for (int64_t p = 0; p < outN; p += seg) {
            const int64_t src = RoundHalfEven(static_cast<double>(p) * pS);
            int64_t b = h + 1;
            if (src <= e) {
                int64_t best = -1;
                int64_t bestJ = -1;
                for (int64_t j = h + 1; j <= seg - h - 1 && src + j <= e; ++j) {
                    int64_t score = 0; // (0.3 D + 0.6 F) / 0.3
                    for (int64_t i = j - h; i <= j; ++i)
                        for (int c = 0; c < 2; ++c) {
                            const auto xv = static_cast<int64_t>(in(src + i, c));
                            const int64_t pv = cont[static_cast<size_t>(i * 2 + c)];
                            score += std::abs(xv - pv) + 2 * std::abs(xv + std::abs(pv));
                        }
                    if (bestJ < 0 || score < best) {
                        best = score;
                        bestJ = j;
                    }
                }
                if (bestJ >= 0)
                    b = std::max(RoundHalfEven(static_cast<double>(bestJ) - h / 2.0), h + 1);
            }
            int64_t j = 0;
            for (; j < seg && p + j < outN; ++j)
                for (int c = 0; c < 2; ++c) {
                    double v = 0;
                    const auto pj = static_cast<double>(cont[static_cast<size_t>(j * 2 + c)]);
                    if (src + j > e)
                        v = 0;
                    else if (first)
                        v = in(j, c);
                    else if (j < b - h)
                        v = pj;
                    else if (j < b + h)
                        v = Round(pj * w.Out[static_cast<size_t>(j + h - b)]
                            + in(src + j, c) * w.In[static_cast<size_t>(j + h - b)]);
                    else
                        v = in(src + j, c);
                    y.push_back(Sat(v));
                }
            first = false;
            for (int64_t i = 0; i < seg; ++i)
                for (int c = 0; c < 2; ++c)
                    cont[static_cast<size_t>(i * 2 + c)]
                        = src + j + i <= e ? static_cast<int64_t>(in(src + j + i, c)) : 0;
        }
    }
    return y;
}

/// Speed change chunk by chunk (5 s chunks, 100 frames of look-ahead).
Samples SpeedFormula(const Samples& pX, double pS, int32_t pRate)
{
    const int64_t len = FramesOf(pX);
    const int64_t chunk = 5 * static_cast<int64_t>(pRate);
    const int64_t k = pS > 1 ? static_cast<int64_t>(std::floor(pS)) - 1 : 0;
    Samples y;
    for (int64_t start = 0; start < len; start += chunk) {
        const int64_t n = std::min(chunk, len - start);
        if (n < 2)
            continue;
        const int64_t readable = std::min(start + n + 100, len) - start;
        auto in = [&](int64_t pI, int pC) { return pI < readable ? X(pX, start + pI, pC) : 0.0; };
        const int64_t outN = std::max<int64_t>(RoundHalfEven(static_cast<double>(n) / pS) - 1, 1);
        for (int64_t m = 0; m < outN; ++m) {
            const double t = static_cast<double>(m) * pS;
            const auto i = static_cast<int64_t>(std::floor(t));
            const auto f = static_cast<float>(t - std::floor(t));
            const float g = 1.0f - f;
            for (int c = 0; c < 2; ++c) {
                double v = Round(in(i, c) * g + in(i + k + 1, c) * f);
                if (k >= 1) {
                    for (int64_t q = i + 1; q <= i + k; ++q)
                        v += in(q, c);
                    v = Round(v / static_cast<double>(k + 1));
                }
                y.push_back(Sat(v));
            }
        }
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

constexpr int32_t kRate = 8000;

TEST(PitchTimeEffects, OctaveWithOnlyTheDryPathReproducesTheInput)
{
    const Samples x = Noise(13 * kRate + 77, 3);
    FxRun run = RunEffect(116, { 100, 0, 0 }, x, kRate);
    ASSERT_TRUE(run.Ok);
    EXPECT_EQ(FirstDifference(run.Out, x), -1);
}

TEST(PitchTimeEffects, OctaveAcrossChunksEqualsTheFormulaOverTheWholeSignal)
{
    // 13 s at 8000 Hz: chunks of 40000 frames, the last one short of a block.
    const Samples x = Noise(13 * kRate + 333, 4);
    const int cases[][3] = { { 100, 100, 0 }, { 0, 100, 100 }, { 50, 200, 200 }, { 0, 0, 150 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c[0] << " " << c[1] << " " << c[2]);
        FxRun run = RunEffect(116, { double(c[0]), double(c[1]), double(c[2]) }, x, kRate);
        ASSERT_TRUE(run.Ok);
        const Samples expected = OctaveFormula(x, c[0] / 100.0, c[1] / 100.0, c[2] / 100.0, kRate);
        EXPECT_EQ(FirstDifference(run.Out, expected), -1);
    }
}

TEST(PitchTimeEffects, PitchShiftAtRatioOneKeepsTheInputButForTheCrossfades)
{
    const Samples x = Noise(3 * kRate, 5);
    FxRun run = RunEffect(117, { 0, 0, 100, 0 }, x, kRate);
    ASSERT_TRUE(run.Ok);
    ASSERT_EQ(run.Out.size(), x.size());
    const int64_t g = kRate / 4; // grains of R div 4
    const int64_t fade = g / 4;
    const Weights w(fade, false);
    for (int64_t n = 0; n < FramesOf(x); ++n)
        for (int c = 0; c < 2; ++c) {
            const double in = X(x, n, c);
            const double out = X(run.Out, n, c);
            const int64_t k = n % g;
            if (n == FramesOf(x) - 1) {
                // The last frame's interpolation partner lies past the end: silence.
                ASSERT_EQ(out, 0);
            } else if (k >= fade) {
                ASSERT_EQ(out, in) << n;
            } else if (n < g) {
                // The first grain fades in from silence.
                ASSERT_EQ(out, Sat(Round(in * w.In[static_cast<size_t>(k)]))) << n;
            } else {
                // Identical material crossfaded: up to 1.45 times louder in the middle.
                ASSERT_EQ(out,
                    Sat(Round(
                        in * w.Out[static_cast<size_t>(k)] + in * w.In[static_cast<size_t>(k)])))
                    << n;
                ASSERT_LE(std::abs(out), 1.45 * std::abs(in) + 1) << n;
            }
        }
}

TEST(PitchTimeEffects, PitchShiftAcrossChunksEqualsTheFormulaOverTheWholeSignal)
{
    // -12 reads at half speed, +12 at twice (averaging pairs), -1 at 1.0595 x 0.5 = ...
    // and +7 with 微調整 at 1.4983 + 0.05; every one mixes in some dry signal.
    const Samples x = Noise(11 * kRate + 19, 6);
    const int cases[][4] = { { -12, 0, 100, 0 }, { 12, 0, 100, 0 }, { -1, 0, 80, 50 },
        { 7, 50, 100, 20 }, { 0, -100, 150, 0 }, { -24, 0, 100, 0 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c[0] << " " << c[1]);
        FxRun run
            = RunEffect(117, { double(c[0]), double(c[1]), double(c[2]), double(c[3]) }, x, kRate);
        ASSERT_TRUE(run.Ok);
        const Samples expected = PitchFormula(x, c[0], c[1], c[2] / 100.0, c[3] / 100.0, kRate);
        EXPECT_EQ(FirstDifference(run.Out, expected), -1);
    }
    EXPECT_FLOAT_EQ(Ratio(-12, 0), 0.5f);
    EXPECT_FLOAT_EQ(Ratio(12, 0), 2.0f);
    EXPECT_FLOAT_EQ(Ratio(-1, 0), 0.94385f);
}

TEST(PitchTimeEffects, PitchShiftReadsPastTheChunkAndItsLookAheadAsSilence)
{
    // +24 reads at ratio 4 with grains of R/40 = 200 frames and 500 frames of look-ahead:
    // the last grain of the first 40000-frame chunk runs out of input at j = 174.
    Samples x(static_cast<size_t>(12 * kRate * 2), 1000);
    FxRun run = RunEffect(117, { 24, 0, 100, 0 }, x, kRate);
    ASSERT_TRUE(run.Ok);
    const int64_t p = 40000 - 200;
    EXPECT_EQ(X(run.Out, p + 173, 0), 1000);
    for (int64_t j = 174; j < 200; ++j)
        ASSERT_EQ(X(run.Out, p + j, 0), 0) << j;
    EXPECT_NE(X(run.Out, 40000 + 100, 0), 0);
}

TEST(PitchTimeEffects, TimeStretchAtOneIsTheInput)
{
    const Samples x = Noise(12 * kRate + 5, 7);
    FxRun run = RunEffect(118, { 1.0 }, x, kRate);
    ASSERT_TRUE(run.Ok);
    EXPECT_EQ(FirstDifference(run.Out, x), -1);
}

TEST(PitchTimeEffects, TimeStretchLengthsAndSamplesFollowTheChunkedFormula)
{
    const Samples x = Noise(23 * kRate + 101, 8);
    for (double s : { 2.0, 0.5, 1.25, 0.8, 2.2, 0.4 }) {
        SCOPED_TRACE(s);
        FxRun run = RunEffect(118, { s }, x, kRate);
        ASSERT_TRUE(run.Ok);
        // Each chunk of n input frames gives round(n / S) output frames.
        const int64_t seg = RoundHalfEven(kRate / (std::abs(1 - s) * 28 + 1));
        const int64_t chunk = RoundHalfEven(static_cast<double>((5 * kRate / seg) * seg) * s);
        int64_t frames = 0;
        for (int64_t at = 0; at < FramesOf(x); at += chunk)
            frames += RoundHalfEven(static_cast<double>(std::min(chunk, FramesOf(x) - at)) / s);
        EXPECT_EQ(FramesOf(run.Out), frames);
        EXPECT_NEAR(static_cast<double>(frames), static_cast<double>(FramesOf(x)) / s, 4.0);
        EXPECT_EQ(FirstDifference(run.Out, StretchFormula(x, s, kRate)), -1);
        // The first segment is the input itself, without a crossfade.
        EXPECT_EQ(FirstDifference(Samples(run.Out.begin(), run.Out.begin() + seg * 2),
                      Samples(x.begin(), x.begin() + seg * 2)),
            -1);
    }
}

TEST(PitchTimeEffects, TimeStretchOfASineKeepsItsPitch)
{
    // Real material: the splice search has to find matching periods.
    const Samples x = Sine(6 * 44100, 440, 44100);
    for (double s : { 0.5, 1.25, 2.0 }) {
        SCOPED_TRACE(s);
        FxRun run = RunEffect(118, { s }, x, 44100);
        ASSERT_TRUE(run.Ok);
        const int64_t frames = FramesOf(run.Out);
        int crossings = 0;
        for (int64_t n = 1; n < frames; ++n)
            crossings += (X(run.Out, n - 1, 0) < 0) != (X(run.Out, n, 0) < 0) ? 1 : 0;
        const double hz = crossings / 2.0 / (static_cast<double>(frames) / 44100);
        EXPECT_NEAR(hz, 440, 15);
    }
}

TEST(PitchTimeEffects, SpeedChangeAveragesPairsAtTwoAndInterpolatesAtHalf)
{
    Samples x;
    for (int i = 0; i < 40; ++i) {
        x.push_back(static_cast<int16_t>(i * i));
        x.push_back(static_cast<int16_t>(-i * 7 + (i % 3)));
    }
    FxRun two = RunEffect(119, { 2.0 }, x, kRate);
    ASSERT_TRUE(two.Ok);
    ASSERT_EQ(FramesOf(two.Out), 40 / 2 - 1);
    for (int64_t m = 0; m < FramesOf(two.Out); ++m)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(X(two.Out, m, c), Round((X(x, 2 * m, c) + X(x, 2 * m + 1, c)) / 2)) << m;
    FxRun half = RunEffect(119, { 0.5 }, x, kRate);
    ASSERT_TRUE(half.Ok);
    ASSERT_EQ(FramesOf(half.Out), 80 - 1);
    for (int64_t m = 0; m < FramesOf(half.Out); ++m)
        for (int c = 0; c < 2; ++c) {
            const int64_t i = m / 2;
            const double v = m % 2 == 0 ? X(x, i, c) : Round((X(x, i, c) + X(x, i + 1, c)) / 2);
            ASSERT_EQ(X(half.Out, m, c), v) << m;
        }
}

TEST(PitchTimeEffects, SpeedChangeIsOneFrameShorterPerChunk)
{
    // 10 s and one frame: chunks of 40000, 40000 and 1 frames; the last adds nothing.
    const Samples x = Noise(10 * kRate + 1, 9);
    for (double s : { 2.0, 0.5, 1.37, 2.2, 0.4 }) {
        SCOPED_TRACE(s);
        FxRun run = RunEffect(119, { s }, x, kRate);
        ASSERT_TRUE(run.Ok);
        const int64_t expected = (RoundHalfEven(40000 / s) - 1) * 2;
        EXPECT_EQ(FramesOf(run.Out), expected);
        EXPECT_EQ(FirstDifference(run.Out, SpeedFormula(x, s, kRate)), -1);
    }
}

TEST(PitchTimeEffects, RatiosOutsideWhatTheEffectsRenderAreRefused)
{
    const Samples x = Noise(1000, 10);
    for (double s : { 0.0, -1.0, 50.0, std::nan("") }) {
        SCOPED_TRACE(s);
        EXPECT_FALSE(RunEffect(118, { s }, x, kRate).Ok);
        EXPECT_FALSE(RunEffect(119, { s }, x, kRate).Ok);
    }
}

/// An engine whose stream holds back pLatency frames until the end and resamples by
/// picking the nearest earlier input frame: enough to check what the kernel makes of a
/// stream's timing.
class DelayingEngine : public TimePitchEngine {
public:
    explicit DelayingEngine(int64_t pLatency)
        : latency_(pLatency)
    {
    }
    std::unique_ptr<TimePitchStream> Open(const TimePitchRequest& pRequest) override
    {
        last = pRequest;
        ++opened;
        return std::make_unique<Stream>(pRequest.TimeRatio, latency_);
    }
    TimePitchRequest last;
    int opened = 0;

private:
    class Stream : public TimePitchStream {
    public:
        Stream(double pRatio, int64_t pLatency)
            : ratio_(pRatio)
            , latency_(pLatency)
        {
        }
        bool Push(const float* pFrames, int64_t pCount, bool pFinal) override
        {
            input_.insert(input_.end(), pFrames, pFrames + pCount * 2);
            final_ = final_ || pFinal;
            return true;
        }
        int64_t Pull(float* pOut, int64_t pMax) override
        {
            const auto in = static_cast<int64_t>(input_.size() / 2);
            // Output frame m stands for input frame floor(m / ratio); the end stops one
            // short, as a real stream may.
            const int64_t total = final_ ? static_cast<int64_t>(in * ratio_) - 1
                                         : static_cast<int64_t>((in - latency_) * ratio_);
            int64_t n = 0;
            for (; n < pMax && made_ < total; ++n, ++made_) {
                const auto i = static_cast<size_t>(static_cast<double>(made_) / ratio_);
                pOut[n * 2] = input_[i * 2];
                pOut[n * 2 + 1] = input_[i * 2 + 1];
            }
            return n;
        }
        bool Finished() const override
        {
            return final_ && made_ >= static_cast<int64_t>(input_.size() / 2 * ratio_) - 1;
        }

    private:
        double ratio_;
        int64_t latency_;
        std::vector<float> input_;
        int64_t made_ = 0;
        bool final_ = false;
    };
    int64_t latency_;
};

FxRun RunHighQuality(int32_t pId, const std::vector<double>& pParms, const Samples& pIn,
    TimePitchEngine* pEngine, bool pHigh = true)
{
    TempDir dir;
    FxRun run;
    if (!WriteSamples(dir.File("in.wav"), kRate, pIn))
        return run;
    C_FX fx(kRate);
    for (size_t i = 0; i < pParms.size(); ++i)
        fx.SetFXParm(static_cast<int32_t>(i), pParms[i]);
    fx.SetTimePitchEngine(pEngine);
    fx.SetHighQuality(pHigh);
    run.Ok = fx.Proc(pId, dir.File("in.wav"), dir.File("out.wav"), 0, FramesOf(pIn), false, "1")
                 .has_value();
    if (run.Ok)
        run.Out = ReadSamples(dir.File("out.wav"));
    return run;
}

TEST(PitchTimeEffects, HighQualityModeKeepsTheStreamAlignedAndTheLengthExact)
{
    const Samples x = Noise(12 * kRate + 3, 11);
    DelayingEngine engine(3000);
    // Pitch shift: the wet signal is mixed with the dry input at the same position.
    FxRun pitch = RunHighQuality(117, { 5, 0, 50, 50 }, x, &engine);
    ASSERT_TRUE(pitch.Ok);
    EXPECT_FLOAT_EQ(static_cast<float>(engine.last.PitchScale), 1.3348f);
    EXPECT_EQ(engine.last.TimeRatio, 1.0);
    ASSERT_EQ(FramesOf(pitch.Out), FramesOf(x));
    // The stream stops one frame short: the last frame is padded with silence.
    for (int64_t n = 0; n < FramesOf(x) - 1; ++n)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(X(pitch.Out, n, c), X(x, n, c)) << n;
    EXPECT_EQ(X(pitch.Out, FramesOf(x) - 1, 0), Round(X(x, FramesOf(x) - 1, 0) * 0.5));

    // Time stretch: round(length / S) frames, frame m from input frame m x S.
    FxRun stretch = RunHighQuality(118, { 1.6 }, x, &engine);
    ASSERT_TRUE(stretch.Ok);
    EXPECT_DOUBLE_EQ(engine.last.TimeRatio, 1 / 1.6);
    ASSERT_EQ(FramesOf(stretch.Out), RoundHalfEven(static_cast<double>(FramesOf(x)) / 1.6));
    for (int64_t m = 0; m < FramesOf(stretch.Out) - 1; m += 97) {
        const auto i = static_cast<int64_t>(static_cast<double>(m) / (1 / 1.6));
        ASSERT_EQ(X(stretch.Out, m, 1), X(x, i, 1)) << m;
    }
}

TEST(PitchTimeEffects, HighQualityModeNeedsAnEngineAndOnlyTouchesPitchAndStretch)
{
    const Samples x = Noise(4000, 12);
    EXPECT_FALSE(RunHighQuality(117, { 3, 0, 100, 0 }, x, nullptr).Ok);
    EXPECT_FALSE(RunHighQuality(118, { 1.25 }, x, nullptr).Ok);
    DelayingEngine engine(100);
    // Octave and speed change have no high-quality mode: their own algorithm runs.
    FxRun octave = RunHighQuality(116, { 100, 0, 0 }, x, &engine);
    ASSERT_TRUE(octave.Ok);
    EXPECT_EQ(FirstDifference(octave.Out, x), -1);
    FxRun speed = RunHighQuality(119, { 2.0 }, x, &engine);
    ASSERT_TRUE(speed.Ok);
    EXPECT_EQ(FramesOf(speed.Out), 1999);
    EXPECT_EQ(engine.opened, 0);
    // Without the mode the engine is not asked.
    ASSERT_TRUE(RunHighQuality(118, { 1.25 }, x, &engine, false).Ok);
    EXPECT_EQ(engine.opened, 0);
}

} // namespace
} // namespace tarvok::test
