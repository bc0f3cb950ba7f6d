// Effects that change the spectrum: band pass, low pass, high pass and the two equalisers
// (a cascade of peaking bands designed by placing poles and zeros).

#include "fx/filter_effects.h"

#include "base/numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

namespace tarvok {

namespace {

constexpr int32_t kBandPass = 127;
constexpr int32_t kLowPass = 128;
constexpr int32_t kHighPass = 129;
constexpr int32_t kGraphicEq = 130;
constexpr int32_t kParametricEq = 131;

/// Cut-off and band frequencies are kept below this share of the rate: at half the rate and
/// above the bilinear low pass turns unstable and a peaking band would act on the mirrored
/// frequency.
constexpr double kHighestShare = 0.49;

/// Band pass: the difference of two one-pole low-pass filters with integer states.
class BandPassKernel : public FxKernel {
public:
    explicit BandPassKernel(const FxContext& pContext)
    {
        const BandPassDesign d = DesignBandPass(pContext.I(0), pContext.I(1), pContext.I(2));
        c0_ = d.C0;
        c1_ = d.C1;
        c2_ = d.C2;
        c3_ = d.C3;
        level_ = d.Level;
        dry_ = d.Dry;
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int64_t frames = pChunk.Frames;
        const int16_t* x = pChunk.In;
        for (int c = 0; c < 2; ++c) {
            double a = a_[c];
            double b = b_[c];
            for (int64_t n = 0; n < frames; ++n) {
                const double v = x[n * 2 + c];
                a = NearestEven(a * c0_ + v * c2_);
                b = NearestEven(b * c1_ + v * c3_);
                pOut[static_cast<size_t>(n * 2 + c)] = Saturate16((b - a) * level_ + v * dry_);
            }
            a_[c] = a;
            b_[c] = b;
        }
    }

private:
    double c0_ = 0, c1_ = 0, c2_ = 0, c3_ = 0, level_ = 0, dry_ = 0;
    double a_[2] = { 0, 0 };
    double b_[2] = { 0, 0 };
};

/// Low pass (a second-order Butterworth filter by the bilinear transform) and high pass (the
/// input minus the low-pass output), in double precision.
class ButterworthKernel : public FxKernel {
public:
    ButterworthKernel(const FxContext& pContext, bool pHighPass)
        : high_(pHighPass)
        , c_(DesignButterworth(pContext.P(0), pContext.SampleRate))
        , level_(static_cast<double>(pContext.I(1)) / 100.0)
        , dry_(static_cast<double>(pContext.I(2)) / 100.0)
    {
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int64_t frames = pChunk.Frames;
        const int16_t* x = pChunk.In;
        for (int c = 0; c < 2; ++c) {
            State s = state_[c];
            for (int64_t n = 0; n < frames; ++n) {
                const double in = x[n * 2 + c];
                const double f
                    = c_.B0 * in + c_.B1 * s.X1 + c_.B2 * s.X2 + c_.A1 * s.F1 + c_.A2 * s.F2;
                s.X2 = s.X1;
                s.X1 = in;
                s.F2 = s.F1;
                s.F1 = f;
                const double v = NearestEven(std::clamp(f, -32767.0, 32767.0));
                const double wet = high_ ? in - v : v;
                pOut[static_cast<size_t>(n * 2 + c)] = Saturate16(wet * level_ + in * dry_);
            }
            state_[c] = s;
        }
    }

private:
    struct State {
        double X1 = 0, X2 = 0, F1 = 0, F2 = 0;
    };
    bool high_;
    ButterworthCoefficients c_;
    double level_;
    double dry_;
    State state_[2];
};

/// The equalisers: the bands whose gain is not 0 dB, one after the other, in single
/// precision, then the output level.
class EqualiserKernel : public FxKernel {
public:
    explicit EqualiserKernel(const FxContext& pContext)
        : level_(static_cast<float>(std::pow(10.0, pContext.P(0) / 20.0)))
    {
        for (const EqBand& b : pContext.Bands) {
            std::optional<EqCoefficients> c = DesignPeakingBand(b, pContext.SampleRate);
            if (c)
                bands_.push_back(Band { *c, {} });
        }
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int64_t frames = pChunk.Frames;
        const auto count = static_cast<size_t>(frames * 2);
        buf_.resize(count);
        for (size_t i = 0; i < count; ++i)
            buf_[i] = pChunk.In[i];
        // The left and right samples stay interleaved: each band runs both channels at once,
        // each with its own state, which leaves every channel's arithmetic as it is alone.
        for (Band& band : bands_)
            RunBand(band, buf_.data(), frames);
        const double level = level_;
        for (size_t i = 0; i < count; ++i)
            pOut[i] = Saturate16(static_cast<double>(buf_[i]) * level);
    }

private:
    struct Band {
        EqCoefficients C;
        std::array<float, 8> S; ///< per channel: in[-1], in[-2], out[-1], out[-2]
    };

