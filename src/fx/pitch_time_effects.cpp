// Effects that change pitch or duration: octave, pitch shift, time stretch and speed change,
// and the high-quality mode of pitch shift and time stretch through a TimePitchEngine.

#include "fx/pitch_time_effects.h"

#include "base/numeric.h"
#include "fx/time_pitch_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <limits>

namespace tarvok {

namespace {

/// pNum / pDen for pNum >= 0, pDen > 0, rounded to the nearest integer, halves to even.
int64_t DivideHalfEven(int64_t pNum, int64_t pDen)
{
    const int64_t q = pNum / pDen;
    const int64_t r2 = (pNum % pDen) * 2;
    if (r2 > pDen || (r2 == pDen && (q & 1) != 0))
        return q + 1;
    return q;
}

/// The crossfade weights of one granular effect, X points each, as plain arrays.
struct Fades {
    std::vector<double> Out;
    std::vector<double> In;

    Fades(int64_t pPoints, bool pLinearOnly)
    {
        const CrossfadeCurves c = BuildCrossfade(static_cast<int32_t>(pPoints), pLinearOnly);
        for (size_t k = 0; k < static_cast<size_t>(std::max<int64_t>(pPoints, 0)); ++k) {
            Out.push_back(c.Out(k));
            In.push_back(c.In(k));
        }
    }
};

/// Octave: each block of R/10 samples is refilled from its own start read at half and at
/// quarter speed, smoothed by a one-pole low-pass, crossfaded over its first X samples with
/// the overrun of the previous block, and mixed with the dry signal.
class OctaveKernel : public FxKernel {
public:
    explicit OctaveKernel(const FxContext& pContext)
        : dry_(static_cast<double>(pContext.I(0)) / 100.0)
        , down1_(static_cast<double>(pContext.I(1)) / 100.0)
        , down2_(static_cast<double>(pContext.I(2)) / 100.0)
        , block_(std::max<int64_t>(pContext.SampleRate / 10, 1))
        , fade_(block_ / 4)
        , fades_(fade_, false)
        , overlap_(static_cast<size_t>(fade_ * 2), 0)
    {
        setup_.LookAhead = 3 * fade_;
        setup_.ChunkFrames
            = std::max<int64_t>(5 * static_cast<int64_t>(pContext.SampleRate) / block_, 1) * block_;
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int64_t n = pChunk.Frames;
        const int16_t* x = pChunk.In;
        pOut.assign(static_cast<size_t>(n * 2), 0);
        // p + j/2 < n - 1 + A, in halves: the last readable frame is n - 1 + A.
        const int64_t limit2 = 2 * (pChunk.Readable - 1);
        for (int64_t p = 0; p <= n - 1; p += block_) {
            for (int64_t j = 0; j < fade_ + block_; ++j) {
                double v[2] = { 0.0, 0.0 };
                if (2 * p + j < limit2) {
                    const int64_t half = DivideHalfEven(2 * p + j, 2);
                    const int64_t quarter = DivideHalfEven(4 * p + j, 4);
                    for (int c = 0; c < 2; ++c)
                        v[c] = NearestEven(x[half * 2 + c] * down1_ + x[quarter * 2 + c] * down2_);
                }
                for (int c = 0; c < 2; ++c) {
                    double w = NearestEven(v[c] * 0.1 + smooth_[c] * 0.9);
                    smooth_[c] = w;
                    if (j < fade_) {
                        const auto k = static_cast<size_t>(j);
                        w = NearestEven(overlap_[k * 2 + static_cast<size_t>(c)] * fades_.Out[k]
                            + w * fades_.In[k]);
                    }
                    if (j >= block_) {
                        overlap_[static_cast<size_t>((j - block_) * 2 + c)] = Saturate16(w);
                        continue;
                    }
                    if (p + j < n)
                        pOut[static_cast<size_t>((p + j) * 2 + c)]
                            = Saturate16(w + x[(p + j) * 2 + c] * dry_);
                }
            }
        }
    }

private:
    double dry_;
    double down1_;
    double down2_;
    int64_t block_;
    int64_t fade_;
    Fades fades_;
    std::vector<int16_t> overlap_;
    double smooth_[2] = { 0.0, 0.0 };
};

/// The ratio of pitch shift for ピッチ pSemitones and 微調整 pFine, in single precision:
/// the semitone step of the equal-tempered table plus pFine/1000, times the octave factor.
float PitchRatio(int64_t pSemitones, int64_t pFine)
{
    static constexpr float kSteps[12] = { 1.0f, 1.0595f, 1.1225f, 1.1892f, 1.2599f, 1.3348f,
        1.4142f, 1.4983f, 1.5874f, 1.6818f, 1.7818f, 1.8877f };
    const int64_t step = ((pSemitones % 12) + 12) % 12;
    const int64_t octave = (pSemitones - step) / 12;
    const auto factor = static_cast<float>(std::ldexp(1.0, static_cast<int>(octave)));
    return (kSteps[step] + static_cast<float>(pFine) * 0.001f) * factor;
}

/// Pitch shift: grains of G samples, each read from its own start at the ratio r (the span
/// one output step covers averaged when r is 2 or more), crossfaded over the first X samples
/// with the overrun of the previous grain. A read at or beyond the end of the chunk and its
/// look-ahead gives silence, as the octave effect does where its reads run out: holding the
/// last value instead would turn the rest of the grain into a constant offset.
class PitchShiftKernel : public FxKernel {
public:
    explicit PitchShiftKernel(const FxContext& pContext)
        : ratio_(PitchRatio(pContext.I(0), pContext.I(1)))
        , level_(static_cast<double>(pContext.I(2)) / 100.0)
        , dry_(static_cast<double>(pContext.I(3)) / 100.0)
        , grain_(std::max<int64_t>(pContext.SampleRate
                  / std::max<int64_t>(
                      RoundHalfEven(1.5 * static_cast<double>(std::abs(pContext.I(0))) + 4.0), 1),
              1))
        , fade_(grain_ / 4)
        , span_(ratio_ > 1.0f ? static_cast<int64_t>(std::floor(ratio_)) - 1 : 0)
        , fades_(fade_, false)
        , overlap_(static_cast<size_t>(fade_ * 2), 0)
    {
        setup_.LookAhead = 10 * fade_;
        setup_.ChunkFrames
            = std::max<int64_t>(5 * static_cast<int64_t>(pContext.SampleRate) / grain_, 1) * grain_;
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int64_t n = pChunk.Frames;
        const int64_t bound = pChunk.Readable; // n + A
        const int16_t* x = pChunk.In;
        const auto r = static_cast<double>(ratio_);
        const auto divisor = static_cast<double>(span_ + 1);
        pOut.assign(static_cast<size_t>(n * 2), 0);
        for (int64_t p = 0; p <= n - 1; p += grain_) {
            for (int64_t j = 0; j < fade_ + grain_; ++j) {
                const double t = static_cast<double>(p) + static_cast<double>(j) * r;
                const double fl = std::floor(t);
                const auto i = static_cast<int64_t>(fl);
                const double f = t - fl;
                const int64_t i2 = i + span_ + 1;
                double v[2] = { 0.0, 0.0 };
                if (i < bound && i2 < bound) {
                    for (int c = 0; c < 2; ++c) {
                        double w = NearestEven(x[i * 2 + c] * (1.0 - f) + x[i2 * 2 + c] * f);
                        if (span_ >= 1) {
                            for (int64_t m = i + 1; m < i2; ++m)
                                w += x[m * 2 + c];
                            w = NearestEven(w / divisor);
                        }
                        v[c] = w;
                    }
                }
                for (int c = 0; c < 2; ++c) {
                    double w = v[c];
                    if (j < fade_) {
                        const auto k = static_cast<size_t>(j);
                        w = NearestEven(overlap_[k * 2 + static_cast<size_t>(c)] * fades_.Out[k]
                            + w * fades_.In[k]);
                    }
                    if (j >= grain_) {
                        overlap_[static_cast<size_t>((j - grain_) * 2 + c)] = Saturate16(w);
                        continue;
                    }
                    if (p + j < n)
                        pOut[static_cast<size_t>((p + j) * 2 + c)]
                            = Saturate16(w * level_ + x[(p + j) * 2 + c] * dry_);
                }
            }
        }
    }

private:
    float ratio_;
    double level_;
    double dry_;
    int64_t grain_;
    int64_t fade_;
    int64_t span_;
    Fades fades_;
    std::vector<int16_t> overlap_;
};

/// Time stretch by synchronised overlap-add: segments of seg samples taken from the input
/// at the position the ratio gives, each joined to the natural continuation of the one
/// before (kept across chunks) at the point where the two match best.
class TimeStretchKernel : public FxKernel {
public:
    TimeStretchKernel(double pRatio, int32_t pSampleRate)
        : ratio_(pRatio)
        , seg_(std::max<int64_t>(
              RoundHalfEven(pSampleRate / (std::abs(1.0 - pRatio) * 28.0 + 1.0)), 1))
        , fades_(CrossfadeLength(seg_, pSampleRate), pRatio == 1.0)
        , half_(CrossfadeLength(seg_, pSampleRate) / 2)
        , continuation_(static_cast<size_t>(seg_ * 2), 0)
    {
        const int64_t c0
            = std::max<int64_t>(5 * static_cast<int64_t>(pSampleRate) / seg_, 1) * seg_;
        const int64_t in = std::max<int64_t>(RoundHalfEven(static_cast<double>(c0) * pRatio), 1);
        setup_.ChunkFrames = in;
        setup_.LookAhead = in;
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int64_t n = pChunk.Frames;
        const int16_t* x = pChunk.In;
        const int64_t last = pChunk.Readable - 1; // E
        const int64_t outFrames
            = std::max<int64_t>(RoundHalfEven(static_cast<double>(n) / ratio_), 1);
        pOut.assign(static_cast<size_t>(outFrames * 2), 0);
        const int64_t h = half_;
        const int16_t* cont = continuation_.data();
        for (int64_t p = 0; p < outFrames; p += seg_) {
            const int64_t src = RoundHalfEven(static_cast<double>(p) * ratio_);
            const int64_t b = SplicePoint(x, src, last);
            const int64_t count = std::min(seg_, outFrames - p);
            for (int64_t j = 0; j < count; ++j) {
                for (int c = 0; c < 2; ++c) {
                    double v = 0.0;
                    if (src + j > last)
                        v = 0.0;
                    else if (first_)
                        v = x[j * 2 + c];
                    else if (j < b - h)
                        v = cont[j * 2 + c];
                    else if (j < b + h) {
                        const auto k = static_cast<size_t>(j + h - b);
                        v = NearestEven(
                            cont[j * 2 + c] * fades_.Out[k] + x[(src + j) * 2 + c] * fades_.In[k]);
                    } else
                        v = x[(src + j) * 2 + c];
                    pOut[static_cast<size_t>((p + j) * 2 + c)] = Saturate16(v);
                }
            }
            first_ = false;
            // The continuation of this segment: the input from where its output stopped.
            for (int64_t i = 0; i < seg_; ++i) {
                const int64_t at = src + count + i;
                for (int c = 0; c < 2; ++c)
                    continuation_[static_cast<size_t>(i * 2 + c)]
                        = at <= last ? x[at * 2 + c] : int16_t { 0 };
            }
        }
    }

private:
    /// The crossfade length X: a fifth of a segment, at least R/24, made even.
    static int64_t CrossfadeLength(int64_t pSeg, int32_t pSampleRate)
    {
        int64_t x = pSeg / 5;
        if (static_cast<double>(x) < pSampleRate / 24.0)
            x = RoundHalfEven(pSampleRate / 24.0);
        return x / 2 * 2;
    }

