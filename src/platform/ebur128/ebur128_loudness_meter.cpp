#include "platform/ebur128/ebur128_loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvok {

namespace {

class Ebur128Measurement : public LoudnessMeasurement {
public:
    Ebur128Measurement(ebur128_state* pState, int32_t pChannels)
        : state_(pState)
        , channels_(pChannels)
    {
    }
    ~Ebur128Measurement() override { ebur128_destroy(&state_); }
    Ebur128Measurement(const Ebur128Measurement&) = delete;
    Ebur128Measurement& operator=(const Ebur128Measurement&) = delete;

    bool Add(const int16_t* pSamples, size_t pFrames) override
    {
        return pFrames == 0
            || ebur128_add_frames_short(state_, pSamples, pFrames) == EBUR128_SUCCESS;
    }

    std::optional<double> Integrated() const override
    {
        double lufs = 0.0;
        if (ebur128_loudness_global(state_, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs))
            return std::nullopt;
        return lufs;
    }

    double TruePeak() const override
    {
        double peak = 0.0;
        for (int32_t c = 0; c < channels_; ++c) {
            double channel = 0.0;
            if (ebur128_true_peak(state_, static_cast<unsigned int>(c), &channel)
                == EBUR128_SUCCESS)
                peak = std::max(peak, channel);
        }
        return peak > 0.0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
    }

private:
    ebur128_state* state_;
    int32_t channels_;
};

} // namespace

std::unique_ptr<LoudnessMeasurement> Ebur128LoudnessMeter::Start(int32_t pRate, int32_t pChannels)
{
    if (pRate <= 0 || pChannels < 1 || pChannels > 2)
        return nullptr;
    ebur128_state* state = ebur128_init(static_cast<unsigned int>(pChannels),
        static_cast<unsigned long>(pRate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!state)
        return nullptr;
    return std::make_unique<Ebur128Measurement>(state, pChannels);
}

} // namespace tarvok
