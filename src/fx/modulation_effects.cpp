// Effects that delay or modulate the signal: delay, stereo delay, echo, reverb, the
// modulated delays (flanger, phaser, chorus, vibrato), autopan and tremolo.

#include "fx/modulation_effects.h"

#include "base/numeric.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace tarvok {

namespace {

constexpr double kPi = std::numbers::pi;

/// Delay and stereo delay: the input d samples earlier, mixed with the dry signal.
class DelayKernel : public FxKernel {
public:
    DelayKernel(int64_t pLeft, int64_t pRight, double pWet, double pDry, bool pPreview)
        : delay_ { pLeft, pRight }
        , wet_(pWet)
        , dry_(pDry)
        , history_(std::max(pLeft, pRight))
    {
        setup_.Tail = pPreview ? 0 : std::max(pLeft, pRight);
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        for (int c = 0; c < 2; ++c) {
            const int64_t d = delay_[c];
            const int64_t split = std::min(d, frames);
            for (int64_t n = 0; n < split; ++n)
                pOut[n * 2 + c]
                    = Saturate16(x[n * 2 + c] * dry_ + history_.Before(n - d, c) * wet_);
            for (int64_t n = split; n < frames; ++n)
                pOut[n * 2 + c] = Saturate16(x[n * 2 + c] * dry_ + x[(n - d) * 2 + c] * wet_);
        }
        history_.Push(x, pChunk.Frames);
    }

private:
    int64_t delay_[2];
    double wet_;
    double dry_;
    InputHistory history_;
};

/// Echo: the output d samples earlier, scaled by g, added to the input.
class EchoKernel : public FxKernel {
public:
    EchoKernel(int64_t pDelay, double pGain, bool pPreview)
        : delay_(pDelay)
        , gain_(pGain)
        , history_(pDelay)
    {
        setup_.Tail = pPreview ? 0 : 8 * pDelay;
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        const int64_t split = std::min(delay_, frames);
        for (int64_t n = 0; n < split; ++n)
            for (int c = 0; c < 2; ++c)
                pOut[n * 2 + c] = Saturate16(x[n * 2 + c] + history_.Before(n - delay_, c) * gain_);
        // Each output frame depends on one d frames earlier, so the loop runs forward over
        // interleaved samples with a fixed distance.
        const int64_t dist = delay_ * 2;
        int16_t* y = pOut.data();
        for (int64_t s = split * 2; s < frames * 2; ++s)
            y[s] = Saturate16(x[s] + y[s - dist] * gain_);
        history_.Push(pOut.data(), std::min(pChunk.Frames, frames));
    }

private:
    int64_t delay_;
    double gain_;
    InputHistory history_;
};

/// Reverb: random taps of the input history, a one-pole low-pass and a low cut.
class ReverbKernel : public FxKernel {
public:
    explicit ReverbKernel(const FxContext& pContext)
    {
        const double rate = pContext.SampleRate;
        const int64_t taps = std::clamp<int64_t>(pContext.I(3), 1, 1000);
        const double spread = 2.0 * static_cast<double>(pContext.I(0)) + 40.0;
        const double stereo = static_cast<double>(pContext.I(4)) / 100.0;
        std::mt19937 random(pContext.Seed);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        auto tapTime = [&](int64_t pTap, double pRandom) {
            return ((static_cast<double>(pTap + 1) * 19200000.0 + pRandom * 6400000.0)
                           / static_cast<double>(taps)
                       + 100000.0)
                / rate;
        };
        int64_t longest = 0;
        for (int64_t i = 0; i <= taps; ++i) {
            const double r1 = uniform(random);
            const auto left = static_cast<int64_t>(RoundHalfEven(spread * tapTime(i, r1)));
            const double r2 = uniform(random);
            const auto other = static_cast<double>(RoundHalfEven(spread * tapTime(i, r2)));
            const auto right = static_cast<int64_t>(
                RoundHalfEven((1.0 - stereo) * static_cast<double>(left) + stereo * other));
            Tap tap;
            tap.Delay[0] = std::max<int64_t>(left, 0);
            tap.Delay[1] = std::max<int64_t>(right, 0);
            tap.Gain = std::pow(
                10.0, (-12.0 - 48.0 * static_cast<double>(i) / static_cast<double>(taps)) / 20.0);
            longest = std::max({ longest, tap.Delay[0], tap.Delay[1] });
            taps_.push_back(tap);
        }
        history_ = InputHistory(longest);
        setup_.Tail = pContext.Preview ? 0 : longest;
        const auto p1 = static_cast<float>(pContext.I(1));
        const auto p2 = static_cast<float>(pContext.I(2));
        lpB_ = 0.51f - 0.005f * p1;
        lpA_ = 0.999f - lpB_;
        hpA_ = 1.0f - 0.0004f * p2;
        hpB_ = 1.0f - hpA_;
        level_ = static_cast<float>(pContext.I(5)) / 100.0f * 5.0f;
        dry_ = static_cast<float>(pContext.I(6)) / 100.0f;
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        sum_.assign(static_cast<size_t>(frames), 0.0);
        for (int c = 0; c < 2; ++c) {
            std::fill(sum_.begin(), sum_.end(), 0.0);
            for (const Tap& tap : taps_) {
                const int64_t d = tap.Delay[c];
                const double g = tap.Gain;
                const int64_t split = std::min(d, frames);
                for (int64_t n = 0; n < split; ++n)
                    sum_[static_cast<size_t>(n)] += NearestEven(history_.Before(n - d, c) * g);
                double* s = sum_.data();
                const int16_t* src = x + c - d * 2;
                for (int64_t n = split; n < frames; ++n)
                    s[n] += NearestEven(src[n * 2] * g);
            }
            double lp = lp_[c];
            double hp = hp_[c];
            for (int64_t n = 0; n < frames; ++n) {
                lp = NearestEven(lp * static_cast<double>(lpA_)
                    + sum_[static_cast<size_t>(n)] * static_cast<double>(lpB_));
                hp = NearestEven(hp * static_cast<double>(hpA_) + lp * static_cast<double>(hpB_));
                const double w = std::clamp(lp - hp, -32767.0, 32767.0);
                pOut[n * 2 + c] = Saturate16(
                    x[n * 2 + c] * static_cast<double>(dry_) + w * static_cast<double>(level_));
            }
            lp_[c] = lp;
            hp_[c] = hp;
        }
        history_.Push(x, pChunk.Frames);
    }

private:
    struct Tap {
        int64_t Delay[2] = { 0, 0 };
        double Gain = 0.0;
    };
    std::vector<Tap> taps_;
    InputHistory history_;
    std::vector<double> sum_;
    float lpA_ = 0, lpB_ = 0, hpA_ = 0, hpB_ = 0, level_ = 0, dry_ = 0;
    double lp_[2] = { 0, 0 };
    double hp_[2] = { 0, 0 };
};

/// The modulated delays: a read position ahead of the current sample swings with a sine
/// LFO, and the input between successive read positions is averaged.
class ModulatedDelayKernel : public FxKernel {
public:
    ModulatedDelayKernel(double pRateHz, int64_t pBase, int64_t pDepth, double pRightPhase,
        double pWet, double pDry, int32_t pSampleRate)
        : base_(pBase)
        , depth_(pDepth)
        , wet_(pWet)
        , dry_(pDry)
        , inc_(2.0 * kPi * pRateHz / pSampleRate)
        , history_(std::max<int64_t>(2 * (pDepth + pBase) + 8, 8))
    {
        phase_[0] = 0.0;
        phase_[1] = pRightPhase;
        setup_.LookAhead = 2 * pBase + 2 * pDepth;
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        const int64_t s = pChunk.Start;
        const int64_t readable = pChunk.Readable;
        const int64_t oldest = -history_.Frames();
        // A read before the chunk takes the frame from the history (silence before the
        // first frame of the run) and counts; a read beyond the look-ahead does not count.
        auto sample = [&](int64_t pIndex, int pChannel, bool& pCounts) -> double {
            if (pIndex >= readable) {
                pCounts = false;
                return 0.0;
            }
            pCounts = true;
            if (pIndex >= 0)
                return x[pIndex * 2 + pChannel];
            if (pIndex >= oldest && s + pIndex >= 0)
                return history_.Before(pIndex, pChannel);
            return 0.0;
        };
        for (int64_t n = 0; n < frames; ++n) {
            const int64_t a = s + n;
            for (int c = 0; c < 2; ++c) {
                const double m = static_cast<double>(a + base_)
                    + static_cast<double>(depth_) * std::sin(phase_[c]);
                const double fl = std::floor(m);
                const auto i = static_cast<int64_t>(fl);
                const double f = m - fl;
                const int64_t k0 = pos_[c] - s;
                const int64_t k1 = i - s + 1;
                double acc = 0.0;
                double weights = 0.0;
                bool counts = false;
                double v = sample(k0, c, counts);
                if (counts) {
                    acc += NearestEven(v * (1.0 - frac_[c]));
                    weights += 1.0 - frac_[c];
                }
                v = sample(k1, c, counts);
                if (counts) {
                    acc += NearestEven(v * f);
                    weights += f;
                }
                for (int64_t k = k0 + 1; k <= i - s; ++k) {
                    v = sample(k, c, counts);
                    if (counts) {
                        acc += v;
                        weights += 1.0;
                    }
                }
                if (weights != 0.0)
                    acc = NearestEven(acc / weights);
                pos_[c] = i;
                frac_[c] = f;
                pOut[n * 2 + c] = Saturate16(x[n * 2 + c] * dry_ + acc * wet_);
            }
            phase_[0] += inc_;
            phase_[1] += inc_;
        }
        history_.Push(x, pChunk.Frames);
    }

private:
    int64_t base_;
    int64_t depth_;
    double wet_;
    double dry_;
    double inc_;
    double phase_[2] = { 0, 0 };
    int64_t pos_[2] = { 0, 0 };
    double frac_[2] = { 0, 0 };
    InputHistory history_;
};

/// Autopan (opposite swings on the two channels) and tremolo (the same swing on both); the
/// sum is halved toward zero.
class SwingKernel : public FxKernel {
public:
    SwingKernel(double pRateHz, double pDepth, bool pOpposite, int32_t pSampleRate)
        : inc_(2.0 * kPi * pRateHz / pSampleRate)
        , depth_(pDepth)
        , opposite_(pOpposite)
    {
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int16_t* in = pChunk.In;
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        for (int64_t n = 0; n < frames; ++n) {
            const double swing = std::sin(phase_) * depth_;
            const double l = in[n * 2];
            const double r = in[n * 2 + 1];
            pOut[n * 2] = Saturate16(std::trunc(NearestEven(swing * l + l) / 2.0));
            const double rs = opposite_ ? -swing : swing;
            pOut[n * 2 + 1] = Saturate16(std::trunc(NearestEven(rs * r + r) / 2.0));
            phase_ += inc_;
        }
    }

private:
    double inc_;
    double depth_;
    bool opposite_;
    double phase_ = 0.0;
};

/// A time fader in ms as whole frames at the project rate (whole frames per ms).
int64_t MsParm(const FxContext& pContext, size_t pIndex)
{
    const int64_t perMs = pContext.SampleRate / 1000;
    return std::max<int64_t>(perMs * pContext.I(pIndex), 0);
}

/// A level fader in percent as a share.
double ShareParm(const FxContext& pContext, size_t pIndex)
{
    return static_cast<double>(pContext.I(pIndex)) / 100.0;
}

/// The modulated delays' right-channel phase offset (ステレオ, P2) in radians.
double RightPhase(const FxContext& pContext)
{
    return static_cast<double>(pContext.I(2)) * kPi / 4.0;
}

/// The modulated delays' wet share (レベル, P3); the dry share is the rest.
double MixWet(const FxContext& pContext) { return static_cast<double>(pContext.I(3)) / 200.0; }

} // namespace

