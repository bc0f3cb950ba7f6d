#include "base/numeric.h"
#include "fx/filter_effects.h"
#include "fx/fx_kernel.h"
#include "support/fx_runner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

namespace tarvok::test {
namespace {

constexpr double kPi = std::numbers::pi;
using Complex = std::complex<double>;

int64_t FramesOf(const Samples& pX) { return static_cast<int64_t>(pX.size() / 2); }

/// The first frame at which two sample vectors differ, or -1.
int64_t FirstDifference(const Samples& pA, const Samples& pB)
{
    const size_t n = std::min(pA.size(), pB.size());
    for (size_t i = 0; i < n; ++i)
        if (pA[i] != pB[i])
            return static_cast<int64_t>(i / 2);
    return pA.size() == pB.size() ? -1 : static_cast<int64_t>(n / 2);
}

/// Runs an effect with parameters and equaliser bands over pIn.
FxRun RunWithBands(int32_t pId, const std::vector<double>& pParms,
    const std::vector<EqBand>& pBands, const Samples& pIn, int32_t pRate)
{
    TempDir dir;
    FxRun run;
    if (!WriteSamples(dir.File("in.wav"), pRate, pIn))
        return run;
    C_FX fx(pRate);
    for (size_t i = 0; i < pParms.size(); ++i)
        fx.SetFXParm(static_cast<int32_t>(i), pParms[i]);
    fx.SetEQBands(static_cast<int32_t>(pBands.size()));
    for (size_t b = 0; b < pBands.size(); ++b)
        fx.SetEQParm(static_cast<int32_t>(b), pBands[b].GainDb, pBands[b].Freq, pBands[b].Q);
    run.Ok = fx.Proc(pId, dir.File("in.wav"), dir.File("out.wav"), 0, FramesOf(pIn), false, "1")
                 .has_value();
    if (run.Ok)
        run.Out = ReadSamples(dir.File("out.wav"));
    return run;
}

/// The graphic equaliser's bands with the given gains.
std::vector<EqBand> GraphicBands(const std::vector<float>& pGains)
{
    const float hz[]
        = { 25, 40, 63, 100, 160, 250, 400, 630, 1000, 1600, 2500, 4000, 6300, 10000, 16000 };
    std::vector<EqBand> bands;
    for (size_t i = 0; i < 15; ++i)
        bands.push_back(EqBand { i < pGains.size() ? pGains[i] : 0.0f, hz[i], 2.0f });
    return bands;
}

/// A sine of pHz at pAmplitude on the left and 0.6 x that on the right.
Samples Sine(double pHz, double pAmplitude, int64_t pFrames, int32_t pRate)
{
    Samples s(static_cast<size_t>(pFrames * 2));
    for (int64_t n = 0; n < pFrames; ++n) {
        const double v = pAmplitude * std::sin(2 * kPi * pHz * static_cast<double>(n) / pRate);
        s[static_cast<size_t>(n * 2)] = Saturate16(v);
        s[static_cast<size_t>(n * 2 + 1)] = Saturate16(0.6 * v);
    }
    return s;
}

/// The gain in dB from pIn to pOut on channel pC, by the RMS after the first pSkip frames.
double GainDb(const Samples& pIn, const Samples& pOut, int pC, int64_t pSkip)
{
    double in = 0, out = 0;
    for (int64_t n = pSkip; n < FramesOf(pIn); ++n) {
        const double x = pIn[static_cast<size_t>(n * 2 + pC)];
        const double y = pOut[static_cast<size_t>(n * 2 + pC)];
        in += x * x;
        out += y * y;
    }
    return 10 * std::log10(out / in);
}

// ---- The formulas over the whole signal, written from their description. ----

Samples BandPassFormula(const Samples& pX, int w, int level, int dry)
{
    const auto wf = static_cast<float>(w);
    const float c0 = ((950.0f - 9.5f * wf + 50.0f) / 1000.0f) * 0.6f + 0.4f;
    const float c1 = ((950.0f - 9.5f * wf - 50.0f) / 1000.0f) * 0.6f + 0.4f;
    const float c2 = 1.0f - c0;
    const float c3 = 1.0f - c1;
    const double k = w < 5 ? 0.0125
        : w < 10           ? 0.014
        : w < 20           ? 0.033
        : w < 40           ? 0.05
        : w < 80           ? 0.1
                           : 0.15;
    Samples y(pX.size());
    for (int c = 0; c < 2; ++c) {
        double sa = 0, sb = 0;
        for (int64_t n = 0; n < FramesOf(pX); ++n) {
            const double x = pX[static_cast<size_t>(n * 2 + c)];
            sa = static_cast<double>(RoundHalfEven(sa * c0 + x * c2));
            sb = static_cast<double>(RoundHalfEven(sb * c1 + x * c3));
            y[static_cast<size_t>(n * 2 + c)]
                = Saturate16((sb - sa) * (level * k) + x * (dry / 100.0));
        }
    }
    return y;
}

Samples ButterworthFormula(const Samples& pX, double fc, int32_t rate, int level, int dry, bool hp)
{
    const ButterworthCoefficients k = DesignButterworth(fc, rate);
    Samples y(pX.size());
    for (int c = 0; c < 2; ++c) {
        double x1 = 0, x2 = 0, f1 = 0, f2 = 0;
        for (int64_t n = 0; n < FramesOf(pX); ++n) {
            const double x = pX[static_cast<size_t>(n * 2 + c)];
            const double f = k.B0 * x + k.B1 * x1 + k.B2 * x2 + k.A1 * f1 + k.A2 * f2;
            x2 = x1;
            x1 = x;
            f2 = f1;
            f1 = f;
            const auto v = static_cast<double>(RoundHalfEven(std::clamp(f, -32767.0, 32767.0)));
            y[static_cast<size_t>(n * 2 + c)]
                = Saturate16((hp ? x - v : v) * (level / 100.0) + x * (dry / 100.0));
        }
    }
    return y;
}

Samples EqualiserFormula(
    const Samples& pX, const std::vector<EqBand>& pBands, double pLevelDb, int32_t pRate)
{
    const auto level = static_cast<float>(std::pow(10.0, pLevelDb / 20.0));
    Samples y(pX.size());
    for (int c = 0; c < 2; ++c) {
        std::vector<float> v(static_cast<size_t>(FramesOf(pX)));
        for (size_t n = 0; n < v.size(); ++n)
            v[n] = pX[n * 2 + static_cast<size_t>(c)];
        for (const EqBand& band : pBands) {
            const std::optional<EqCoefficients> k = DesignPeakingBand(band, pRate);
            if (!k)
                continue;
            float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
            for (float& s : v) {
                const float x = s;
                const float o = k->B0 * x + k->B1 * x1 + k->B2 * x2 - k->A1 * y1 - k->A2 * y2;
                x2 = x1;
                x1 = x;
                y2 = y1;
                y1 = o;
                s = o;
            }
        }
        for (size_t n = 0; n < v.size(); ++n)
            y[n * 2 + static_cast<size_t>(c)]
                = Saturate16(static_cast<double>(v[n]) * static_cast<double>(level));
    }
    return y;
}

/// |B(z)/A(z)| at pHz of a peaking band, with B = b0 + b1 z^-1 + b2 z^-2, A = 1 + a1 z^-1 +
/// a2 z^-2.
double BandMagnitude(const EqCoefficients& k, double pHz, int32_t pRate)
{
    const Complex z1 = std::polar(1.0, -2 * kPi * pHz / pRate);
    const Complex b = static_cast<double>(k.B0) + static_cast<double>(k.B1) * z1
        + static_cast<double>(k.B2) * z1 * z1;
    const Complex a = 1.0 + static_cast<double>(k.A1) * z1 + static_cast<double>(k.A2) * z1 * z1;
    return std::abs(b / a);
}

TEST(FilterEffects, BandPassCoefficientsFollowTheWidthTable)
{
    struct Case {
        int w;
        double c0, c1, k;
    };
    const Case cases[] = {
        { 1, 0.9943, 0.9343, 0.0125 },
        { 4, 0.9772, 0.9172, 0.0125 },
        { 5, 0.9715, 0.9115, 0.014 },
        { 9, 0.9487, 0.8887, 0.014 },
        { 10, 0.943, 0.883, 0.033 },
        { 19, 0.8917, 0.8317, 0.033 },
        { 20, 0.886, 0.826, 0.05 },
        { 39, 0.7777, 0.7177, 0.05 },
        { 40, 0.772, 0.712, 0.1 },
        { 50, 0.715, 0.655, 0.1 },
        { 79, 0.5497, 0.4897, 0.1 },
        { 80, 0.544, 0.484, 0.15 },
        { 100, 0.43, 0.37, 0.15 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w);
        const BandPassDesign d = DesignBandPass(c.w, 120, 30);
        EXPECT_NEAR(d.C0, c.c0, 1e-6);
        EXPECT_NEAR(d.C1, c.c1, 1e-6);
        EXPECT_NEAR(d.C2, 1 - c.c0, 1e-6);
        EXPECT_NEAR(d.C3, 1 - c.c1, 1e-6);
        EXPECT_DOUBLE_EQ(d.Level, 120 * c.k);
        EXPECT_DOUBLE_EQ(d.Dry, 0.3);
    }
}

TEST(FilterEffects, ButterworthCoefficientsEqualTheAnalogPrototypeMappedBilinearly)
{
    // The same filter by another road: the cookbook low pass with Q = 1/sqrt(2), whose
    // pre-warped bilinear transform is the Butterworth design.
    struct Case {
        double fc;
        int32_t rate;
    };
    const Case cases[]
        = { { 20, 44100 }, { 630, 44100 }, { 1000, 8000 }, { 19900, 48000 }, { 3000, 8000 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fc);
        const double w0 = 2 * kPi * c.fc / c.rate;
        const double alpha = std::sin(w0) / (2 / std::numbers::sqrt2);
        const double a0 = 1 + alpha;
        const ButterworthCoefficients k = DesignButterworth(c.fc, c.rate);
        const double tol = 1e-12;
        EXPECT_NEAR(k.B0, (1 - std::cos(w0)) / 2 / a0, tol);
        EXPECT_NEAR(k.B1, (1 - std::cos(w0)) / a0, tol);
        EXPECT_NEAR(k.B2, (1 - std::cos(w0)) / 2 / a0, tol);
        EXPECT_NEAR(k.A1, 2 * std::cos(w0) / a0, tol); // f = ... + A1 f1: the sign is folded in
        EXPECT_NEAR(k.A2, -(1 - alpha) / a0, tol);
    }
}

TEST(FilterEffects, PeakingBandPlacesPolesAndZerosAndMeetsItsGainAtItsFrequency)
{
    struct Case {
        float gain, hz, q;
        int32_t rate;
    };
    const Case cases[] = {
        { 6, 1000, 2.0f, 44100 },
        { -15, 25, 2.0f, 44100 },
        { 15, 16000, 0.5f, 44100 },
        { -7, 630, 0.8f, 8000 },
        { 3, 3900, 1.2f, 8000 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hz);
        const std::optional<EqCoefficients> k
            = DesignPeakingBand(EqBand { c.gain, c.hz, c.q }, c.rate);
        ASSERT_TRUE(k.has_value());
        // Independently: the roots e^(w(-zeta +- j sqrt(1 - zeta^2))) of zeros and poles.
        const double a = std::pow(10.0, c.gain / 20.0);
        const double zz = a >= 1 ? a * c.q / 12 : c.q / 12.0;
        const double zp = a >= 1 ? c.q / 12.0 : c.q / 12.0 / a;
        const double w = static_cast<float>(2 * kPi * c.hz / c.rate);
        auto root = [w](double pZeta) {
            return std::exp(Complex(-w * pZeta, w * std::sqrt(1 - pZeta * pZeta)));
        };
        const Complex rz = root(zz);
        const Complex rp = root(zp);
        const double k1 = -2 * rz.real(), k2 = std::norm(rz);
        const double a1 = -2 * rp.real(), a2 = std::norm(rp);
        const Complex z1 = std::polar(1.0, -w);
        const double g0
            = a * std::abs(1.0 + a1 * z1 + a2 * z1 * z1) / std::abs(1.0 + k1 * z1 + k2 * z1 * z1);
        const double tol = 2e-6;
        EXPECT_NEAR(k->B0, g0, tol * std::max(1.0, g0));
        EXPECT_NEAR(k->B1, g0 * k1, tol * std::max(1.0, std::abs(g0 * k1)));
        EXPECT_NEAR(k->B2, g0 * k2, tol * std::max(1.0, g0));
        EXPECT_NEAR(k->A1, a1, tol);
        EXPECT_NEAR(k->A2, a2, tol);
        // The band's gain at its frequency is exactly A, within single-precision rounding.
        EXPECT_NEAR(BandMagnitude(*k, c.hz, c.rate), a, 1e-4 * a);
        // Both pole pairs lie inside the unit circle.
        EXPECT_LT(k->A2, 1.0f);
    }
}

TEST(FilterEffects, BandsTheEqualiserSkipsAndBandsBeyondTheDialogsRanges)
{
    // 0 dB, no frequency, half the rate and above: skipped.
    EXPECT_FALSE(DesignPeakingBand(EqBand { 0, 1000, 2 }, 44100));
    EXPECT_FALSE(DesignPeakingBand(EqBand { 6, 0, 2 }, 44100));
    EXPECT_FALSE(DesignPeakingBand(EqBand { 6, 11025, 2 }, 22050));
    EXPECT_FALSE(DesignPeakingBand(EqBand { 6, 16000, 2 }, 22050));
    EXPECT_FALSE(DesignPeakingBand(EqBand { NAN, 1000, 2 }, 44100));
    // Beyond the dialog's Q and gain the damping passes 1: the roots turn real, the band
    // stays stable and still meets its gain.
    const float extreme[][2] = { { 15, 4 }, { -15, 4 }, { 20, 12 }, { 6, 0 } };
    for (const auto& e : extreme) {
        SCOPED_TRACE(e[0]);
        SCOPED_TRACE(e[1]);
        const std::optional<EqCoefficients> k
            = DesignPeakingBand(EqBand { e[0], 1000, e[1] }, 44100);
        ASSERT_TRUE(k.has_value());
        for (float v : { k->B0, k->B1, k->B2, k->A1, k->A2 })
            EXPECT_TRUE(std::isfinite(v));
        // Stable: |a2| < 1 and |a1| < 1 + a2.
        EXPECT_LT(std::abs(k->A2), 1.0f);
        EXPECT_LT(std::abs(k->A1), 1.0f + k->A2);
        const double a = std::pow(10.0, e[0] / 20.0);
        EXPECT_NEAR(BandMagnitude(*k, 1000, 44100), a, 1e-3 * a);
    }
}

TEST(FilterEffects, ResponsesMeasuredOnSines)
{
    const int32_t rate = 16000;
    const int64_t frames = rate; // one second; the first 0.25 s settle
    // The bilinear Butterworth low pass: |H|^2 = 1 / (1 + (tan(pi f/R) / tan(pi fc/R))^4);
    // the high pass is 1 - H.
    auto butterworth = [rate](double f, double fc, bool hp) {
        const Complex s(0, std::tan(kPi * f / rate) / std::tan(kPi * fc / rate));
        const Complex h = 1.0 / (s * s + std::numbers::sqrt2 * s + 1.0);
        return 20 * std::log10(std::abs(hp ? 1.0 - h : h));
    };
    // The band pass without its integer rounding: l (c3/(1 - c1/z) - c2/(1 - c0/z)).
    auto bandPass = [rate](double f, int w, int level) {
        const BandPassDesign d = DesignBandPass(w, level, 0);
        const Complex z1 = std::polar(1.0, -2 * kPi * f / rate);
        const Complex h = d.Level * (d.C3 / (1.0 - d.C1 * z1) - d.C2 / (1.0 - d.C0 * z1));
        return 20 * std::log10(std::abs(h));
    };
    // The cascade of the designed bands: the product of their magnitudes. The design meets
    // its gain at the band's frequency only; elsewhere, near the upper bands in particular,
    // it strays from 0 dB.
    auto equaliser = [rate](const std::vector<EqBand>& bands, double f) {
        double db = 0;
        for (const EqBand& b : bands)
            if (std::optional<EqCoefficients> k = DesignPeakingBand(b, rate))
                db += 20 * std::log10(BandMagnitude(*k, f, rate));
        return db;
    };
    const std::vector<EqBand> highBoost
        = GraphicBands({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0 });
    struct Case {
        const char* name;
        int32_t id;
        std::vector<double> parms;
        std::vector<EqBand> bands;
        double hz;
        double db;
        double tolerance;
    };
    const std::vector<Case> cases = {
        { "low pass pass band", 128, { 1000, 100, 0 }, {}, 100, butterworth(100, 1000, false),
            0.05 },
        { "low pass cut-off", 128, { 1000, 100, 0 }, {}, 1000, -3.01, 0.05 },
        { "low pass stop band", 128, { 1000, 100, 0 }, {}, 5000, butterworth(5000, 1000, false),
            0.3 },
        { "high pass stop band", 129, { 1000, 100, 0 }, {}, 125, butterworth(125, 1000, true),
            0.5 },
        { "high pass cut-off", 129, { 1000, 100, 0 }, {}, 1000, butterworth(1000, 1000, true),
            0.05 },
        { "high pass pass band", 129, { 1000, 100, 0 }, {}, 6000, butterworth(6000, 1000, true),
            0.05 },
        { "band pass centre", 127, { 50, 100, 0 }, {}, 1500, bandPass(1500, 50, 100), 0.2 },
        { "band pass low", 127, { 50, 100, 0 }, {}, 100, bandPass(100, 50, 100), 0.5 },
        { "parametric centre", 131, { 0 }, { { 6, 1000, 2 }, { 0, 630, 2 }, { 0, 630, 2 } }, 1000,
            6, 0.05 },
        { "parametric far below", 131, { 0 }, { { 6, 1000, 2 } }, 60,
            equaliser({ { 6, 1000, 2 } }, 60), 0.05 },
        { "parametric cut with level", 131, { -3 }, { { 0, 630, 2 }, { -9, 3000, 0.5 } }, 3000, -12,
            0.05 },
        { "graphic band centre", 130, { 0 }, GraphicBands({ 0, 0, 0, 0, 0, 0, 0, 0, -12 }), 1000,
            -12, 0.1 },
        { "graphic between boosted bands", 130, { 0 }, highBoost, 1000, equaliser(highBoost, 1000),
            0.05 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Samples x = Sine(c.hz, 10000, frames, rate);
        FxRun run = RunWithBands(c.id, c.parms, c.bands, x, rate);
        ASSERT_TRUE(run.Ok);
        ASSERT_EQ(run.Out.size(), x.size());
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_NEAR(GainDb(x, run.Out, ch, rate / 4), c.db, c.tolerance) << ch;
    }
}

TEST(FilterEffects, NeutralSettingsReproduceTheInput)
{
    const Samples x = NoiseSignal(3000, 4);
    struct Case {
        const char* name;
        int32_t id;
        std::vector<double> parms;
        std::vector<EqBand> bands;
    };
    const std::vector<Case> cases = {
        { "low pass dry only", 128, { 630, 0, 100 }, {} },
        { "high pass dry only", 129, { 630, 0, 100 }, {} },
        { "band pass dry only", 127, { 50, 0, 100 }, {} },
        { "graphic equaliser flat", 130, { 0 }, GraphicBands({}) },
        { "parametric equaliser flat", 131, { 0 },
            { { 0, 100, 0.5 }, { 0, 1000, 1 }, { 0, 10000, 2 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FxRun run = RunWithBands(c.id, c.parms, c.bands, x, 8000);
        ASSERT_TRUE(run.Ok);
        ASSERT_EQ(run.Out.size(), x.size());
        for (size_t i = 0; i < x.size(); ++i)
            ASSERT_EQ(run.Out[i], x[i] == -32768 ? -32767 : x[i]) << i;
    }
}

TEST(FilterEffects, LowPassKeepsAConstantAndHighPassRemovesIt)
{
    const Samples dc(2 * 8000, 12345);
    FxRun low = RunEffect(128, { 200, 100, 0 }, dc);
    FxRun high = RunEffect(129, { 200, 100, 0 }, dc);
    ASSERT_TRUE(low.Ok && high.Ok);
    // Settled after a second at a 200 Hz cut-off.
    for (size_t i = 2 * 4000; i < dc.size(); ++i) {
        ASSERT_EQ(low.Out[i], 12345) << i;
        ASSERT_EQ(high.Out[i], 0) << i;
    }
}

TEST(FilterEffects, ChunkedRunsEqualTheFormulasOverTheWholeSignal)
{
    // At 8000 Hz: 5 s + 2 frames (a last chunk of two frames, which is filtered like any
    // other, not silenced) and 12.5 s (two full chunks and a short one).
    const int32_t rate = 8000;
    const std::vector<EqBand> parametric = { { 9, 250, 0.6f }, { -12, 1200, 2 }, { 4, 3000, 1 } };
    const std::vector<EqBand> graphic
        = GraphicBands({ 12, -9, 6, 0, 3, 15, -15, 0, 7, -4, 2, 0, 10, -6, 8 });
    for (int64_t frames : { int64_t { 40002 }, int64_t { 100000 } }) {
        SCOPED_TRACE(frames);
        const Samples x = NoiseSignal(frames, 8);
        struct Case {
            int32_t id;
            std::vector<double> parms;
            std::vector<EqBand> bands;
            Samples expected;
        };
        const std::vector<Case> cases = {
            { 127, { 30, 180, 40 }, {}, BandPassFormula(x, 30, 180, 40) },
            { 128, { 630, 150, 20 }, {}, ButterworthFormula(x, 630, rate, 150, 20, false) },
            { 129, { 2000, 90, 10 }, {}, ButterworthFormula(x, 2000, rate, 90, 10, true) },
            // 19900 Hz is above half the rate: the cut-off is kept at 0.49 x 8000.
            { 128, { 19900, 100, 0 }, {}, ButterworthFormula(x, 3920, rate, 100, 0, false) },
            { 130, { -4 }, graphic, EqualiserFormula(x, graphic, -4, rate) },
            { 131, { 5 }, parametric, EqualiserFormula(x, parametric, 5, rate) },
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.id);
            FxRun run = RunWithBands(c.id, c.parms, c.bands, x, rate);
            ASSERT_TRUE(run.Ok);
            EXPECT_EQ(FramesOf(run.Out), frames);
            EXPECT_EQ(FirstDifference(run.Out, c.expected), -1);
        }
    }
}

TEST(FilterEffects, CutOffAtOrAboveHalfTheRateStaysStable)
{
    // Without the limit, tan(pi fc / R) turns negative above R/2 and the filter grows without
    // bound: the output would sit at full scale.
    const int32_t rate = 8000;
    const Samples x = Sine(300, 8000, rate, rate);
    for (double fc : { 4000.0, 5000.0, 19900.0 }) {
        SCOPED_TRACE(fc);
        FxRun run = RunEffect(128, { fc, 100, 0 }, x, rate);
        ASSERT_TRUE(run.Ok);
        EXPECT_NEAR(GainDb(x, run.Out, 0, 100), 0, 0.1);
    }
}

TEST(FilterEffects, EveryFilterEffectIsMadeWithoutTailOrLookAhead)
{
    FxContext context;
    context.Parm = { 1, 1, 1 };
    for (int32_t id : { 127, 128, 129, 130, 131 }) {
        SCOPED_TRACE(id);
        std::unique_ptr<FxKernel> k = MakeFxKernel(id, context);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->Setup().Tail, 0);
        EXPECT_EQ(k->Setup().LookAhead, 0);
    }
}

} // namespace
} // namespace tarvok::test