    static void RunBand(Band& pBand, float* pBuf, int64_t pFrames)
    {
        const float b0 = pBand.C.B0;
        const float b1 = pBand.C.B1;
        const float b2 = pBand.C.B2;
        const float a1 = pBand.C.A1;
        const float a2 = pBand.C.A2;
        float lx1 = pBand.S[0], lx2 = pBand.S[1], ly1 = pBand.S[2], ly2 = pBand.S[3];
        float rx1 = pBand.S[4], rx2 = pBand.S[5], ry1 = pBand.S[6], ry2 = pBand.S[7];
        for (int64_t n = 0; n < pFrames; ++n) {
            float* f = pBuf + n * 2;
            const float l = f[0];
            const float r = f[1];
            const float lo = b0 * l + b1 * lx1 + b2 * lx2 - a1 * ly1 - a2 * ly2;
            const float ro = b0 * r + b1 * rx1 + b2 * rx2 - a1 * ry1 - a2 * ry2;
            lx2 = lx1;
            lx1 = l;
            ly2 = ly1;
            ly1 = lo;
            rx2 = rx1;
            rx1 = r;
            ry2 = ry1;
            ry1 = ro;
            f[0] = lo;
            f[1] = ro;
        }
        pBand.S = { lx1, lx2, ly1, ly2, rx1, rx2, ry1, ry2 };
    }

