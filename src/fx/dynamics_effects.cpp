// Effects that shape the level or the waveform sample by sample: distortion, overdrive,
// limiter, compressor, maximize, gate and enhancer.
//
// Gains, targets and steps are held in single precision and updated in single precision;
// output products are formed in double precision from them and rounded half to even.

#include "fx/dynamics_effects.h"

#include "base/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tarvok {

namespace {

/// dB to a gain in single precision, 0 at -110 dB or less.
float SingleDb(double pDb) { return static_cast<float>(DbToFactor(pDb)); }

/// A level fader (1..100) as a sample threshold: the share is taken in single precision.
int64_t ThresholdOf(int64_t pPercent)
{
    const float share = static_cast<float>(pPercent) / 100.0f;
    return RoundHalfEven(static_cast<double>(share) * 32767.0);
}

/// A time fader in ms as samples at pRate, in single precision. Times below 1 ms (outside
/// every fader's range) count as 1 ms so that no rate or step divides by zero.
float SamplesOf(int64_t pMs, int32_t pRate)
{
    return static_cast<float>(static_cast<double>(std::max<int64_t>(pMs, 1)) / 1000.0 * pRate);
}

/// Distortion: the input times the gain, clipped to the level.
class DistortionKernel : public FxKernel {
public:
    DistortionKernel(int64_t pGain, int64_t pLevel)
        : gain_(static_cast<double>(pGain))
        , high_(static_cast<double>(RoundHalfEven(static_cast<double>(pLevel) / 100.0 * 32767.0)))
        , low_(static_cast<double>(RoundHalfEven(static_cast<double>(pLevel) / 100.0 * -32767.0)))
    {
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int16_t* x = pChunk.In;
        const size_t count = pOut.size();
        // The clip levels lie inside the 16-bit range, so the clip is the only saturation.
        for (size_t i = 0; i < count; ++i)
            pOut[i] = static_cast<int16_t>(std::clamp(x[i] * gain_, low_, high_));
    }

private:
    double gain_;
    double high_;
    double low_;
};

/// Overdrive: the input less a low-passed copy, amplified, clipped asymmetrically and
/// smoothed by the tone filter.
class OverdriveKernel : public FxKernel {
public:
    OverdriveKernel(int64_t pGain, int64_t pTone, int64_t pLevel)
        : gain_(static_cast<double>(pGain))
    {
        const auto tone = static_cast<double>(pTone);
        a_ = (tone * tone * tone + 225.0) / 1000225.0;
        b_ = 1.0 - a_;
        const auto level = static_cast<double>(pLevel);
        high_ = static_cast<double>(RoundHalfEven(32767.0 * level * static_cast<double>(0.01f)));
        low_ = static_cast<double>(RoundHalfEven(32767.0 * level * static_cast<double>(-0.004f)));
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        constexpr auto kKeep = static_cast<double>(0.7f);
        constexpr auto kTake = static_cast<double>(0.2f);
        for (int c = 0; c < 2; ++c) {
            double lp = lp_[c];
            double t = tone_[c];
            for (int64_t n = 0; n < frames; ++n) {
                const double v = x[n * 2 + c];
                lp = NearestEven(lp * kKeep + v * kTake);
                const double clipped = std::clamp((v - lp) * gain_, low_, high_);
                t = NearestEven(t * b_ + clipped * a_);
                pOut[n * 2 + c] = Saturate16(t);
            }
            lp_[c] = lp;
            tone_[c] = t;
        }
    }

private:
    double gain_;
    double a_ = 0, b_ = 0, high_ = 0, low_ = 0;
    double lp_[2] = { 0, 0 };
    double tone_[2] = { 0, 0 };
};

/// Limiter: a sample above the threshold pulls the gain down along a line that reaches
/// threshold/|x| within 2 ms (the steepest pending line wins); the gain then recovers
/// linearly over the release time. The mix returns a share of what was removed.
class LimiterKernel : public FxKernel {
public:
    explicit LimiterKernel(const FxContext& pContext)
        : threshold_(static_cast<float>(ThresholdOf(pContext.I(0))))
        , release_(1.0f / SamplesOf(pContext.I(1), pContext.SampleRate))
        , window_(static_cast<float>(pContext.SampleRate / 500.0))
        , mix_(static_cast<double>(pContext.I(2)) / 100.0)
        , out_(SingleDb(static_cast<double>(pContext.I(3))))
    {
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        const auto out = static_cast<double>(out_);
        for (int c = 0; c < 2; ++c) {
            float g = gain_[c];
            float target = target_[c];
            float step = step_[c];
            for (int64_t n = 0; n < frames; ++n) {
                const int v0 = x[n * 2 + c];
                if (v0 != 0) {
                    const float q = threshold_ / static_cast<float>(std::abs(v0));
                    const float d = (g - q) / window_;
                    if (q < target)
                        target = q;
                    if (d > step)
                        step = d;
                }
                if (step != 0.0f) {
                    g -= step;
                    if (g <= target) {
                        step = 0.0f;
                        target = 1.0f;
                    }
                } else {
                    g = std::min(g + release_, 1.0f);
                }
                const double x0 = v0;
                const double v = NearestEven(x0 * static_cast<double>(g));
                pOut[n * 2 + c] = Saturate16((v + (x0 - v) * mix_) * out);
            }
            gain_[c] = g;
            target_[c] = target;
            step_[c] = step;
        }
    }

private:
    float threshold_;
    float release_;
    float window_;
    double mix_;
    float out_;
    float gain_[2] = { 1.0f, 1.0f };
    float target_[2] = { 1.0f, 1.0f };
    float step_[2] = { 0.0f, 0.0f };
};

/// Compressor: a sample above the threshold sets a target gain (threshold/|x| times the
/// attack factor) further from the sustain gain than the current one; the gain moves there
/// in 2 ms on the quiet samples that follow and then drifts back to the sustain gain at the
/// release rate. On loud samples the gain holds.
class CompressorKernel : public FxKernel {
public:
    explicit CompressorKernel(const FxContext& pContext)
        : threshold_(static_cast<float>(ThresholdOf(pContext.I(0))))
        , release_(1.0f / SamplesOf(pContext.I(1), pContext.SampleRate))
        , attack_(static_cast<float>(static_cast<double>(pContext.I(2)) / 100.0))
        , sustain_(static_cast<float>(static_cast<double>(pContext.I(3)) / 100.0))
        , window_(static_cast<float>(pContext.SampleRate / 500.0))
        , out_(SingleDb(static_cast<double>(pContext.I(4))))
        , target_ { sustain_, sustain_ }
    {
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        const auto out = static_cast<double>(out_);
        const float u = sustain_;
        for (int c = 0; c < 2; ++c) {
            float g = gain_[c];
            float target = target_[c];
            float step = step_[c];
            for (int64_t n = 0; n < frames; ++n) {
                const int v0 = x[n * 2 + c];
                const auto a = static_cast<float>(std::abs(v0));
                if (a > threshold_) {
                    const float q = threshold_ / a * attack_;
                    const float far = std::abs(q - u);
                    if (far > std::abs(g - u) && far > std::abs(target - u)) {
                        target = q;
                        step = std::abs(g - q) / window_;
                    }
                } else if (step != 0.0f) {
                    if (target > g) {
                        g += step;
                        if (g >= target) {
                            step = 0.0f;
                            g = target;
                            target = u;
                        }
                    } else {
                        g -= step;
                        if (g <= target) {
                            step = 0.0f;
                            g = target;
                            target = u;
                        }
                    }
                } else if (g >= u) {
                    g = std::max(g - release_, u);
                } else {
                    g = std::min(g + release_, u);
                }
                pOut[n * 2 + c] = Saturate16(v0 * static_cast<double>(g) * out);
            }
            gain_[c] = g;
            target_[c] = target;
            step_[c] = step;
        }
    }

private:
    float threshold_;
    float release_;
    float attack_;
    float sustain_;
    float window_;
    float out_;
    float gain_[2] = { 1.0f, 1.0f };
    float target_[2];
    float step_[2] = { 0.0f, 0.0f };
};

/// Maximize: the gain rises at the release rate to the boost; a sample K frames ahead that
/// the boost would lift over the ceiling pulls the gain down along a line that reaches
/// ceiling/|x| when that sample arrives. Where the look-ahead ends (the end of the source),
/// the gain stays fixed.
class MaximizeKernel : public FxKernel {
public:
    explicit MaximizeKernel(const FxContext& pContext)
        : boost_(SingleDb(static_cast<double>(pContext.I(0))))
        , ceiling_(static_cast<float>(RoundHalfEven(
              static_cast<double>(SingleDb(static_cast<double>(pContext.I(3)))) * 32767.0)))
        , release_(1.0f / SamplesOf(pContext.I(2), pContext.SampleRate))
        , attack_(SamplesOf(pContext.I(1), pContext.SampleRate))
    {
        setup_.LookAhead = RoundHalfEven(2.0 * static_cast<double>(attack_));
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        const int64_t start = pChunk.Start;
        const auto k = static_cast<double>(attack_);
        for (int c = 0; c < 2; ++c) {
            float g = gain_[c];
            float target = target_[c];
            float step = step_[c];
            for (int64_t n = 0; n < frames; ++n) {
                // The frame ahead is found from the position in the whole range, so that a
                // half rounds the same way wherever the chunks begin.
                const int64_t j
                    = static_cast<int64_t>(NearestEven(static_cast<double>(start + n) + k)) - start;
                if (j < pChunk.Readable) {
                    const int ahead = x[j * 2 + c];
                    if (ahead != 0) {
                        const float q = ceiling_ / static_cast<float>(std::abs(ahead));
                        const float d = (g - q) / attack_;
                        if (q < target)
                            target = q;
                        if (d > step)
                            step = d;
                    }
                    if (step != 0.0f) {
                        g -= step;
                        if (g <= target) {
                            step = 0.0f;
                            target = boost_;
                        }
                    } else {
                        g = std::min(g + release_, boost_);
                    }
                }
                pOut[n * 2 + c] = Saturate16(x[n * 2 + c] * static_cast<double>(g));
            }
            gain_[c] = g;
            target_[c] = target;
            step_[c] = step;
        }
    }

private:
    float boost_;
    float ceiling_;
    float release_;
    float attack_;
    float gain_[2] = { 1.0f, 1.0f };
    float target_[2] = { 1.0f, 1.0f };
    float step_[2] = { 0.0f, 0.0f };
};

/// Gate: one gain for both channels. A sample above the threshold on either channel opens
/// the gate over 100 samples; after the hold of quiet samples it closes linearly.
class GateKernel : public FxKernel {
public:
    explicit GateKernel(const FxContext& pContext)
        : threshold_(ThresholdOf(pContext.I(0)))
        , hold_(RoundHalfEven(static_cast<double>(pContext.I(1)) / 1000.0 * pContext.SampleRate))
        , close_(1.0f / SamplesOf(pContext.I(2), pContext.SampleRate))
    {
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        for (int64_t n = 0; n < frames; ++n) {
            const int l = x[n * 2];
            const int r = x[n * 2 + 1];
            if (std::abs(l) > threshold_ || std::abs(r) > threshold_) {
                quiet_ = 0;
                opening_ = 0.01f;
            } else {
                ++quiet_;
            }
            if (quiet_ <= hold_) {
                if (opening_ != 0.0f) {
                    gain_ += opening_;
                    if (gain_ >= 1.0f) {
                        opening_ = 0.0f;
                        gain_ = 1.0f;
                    }
                }
            } else {
                gain_ = std::max(gain_ - close_, 0.0f);
            }
            const auto g = static_cast<double>(gain_);
            pOut[n * 2] = Saturate16(l * g);
            pOut[n * 2 + 1] = Saturate16(r * g);
        }
    }

private:
    int64_t threshold_;
    int64_t hold_;
    float close_;
    float gain_ = 1.0f;
    float opening_ = 0.0f;
    int64_t quiet_ = 0;
};

/// Enhancer: the dry signal plus the difference of successive samples (a first-order
/// high-pass).
class EnhancerKernel : public FxKernel {
public:
    EnhancerKernel(int64_t pLevel, int64_t pDry)
        : level_(static_cast<double>(pLevel) / 100.0 * 3.0)
        , dry_(static_cast<double>(pDry) / 100.0)
    {
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        for (int c = 0; c < 2; ++c) {
            double p = previous_[c];
            for (int64_t n = 0; n < frames; ++n) {
                const double v = x[n * 2 + c];
                pOut[n * 2 + c] = Saturate16(v * dry_ + (v - p) * level_);
                p = v;
            }
            previous_[c] = p;
        }
    }

private:
    double level_;
    double dry_;
    double previous_[2] = { 0, 0 };
};

} // namespace

std::unique_ptr<FxKernel> MakeDistortionKernel(const FxContext& pContext)
{
    return std::make_unique<DistortionKernel>(pContext.I(0), pContext.I(1));
}

std::unique_ptr<FxKernel> MakeOverdriveKernel(const FxContext& pContext)
{
    return std::make_unique<OverdriveKernel>(pContext.I(0), pContext.I(1), pContext.I(2));
}

std::unique_ptr<FxKernel> MakeLimiterKernel(const FxContext& pContext)
{
    return std::make_unique<LimiterKernel>(pContext);
}

std::unique_ptr<FxKernel> MakeCompressorKernel(const FxContext& pContext)
{
    return std::make_unique<CompressorKernel>(pContext);
}

std::unique_ptr<FxKernel> MakeMaximizeKernel(const FxContext& pContext)
{
    return std::make_unique<MaximizeKernel>(pContext);
}

std::unique_ptr<FxKernel> MakeGateKernel(const FxContext& pContext)
{
    return std::make_unique<GateKernel>(pContext);
}

std::unique_ptr<FxKernel> MakeEnhancerKernel(const FxContext& pContext)
{
    return std::make_unique<EnhancerKernel>(pContext.I(0), pContext.I(1));
}

} // namespace tarvok