    /// The splice point b of the segment read at pSrc: the window j - h .. j where the input
    /// matches the continuation best. The score 0.3 x sum D + 0.6 x sum F is compared as the
    /// exact integer sum of D + 2F, a running sum over the sliding window.
    int64_t SplicePoint(const int16_t* pX, int64_t pSrc, int64_t pLast) const
    {
        const int64_t h = half_;
        const int64_t jEnd = std::min(seg_ - h - 1, pLast - pSrc);
        if (pSrc > pLast || jEnd < h + 1)
            return h + 1;
        const int16_t* cont = continuation_.data();
        auto cost = [&](int64_t pI) -> int64_t {
            int64_t sum = 0;
            for (int c = 0; c < 2; ++c) {
                const int64_t xs = pX[(pSrc + pI) * 2 + c];
                const int64_t ps = cont[pI * 2 + c];
                sum += std::abs(xs - ps) + 2 * std::abs(xs + std::abs(ps));
            }
            return sum;
        };
        int64_t window = 0;
        for (int64_t i = 1; i <= h + 1; ++i)
            window += cost(i);
        int64_t best = window;
        int64_t bestJ = h + 1;
        for (int64_t j = h + 2; j <= jEnd; ++j) {
            window += cost(j) - cost(j - h - 1);
            if (window < best) {
                best = window;
                bestJ = j;
            }
        }
        // round(j - h/2), halves to even.
        const int64_t b = DivideHalfEven(2 * bestJ - h, 2);
        return std::max(b, h + 1);
    }

