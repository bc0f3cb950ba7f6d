// The simple per-frame effects: sine wave, normalise, amplify, phase invert, LR mix,
// exchange, L to R, R to L, stereo enhance, centre removal and centre extraction.

#include "fx/channel_effects.h"

#include "base/numeric.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace tarvok {

namespace {

/// dB to a gain in single precision, 0 at -110 dB or less.
double SingleDb(double pDb) { return static_cast<double>(static_cast<float>(DbToFactor(pDb))); }

/// A kernel that maps each input frame (l, r) to an output frame by pMap.
template <class MapT> class FrameKernel : public FxKernel {
public:
    explicit FrameKernel(MapT pMap)
        : map_(std::move(pMap))
    {
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        const int16_t* x = pChunk.In;
        for (int64_t n = 0; n < frames; ++n)
            map_(x[n * 2], x[n * 2 + 1], pOut[n * 2], pOut[n * 2 + 1]);
    }

private:
    MapT map_;
};

template <class MapT> std::unique_ptr<FxKernel> Frames(MapT pMap)
{
    return std::make_unique<FrameKernel<MapT>>(std::move(pMap));
}

/// Sine wave: the input is ignored; the phase steps before each frame and runs on across
/// chunks.
class SineKernel : public FxKernel {
public:
    SineKernel(double pLevelDb, double pFreq, int32_t pRate)
        : amp_(SingleDb(pLevelDb) * 32767.0)
        , step_(2.0 * std::numbers::pi * pFreq / pRate)
    {
    }

    void Run(const FxChunk& /*pChunk*/, std::vector<int16_t>& pOut) override
    {
        const auto frames = static_cast<int64_t>(pOut.size() / 2);
        for (int64_t n = 0; n < frames; ++n) {
            phase_ += step_;
            const int16_t v = Saturate16(std::sin(phase_) * amp_);
            pOut[n * 2] = v;
            pOut[n * 2 + 1] = v;
        }
    }

private:
    double amp_;
    double step_;
    double phase_ = 0.0;
};

using S = int16_t;

} // namespace

std::unique_ptr<FxKernel> MakeSineKernel(const FxContext& pContext)
{
    return std::make_unique<SineKernel>(pContext.P(0), pContext.P(1), pContext.SampleRate);
}

std::unique_ptr<FxKernel> MakeGainKernel(const FxContext& pContext)
{
    const double gl = SingleDb(pContext.P(0));
    const double gr = SingleDb(pContext.P(1));
    return Frames([gl, gr](S l, S r, S& ol, S& or_) {
        ol = Saturate16(l * gl);
        or_ = Saturate16(r * gr);
    });
}

std::unique_ptr<FxKernel> MakePhaseInvertKernel(const FxContext& pContext)
{
    const int64_t mode = pContext.I(0);
    const double sl = (mode == 1 || mode == 3) ? -1.0 : 1.0;
    const double sr = (mode == 2 || mode == 3) ? -1.0 : 1.0;
    return Frames([sl, sr](S l, S r, S& ol, S& or_) {
        ol = Saturate16(l * sl);
        or_ = Saturate16(r * sr);
    });
}

std::unique_ptr<FxKernel> MakeMixLrKernel(const FxContext& pContext)
{
    // The share a of the other channel is formed in single precision: 0.005f times the level,
    // rounded to single precision, so that at 100 it is exactly one half and both channels
    // carry the same mono average.
    const float share = static_cast<float>(pContext.I(0)) * 0.005f;
    const double a = static_cast<double>(share);
    return Frames([a](S l, S r, S& ol, S& or_) {
        ol = Saturate16(l * (1.0 - a) + r * a);
        or_ = Saturate16(r * (1.0 - a) + l * a);
    });
}

std::unique_ptr<FxKernel> MakeExchangeLrKernel(const FxContext& /*pContext*/)
{
    return Frames([](S l, S r, S& ol, S& or_) {
        ol = Saturate16(r);
        or_ = Saturate16(l);
    });
}

std::unique_ptr<FxKernel> MakeLeftToRightKernel(const FxContext& /*pContext*/)
{
    return Frames([](S l, S /*r*/, S& ol, S& or_) { ol = or_ = Saturate16(l); });
}

std::unique_ptr<FxKernel> MakeRightToLeftKernel(const FxContext& /*pContext*/)
{
    return Frames([](S /*l*/, S r, S& ol, S& or_) { ol = or_ = Saturate16(r); });
}

std::unique_ptr<FxKernel> MakeStereoEnhanceKernel(const FxContext& pContext)
{
    const double k = static_cast<double>(pContext.I(0)) / 100.0;
    return Frames([k](S l, S r, S& ol, S& or_) {
        ol = Saturate16(std::trunc(NearestEven((l - r) * k + l) / 2.0));
        or_ = Saturate16(std::trunc(NearestEven((r - l) * k + r) / 2.0));
    });
}

std::unique_ptr<FxKernel> MakeCentreRemovalKernel(const FxContext& /*pContext*/)
{
    return Frames([](S l, S r, S& ol, S& or_) {
        ol = Saturate16(static_cast<double>(l) - r);
        or_ = Saturate16(static_cast<double>(r) - l);
    });
}

std::unique_ptr<FxKernel> MakeCentreExtractionKernel(const FxContext& /*pContext*/)
{
    return Frames([](S l, S r, S& ol, S& or_) {
        auto sign = [](int v) { return (v > 0) - (v < 0); };
        if (sign(l) != sign(r)) {
            ol = or_ = 0;
            return;
        }
        const S v = std::abs(static_cast<int>(r)) >= std::abs(static_cast<int>(l)) ? l : r;
        ol = or_ = Saturate16(v);
    });
}

} // namespace tarvok
