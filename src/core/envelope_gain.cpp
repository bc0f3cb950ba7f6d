#include "core/envelope_gain.h"

#include "core/project.h"

#include <algorithm>
#include <array>

namespace tarvok {

namespace {

constexpr int32_t kFrameShift = 11;
static_assert((1 << kFrameShift) == kEnvelopeFrameSamples);
constexpr int64_t kOffsetMask = kEnvelopeFrameSamples - 1;

// The two interpolation weights per offset inside a frame, i / 2047 and 1 - i / 2047,
// each rounded once to single precision; built by the compiler, so no start-up work and
// no per-sample division.
struct Weights {
    std::array<float, kEnvelopeFrameSamples> Next {};
    std::array<float, kEnvelopeFrameSamples> Own {};
};

constexpr Weights MakeWeights()
{
    Weights weights;
    for (int32_t i = 0; i < kEnvelopeFrameSamples; ++i) {
        const double next = static_cast<double>(i) / (kEnvelopeFrameSamples - 1);
        weights.Next[i] = static_cast<float>(next);
        weights.Own[i] = static_cast<float>(1.0 - next);
    }
    return weights;
}

constexpr Weights kWeights = MakeWeights();

// The one expression both the single-sample and the run evaluation use, so they agree
// exactly. Equal gains are returned as they are: the two rounded weights need not add up
// to exactly 1, and a flat envelope must not touch the samples.
inline float Blend(float pOwn, float pNext, int64_t pOffset)
{
    if (pOwn == pNext)
        return pOwn;
    return pOwn * kWeights.Own[pOffset] + pNext * kWeights.Next[pOffset];
}

// The channel's level bytes of one track (stride 2) and how many frames are usable.
struct EnvelopeView {
    const uint8_t* Levels = nullptr;
    int64_t Frames = 0;
};

EnvelopeView ViewOf(const Project& pProject, int32_t pTrack, int32_t pChannel)
{
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(pProject.Envelopes.size()))
        return {};
    if (pChannel != kLeftChannel && pChannel != kRightChannel)
        return {};
    const TrackEnvelope& envelope = pProject.Envelopes[pTrack];
    // Never trust EnvelopeLength alone: a track whose envelope is shorter is read only
    // as far as it goes.
    const int64_t frames = std::min<int64_t>(pProject.EnvelopeLength, envelope.size() / 2);
    if (frames <= 0)
        return {};
    return { envelope.data() + pChannel, frames };
}

inline float LevelGain(const Project& pProject, const EnvelopeView& pView, int64_t pFrame)
{
    return pProject.Fades[pView.Levels[2 * pFrame]];
}

} // namespace

float EnvelopeWeightNext(int32_t pOffset)
{
    return kWeights.Next[static_cast<size_t>(pOffset) & kOffsetMask];
}

float EnvelopeGain(const Project& pProject, int32_t pTrack, int32_t pChannel, int64_t pSample)
{
    const EnvelopeView view = ViewOf(pProject, pTrack, pChannel);
    if (view.Frames == 0)
        return 1.0f;
    if (pSample < 0)
        return LevelGain(pProject, view, 0);
    const int64_t frame = pSample >> kFrameShift;
    if (frame >= view.Frames - 1)
        return LevelGain(pProject, view, view.Frames - 1);
    return Blend(LevelGain(pProject, view, frame), LevelGain(pProject, view, frame + 1),
        pSample & kOffsetMask);
}

float EnvelopeStepGain(const Project& pProject, int32_t pTrack, int32_t pChannel, int64_t pSample)
{
    const EnvelopeView view = ViewOf(pProject, pTrack, pChannel);
    if (view.Frames == 0)
        return 1.0f;
    const int64_t frame = std::clamp<int64_t>(pSample >> kFrameShift, 0, view.Frames - 1);
    return LevelGain(pProject, view, frame);
}

std::optional<float> EnvelopeFlatGain(
    const Project& pProject, int32_t pTrack, int32_t pChannel, int64_t pStart, int64_t pFrames)
{
    if (pFrames <= 0)
        return std::nullopt;
    const EnvelopeView view = ViewOf(pProject, pTrack, pChannel);
    if (view.Frames == 0)
        return 1.0f;
    // A position before the timeline takes frame 0's gain; one inside frame f blends f and
    // f + 1; one from the last frame on takes the last frame's gain. The run is flat when
    // every frame level it can reach is the same gain.
    const int64_t lastFrame = view.Frames - 1;
    const int64_t lastSample = pStart + pFrames - 1;
    const int64_t low = pStart < 0 ? 0 : std::min(pStart >> kFrameShift, lastFrame);
    const int64_t high = lastSample < 0 ? 0 : std::min((lastSample >> kFrameShift) + 1, lastFrame);
    const float gain = LevelGain(pProject, view, low);
    for (int64_t frame = low + 1; frame <= high; ++frame) {
        if (LevelGain(pProject, view, frame) != gain)
            return std::nullopt;
    }
    return gain;
}

void EnvelopeGainRun(const Project& pProject, int32_t pTrack, int32_t pChannel, int64_t pStart,
    std::span<float> pGains)
{
    const EnvelopeView view = ViewOf(pProject, pTrack, pChannel);
    float* out = pGains.data();
    size_t remaining = pGains.size();
    if (view.Frames == 0) {
        std::fill_n(out, remaining, 1.0f);
        return;
    }
    int64_t sample = pStart;
    if (sample < 0) {
        // Positions before the timeline hold frame 0's gain.
        const uint64_t before = static_cast<uint64_t>(-(sample + 1)) + 1;
        const size_t count = static_cast<size_t>(std::min<uint64_t>(before, remaining));
        std::fill_n(out, count, LevelGain(pProject, view, 0));
        out += count;
        remaining -= count;
        sample = 0;
    }
    while (remaining > 0) {
        const int64_t frame = sample >> kFrameShift;
        if (frame >= view.Frames - 1) {
            std::fill_n(out, remaining, LevelGain(pProject, view, view.Frames - 1));
            return;
        }
        const int64_t offset = sample & kOffsetMask;
        const size_t count
            = static_cast<size_t>(std::min<int64_t>(kEnvelopeFrameSamples - offset, remaining));
        const float own = LevelGain(pProject, view, frame);
        const float next = LevelGain(pProject, view, frame + 1);
        if (own == next) {
            // A flat stretch, the usual case.
            std::fill_n(out, count, own);
        } else {
            for (size_t j = 0; j < count; ++j)
                out[j] = own * kWeights.Own[offset + j] + next * kWeights.Next[offset + j];
        }
        out += count;
        remaining -= count;
        sample += static_cast<int64_t>(count);
    }
}

} // namespace tarvok