    double ratio_;
    int64_t seg_;
    Fades fades_;
    int64_t half_;
    std::vector<int16_t> continuation_;
    bool first_ = true;
};

/// Speed change: resampling at the ratio S, each chunk from its own first sample, averaging
/// the span one output step covers when S is 2 or more.
class SpeedChangeKernel : public FxKernel {
public:
    explicit SpeedChangeKernel(double pRatio)
        : ratio_(pRatio)
        , span_(pRatio > 1.0 ? static_cast<int64_t>(std::floor(pRatio)) - 1 : 0)
    {
        setup_.LookAhead = 100;
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        const int64_t n = pChunk.Frames;
        if (n < 2) {
            pOut.clear();
            return;
        }
        const int16_t* x = pChunk.In;
        const int64_t bound = pChunk.Readable;
        const int64_t outFrames
            = std::max<int64_t>(RoundHalfEven(static_cast<double>(n) / ratio_) - 1, 1);
        const auto divisor = static_cast<double>(span_ + 1);
        pOut.assign(static_cast<size_t>(outFrames * 2), 0);
        auto at = [&](int64_t pI, int pC) -> double {
            return pI < bound ? static_cast<double>(x[pI * 2 + pC]) : 0.0;
        };
        for (int64_t m = 0; m < outFrames; ++m) {
            const double t = static_cast<double>(m) * ratio_;
            const double fl = std::floor(t);
            const auto i = static_cast<int64_t>(fl);
            // The fraction and its complement in single precision.
            const auto f = static_cast<float>(t - fl);
            const auto g = 1.0f - f;
            const int64_t i2 = i + span_ + 1;
            for (int c = 0; c < 2; ++c) {
                double v = NearestEven(
                    at(i, c) * static_cast<double>(g) + at(i2, c) * static_cast<double>(f));
                if (span_ >= 1) {
                    for (int64_t k = i + 1; k < i2; ++k)
                        v += at(k, c);
                    v = NearestEven(v / divisor);
                }
                pOut[static_cast<size_t>(m * 2 + c)] = Saturate16(v);
            }
        }
    }

private:
    double ratio_;
    int64_t span_;
};

/// The high-quality mode: the chunks stream through a TimePitchEngine. The output runs
/// behind the input by the engine's latency, so each chunk writes what the engine has ready
/// (never more than the input so far stands for), and the last chunk drains the engine and
/// makes the whole output exactly round(input length x time ratio) frames long. Pitch shift
/// mixes the dry input back in at its own position.
class HighQualityKernel : public FxKernel {
public:
    HighQualityKernel(
        std::unique_ptr<TimePitchStream> pStream, double pTimeRatio, double pLevel, double pDry)
        : stream_(std::move(pStream))
        , timeRatio_(pTimeRatio)
        , level_(pLevel * 32768.0)
        , dry_(pDry)
    {
    }