std::unique_ptr<FxKernel> MakeDelayKernel(const FxContext& pContext)
{
    return std::make_unique<DelayKernel>(MsParm(pContext, 0), MsParm(pContext, 0),
        ShareParm(pContext, 1), ShareParm(pContext, 2), pContext.Preview);
}

std::unique_ptr<FxKernel> MakeStereoDelayKernel(const FxContext& pContext)
{
    return std::make_unique<DelayKernel>(MsParm(pContext, 0), MsParm(pContext, 1),
        ShareParm(pContext, 2), ShareParm(pContext, 3), pContext.Preview);
}

std::unique_ptr<FxKernel> MakeEchoKernel(const FxContext& pContext)
{
    return std::make_unique<EchoKernel>(
        MsParm(pContext, 0), ShareParm(pContext, 1), pContext.Preview);
}

std::unique_ptr<FxKernel> MakeReverbKernel(const FxContext& pContext)
{
    return std::make_unique<ReverbKernel>(pContext);
}

std::unique_ptr<FxKernel> MakeFlangerKernel(const FxContext& pContext)
{
    const int32_t rate = pContext.SampleRate;
    const int64_t base = rate / 800;
    const double wet = MixWet(pContext);
    return std::make_unique<ModulatedDelayKernel>(static_cast<double>(pContext.I(0)) / 50.0, base,
        RoundHalfEven(static_cast<double>(pContext.I(1)) / 100.0 * static_cast<double>(base)),
        RightPhase(pContext), wet, 1.0 - wet, rate);
}