    float level_;
    std::vector<Band> bands_;
    std::vector<float> buf_;
};

} // namespace

BandPassDesign DesignBandPass(int64_t pWidth, int64_t pLevel, int64_t pDry)
{
    const auto w = static_cast<float>(pWidth);
    BandPassDesign d;
    const float c0 = ((950.0f - 9.5f * w + 50.0f) / 1000.0f) * 0.6f + 0.4f;
    const float c1 = ((950.0f - 9.5f * w - 50.0f) / 1000.0f) * 0.6f + 0.4f;
    d.C0 = c0;
    d.C1 = c1;
    d.C2 = 1.0f - c0;
    d.C3 = 1.0f - c1;
    double k = 0.15;
    if (pWidth < 5)
        k = 0.0125;
    else if (pWidth < 10)
        k = 0.014;
    else if (pWidth < 20)
        k = 0.033;
    else if (pWidth < 40)
        k = 0.05;
    else if (pWidth < 80)
        k = 0.1;
    d.Level = static_cast<double>(pLevel) * k;
    d.Dry = static_cast<double>(pDry) / 100.0;
    return d;
}

ButterworthCoefficients DesignButterworth(double pCutOff, int32_t pSampleRate)
{
    const double rate = pSampleRate > 0 ? pSampleRate : 44100;
    // Below 1 Hz (or not a number) the filter would pass nothing; at half the rate and above
    // it is unstable.
    const double fc = pCutOff >= 1.0 ? std::min(pCutOff, rate * kHighestShare) : 1.0;
    const double k = std::tan(std::numbers::pi * fc / rate);
    const double k2 = k * k;
    const double d = 1.0 + std::numbers::sqrt2 * k + k2;
    ButterworthCoefficients c;
    c.B0 = k2 / d;
    c.B1 = 2.0 * c.B0;
    c.B2 = c.B0;
    c.A1 = 2.0 * (1.0 - k2) / d;
    c.A2 = (std::numbers::sqrt2 * k - k2 - 1.0) / d;
    return c;
}

std::optional<EqCoefficients> DesignPeakingBand(const EqBand& pBand, int32_t pSampleRate)
{
    const double gain = pBand.GainDb;
    const double freq = pBand.Freq;
    const double rate = pSampleRate > 0 ? pSampleRate : 44100;
    // A band at 0 dB is skipped; so is one with no frequency inside the signal (at 0 Hz the
    // gain normalisation divides zero by zero; at half the rate and above the band would act
    // on the mirrored frequency).
    if (!std::isfinite(gain) || gain == 0.0 || !(freq > 0.0) || freq >= rate / 2.0)
        return std::nullopt;
    const double a = std::pow(10.0, gain / 20.0);
    // A Q of zero would put the poles on the unit circle.
    const double q = std::isfinite(pBand.Q) ? std::max<double>(pBand.Q, 0.05) : 2.0;
    double zetaZero = 0;
    double zetaPole = 0;
    if (a >= 1.0) {
        zetaPole = q / 12.0;
        zetaZero = a * q / 12.0;
    } else {
        zetaZero = q / 12.0;
        zetaPole = (q / 12.0) / a;
    }
    const auto w = static_cast<float>(2.0 * std::numbers::pi * freq / rate);
    const double wd = w;
    // The pair (-2 r cos th, r^2) of the two roots e^(w(-z +- j sqrt(1 - z^2))). Past z = 1
    // (gains and Qs beyond the dialog's ranges) the roots turn real, e^(w(-z +- sqrt(z^2 - 1))),
    // which continues the same pair instead of taking the root of a negative number.
    auto pair = [wd](double pZeta, double& pP1, double& pP2) {
        if (pZeta <= 1.0) {
            const double r = std::exp(-wd * pZeta);
            const double th = wd * std::sqrt(1.0 - pZeta * pZeta);
            pP1 = -2.0 * r * std::cos(th);
            pP2 = r * r;
        } else {
            const double s = std::sqrt(pZeta * pZeta - 1.0);
            const double r1 = std::exp(wd * (-pZeta + s));
            const double r2 = std::exp(wd * (-pZeta - s));
            pP1 = -(r1 + r2);
            pP2 = r1 * r2;
        }
    };
    double k1 = 0, k2 = 0, a1 = 0, a2 = 0;
    pair(zetaZero, k1, k2);
    pair(zetaPole, a1, a2);
    const double cw = std::cos(wd);
    const double sw = std::sin(wd);
    auto magnitude2 = [cw, sw](double pP1, double pP2) {
        const double re = pP1 + cw * (pP2 + 1.0);
        const double im = sw * (1.0 - pP2);
        return re * re + im * im;
    };
    const double g0 = a * std::sqrt(magnitude2(a1, a2)) / std::sqrt(magnitude2(k1, k2));
    EqCoefficients c;
    c.B0 = static_cast<float>(g0);
    c.B1 = static_cast<float>(g0 * k1);
    c.B2 = static_cast<float>(g0 * k2);
    c.A1 = static_cast<float>(a1);
    c.A2 = static_cast<float>(a2);
    return c;
}

std::unique_ptr<FxKernel> MakeFilterKernel(int32_t pId, const FxContext& pContext)
{
    switch (pId) {
    case kBandPass:
        return std::make_unique<BandPassKernel>(pContext);
    case kLowPass:
        return std::make_unique<ButterworthKernel>(pContext, false);
    case kHighPass:
        return std::make_unique<ButterworthKernel>(pContext, true);
    case kGraphicEq:
    case kParametricEq:
        return std::make_unique<EqualiserKernel>(pContext);
    default:
        return nullptr;
    }
}

} // namespace tarvok