    void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) override
    {
        pOut.clear();
        const int64_t n = pChunk.Frames;
        in_.resize(static_cast<size_t>(n * 2));
        for (size_t s = 0; s < in_.size(); ++s)
            in_[s] = static_cast<float>(pChunk.In[s]) / 32768.0f;
        if (!stream_->Push(in_.data(), n, pChunk.Last)) {
            failed_ = true;
            return;
        }
        if (dry_ != 0.0)
            dryQueue_.insert(dryQueue_.end(), pChunk.In, pChunk.In + n * 2);
        consumed_ += n;
        Drain();
        int64_t target = 0;
        if (pChunk.Last) {
            // With the end pushed the engine holds back nothing: drain it to the end. A
            // stream that ends short of the length is padded with silence below.
            while (!stream_->Finished() && Drain() > 0) { }
            target
                = std::max<int64_t>(RoundHalfEven(static_cast<double>(consumed_) * timeRatio_), 1);
        } else {
            target = static_cast<int64_t>(std::floor(static_cast<double>(consumed_) * timeRatio_));
        }
        const auto ready = static_cast<int64_t>(wet_.size() / 2);
        const int64_t count
            = pChunk.Last ? target - written_ : std::clamp<int64_t>(target - written_, 0, ready);
        if (count <= 0)
            return;
        pOut.resize(static_cast<size_t>(count * 2));
        for (int64_t m = 0; m < count; ++m)
            for (int c = 0; c < 2; ++c) {
                const size_t s = static_cast<size_t>(m * 2 + c);
                const double wet = s < wet_.size() ? static_cast<double>(wet_[s]) : 0.0;
                const double dry = s < dryQueue_.size() ? static_cast<double>(dryQueue_[s]) : 0.0;
                pOut[s] = Saturate16(wet * level_ + dry * dry_);
            }
        const auto used = static_cast<size_t>(count * 2);
        wet_.erase(
            wet_.begin(), wet_.begin() + static_cast<std::ptrdiff_t>(std::min(used, wet_.size())));
        dryQueue_.erase(dryQueue_.begin(),
            dryQueue_.begin() + static_cast<std::ptrdiff_t>(std::min(used, dryQueue_.size())));
        written_ += count;
    }

private:
    /// Moves what the engine has ready into the wet queue; returns the frames moved.
    int64_t Drain()
    {
        int64_t total = 0;
        constexpr int64_t kBlock = 4096;
        for (;;) {
            const size_t at = wet_.size();
            wet_.resize(at + static_cast<size_t>(kBlock * 2));
            const int64_t got = stream_->Pull(wet_.data() + at, kBlock);
            wet_.resize(at + static_cast<size_t>(std::max<int64_t>(got, 0) * 2));
            if (got <= 0)
                return total;
            total += got;
        }
    }