std::unique_ptr<FxKernel> MakePhaserKernel(const FxContext& pContext)
{
    const int32_t rate = pContext.SampleRate;
    const int64_t base = rate / 3500;
    const double wet = MixWet(pContext);
    return std::make_unique<ModulatedDelayKernel>(
        (static_cast<double>(pContext.I(0)) + 20.0) / 10.0, base,
        RoundHalfEven(static_cast<double>(pContext.I(1)) / 80.0 * static_cast<double>(base)),
        RightPhase(pContext), wet, 1.0 - wet, rate);
}

std::unique_ptr<FxKernel> MakeChorusKernel(const FxContext& pContext)
{
    const int32_t rate = pContext.SampleRate;
    const double wet = MixWet(pContext);
    return std::make_unique<ModulatedDelayKernel>(static_cast<double>(pContext.I(0)) / 10.0,
        RoundHalfEven(rate / 1000.0 * 20.0),
        RoundHalfEven(static_cast<double>(pContext.I(1)) / 100.0 * rate / 1000.0),
        RightPhase(pContext), wet, 1.0 - wet, rate);
}

std::unique_ptr<FxKernel> MakeAutopanKernel(const FxContext& pContext)
{
    return std::make_unique<SwingKernel>(static_cast<double>(pContext.I(0)) / 50.0,
        static_cast<double>(pContext.I(1)) / 100.0, true, pContext.SampleRate);
}

std::unique_ptr<FxKernel> MakeTremoloKernel(const FxContext& pContext)
{
    return std::make_unique<SwingKernel>(static_cast<double>(pContext.I(0)) * 0.5,
        static_cast<double>(pContext.I(1)) / 100.0, false, pContext.SampleRate);
}

std::unique_ptr<FxKernel> MakeVibratoKernel(const FxContext& pContext)
{
    const int32_t rate = pContext.SampleRate;
    return std::make_unique<ModulatedDelayKernel>(static_cast<double>(pContext.I(0)) / 10.0,
        RoundHalfEven(rate / 300.0 + 1.0),
        RoundHalfEven(static_cast<double>(pContext.I(1)) / 100.0 * rate / 300.0), 0.0, 1.0, 0.0,
        rate);
}

} // namespace tarvok
