// Effects that change the spectrum: band pass, low pass, high pass and the two equalisers
// (a cascade of peaking bands designed by placing poles and zeros).

#include "fx/filter_effects.h"

#include "base/numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

namespace tarvok {

namespace {

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

/// Four floats processed as one: two bands, each with its left and right sample.
using Float4 = float __attribute__((vector_size(16)));

/// The equalisers: the bands whose gain is not 0 dB, one after the other, in single
/// precision, then the output level.
///
/// Every band computes out = b0 in + b1 in[-1] + b2 in[-2] - a1 out[-1] - a2 out[-2] for each
/// channel in exactly that order, as if it ran over the whole chunk before the next band
/// starts. To keep the processor busy the bands run as a wavefront instead: at step t band b
/// takes frame t - b, which band b - 1 finished at step t - 1, so all bands of one step are
/// independent. Two neighbouring bands with both channels fill four lanes (band 2p + 1 on
/// frame t - 2p - 1 in lanes 0 and 1, band 2p on frame t - 2p in lanes 2 and 3: four
/// consecutive floats of the interleaved buffer). An odd band count is padded with a band
/// that passes its input unchanged (1 x in + 0 + 0 - 0 - 0 is exact).
class EqualiserKernel : public FxKernel {
public:
    explicit EqualiserKernel(const FxContext& pContext)
        : level_(static_cast<float>(std::pow(10.0, pContext.P(0) / 20.0)))
    {
        std::vector<EqCoefficients> active;
        for (const EqBand& b : pContext.Bands)
            if (std::optional<EqCoefficients> c = DesignPeakingBand(b, pContext.SampleRate))
                active.push_back(*c);
        if (active.size() % 2 != 0)
            active.push_back(EqCoefficients {});
        pairs_.resize(active.size() / 2);
        for (size_t p = 0; p < pairs_.size(); ++p) {
            const EqCoefficients& odd = active[p * 2 + 1];
            const EqCoefficients& even = active[p * 2];
            auto lanes = [&](float EqCoefficients::*pField) {
                return Float4 { odd.*pField, odd.*pField, even.*pField, even.*pField };
            };
            Pair& pair = pairs_[p];
            pair.B0 = lanes(&EqCoefficients::B0);
            pair.B1 = lanes(&EqCoefficients::B1);
            pair.B2 = lanes(&EqCoefficients::B2);
            pair.A1 = lanes(&EqCoefficients::A1);
            pair.A2 = lanes(&EqCoefficients::A2);
        }
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int64_t frames = pChunk.Frames;
        const auto count = static_cast<size_t>(frames * 2);
        buf_.resize(count);
        for (size_t i = 0; i < count; ++i)
            buf_[i] = pChunk.In[i];
        const auto bands = static_cast<int64_t>(pairs_.size() * 2);
        if (bands > 0) {
            // Steps where some band's frame lies outside the chunk go band by band; the
            // steps between them run every band.
            const int64_t steps = frames + bands - 1;
            const int64_t fullFrom = bands - 1;
            const int64_t fullTo = std::max(fullFrom, frames);
            for (int64_t t = 0; t < std::min(fullFrom, steps); ++t)
                PartialStep(t, frames);
            for (int64_t t = fullFrom; t < fullTo; ++t)
                FullStep(t);
            for (int64_t t = fullTo; t < steps; ++t)
                PartialStep(t, frames);
        }
        const double level = level_;
        for (size_t i = 0; i < count; ++i)
            pOut[i] = Saturate16(static_cast<double>(buf_[i]) * level);
    }

private:
    struct Pair {
        Float4 B0 {}, B1 {}, B2 {}, A1 {}, A2 {};
        Float4 X1 {}, X2 {}, Y1 {}, Y2 {}; ///< the last two inputs and outputs, per lane
    };

    /// Step t for every band: frames t - 2p - 1 and t - 2p, all inside the chunk.
    void FullStep(int64_t pStep)
    {
        float* base = buf_.data() + (pStep - 1) * 2;
        for (Pair& p : pairs_) {
            Float4 in;
            std::memcpy(&in, base, sizeof in);
            const Float4 out = p.B0 * in + p.B1 * p.X1 + p.B2 * p.X2 - p.A1 * p.Y1 - p.A2 * p.Y2;
            p.X2 = p.X1;
            p.X1 = in;
            p.Y2 = p.Y1;
            p.Y1 = out;
            std::memcpy(base, &out, sizeof out);
            base -= 4;
        }
    }

    /// Step t for the bands whose frame lies inside the chunk, one lane at a time.
    void PartialStep(int64_t pStep, int64_t pFrames)
    {
        for (size_t p = 0; p < pairs_.size(); ++p) {
            Pair& pair = pairs_[p];
            for (int lane = 0; lane < 4; ++lane) {
                const int64_t band = static_cast<int64_t>(p * 2) + (lane < 2 ? 1 : 0);
                const int64_t frame = pStep - band;
                if (frame < 0 || frame >= pFrames)
                    continue;
                float& v = buf_[static_cast<size_t>(frame * 2 + (lane % 2))];
                const float in = v;
                const float out = pair.B0[lane] * in + pair.B1[lane] * pair.X1[lane]
                    + pair.B2[lane] * pair.X2[lane] - pair.A1[lane] * pair.Y1[lane]
                    - pair.A2[lane] * pair.Y2[lane];
                pair.X2[lane] = pair.X1[lane];
                pair.X1[lane] = in;
                pair.Y2[lane] = pair.Y1[lane];
                pair.Y1[lane] = out;
                v = out;
            }
        }
    }

    float level_;
    std::vector<Pair> pairs_;
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

std::unique_ptr<FxKernel> MakeBandPassKernel(const FxContext& pContext)
{
    return std::make_unique<BandPassKernel>(pContext);
}

std::unique_ptr<FxKernel> MakeLowPassKernel(const FxContext& pContext)
{
    return std::make_unique<ButterworthKernel>(pContext, false);
}

std::unique_ptr<FxKernel> MakeHighPassKernel(const FxContext& pContext)
{
    return std::make_unique<ButterworthKernel>(pContext, true);
}

std::unique_ptr<FxKernel> MakeEqualiserKernel(const FxContext& pContext)
{
    return std::make_unique<EqualiserKernel>(pContext);
}

} // namespace tarvok