    std::unique_ptr<TimePitchStream> stream_;
    double timeRatio_;
    double level_;
    double dry_;
    std::vector<float> in_;
    std::vector<float> wet_;
    std::deque<int16_t> dryQueue_;
    int64_t consumed_ = 0;
    int64_t written_ = 0;
};

/// The ratio S of time stretch and speed change when it is one they can render.
bool UsableRatio(double pRatio) { return std::isfinite(pRatio) && pRatio >= 0.1 && pRatio <= 10.0; }

/// Pitch shift (pPitch) or time stretch through the high-quality engine.
std::unique_ptr<FxKernel> MakeHighQualityKernel(bool pPitch, const FxContext& pContext)
{
    if (!pContext.TimePitch)
        return nullptr;
    TimePitchRequest request;
    request.SampleRate = pContext.SampleRate;
    double level = 1.0;
    double dry = 0.0;
    if (pPitch) {
        request.PitchScale = static_cast<double>(PitchRatio(pContext.I(0), pContext.I(1)));
        level = static_cast<double>(pContext.I(2)) / 100.0;
        dry = static_cast<double>(pContext.I(3)) / 100.0;
    } else {
        request.TimeRatio = 1.0 / pContext.P(0);
    }
    if (!(request.PitchScale > 0.0))
        return nullptr;
    std::unique_ptr<TimePitchStream> stream = pContext.TimePitch->Open(request);
    if (!stream)
        return nullptr;
    return std::make_unique<HighQualityKernel>(std::move(stream), request.TimeRatio, level, dry);
}

} // namespace

std::unique_ptr<FxKernel> MakeOctaveKernel(const FxContext& pContext)
{
    if (pContext.SampleRate <= 0)
        return nullptr;
    return std::make_unique<OctaveKernel>(pContext);
}

std::unique_ptr<FxKernel> MakePitchShiftKernel(const FxContext& pContext)
{
    if (pContext.SampleRate <= 0)
        return nullptr;
    if (pContext.HighQuality)
        return MakeHighQualityKernel(true, pContext);
    return std::make_unique<PitchShiftKernel>(pContext);
}

std::unique_ptr<FxKernel> MakeTimeStretchKernel(const FxContext& pContext)
{
    if (pContext.SampleRate <= 0 || !UsableRatio(pContext.P(0)))
        return nullptr;
    if (pContext.HighQuality)
        return MakeHighQualityKernel(false, pContext);
    return std::make_unique<TimeStretchKernel>(pContext.P(0), pContext.SampleRate);
}

std::unique_ptr<FxKernel> MakeSpeedChangeKernel(const FxContext& pContext)
{
    if (pContext.SampleRate <= 0 || !UsableRatio(pContext.P(0)))
        return nullptr;
    return std::make_unique<SpeedChangeKernel>(pContext.P(0));
}

} // namespace tarvok
