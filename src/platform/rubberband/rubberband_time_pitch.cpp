#include "platform/rubberband/rubberband_time_pitch.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <exception>
#include <vector>

namespace tarvok {

namespace {

using RubberBand::RubberBandStretcher;

/// Frames handed to the library per process call (its maximum process size).
constexpr size_t kBlock = 4096;

class RubberBandStream : public TimePitchStream {
public:
    explicit RubberBandStream(const TimePitchRequest& pRequest)
        : stretcher_(static_cast<size_t>(pRequest.SampleRate), 2,
            RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFiner
                | RubberBandStretcher::OptionThreadingNever
                | RubberBandStretcher::OptionChannelsTogether,
            pRequest.TimeRatio, pRequest.PitchScale)
        , left_(kBlock)
        , right_(kBlock)
        , outLeft_(kBlock)
        , outRight_(kBlock)
    {
        stretcher_.setMaxProcessSize(kBlock);
        skip_ = stretcher_.getStartDelay();
        // The silence the library wants before the signal, so that the signal's first frame
        // comes out whole.
        size_t pad = stretcher_.getPreferredStartPad();
        std::fill(left_.begin(), left_.end(), 0.0f);
        std::fill(right_.begin(), right_.end(), 0.0f);
        while (pad > 0) {
            const size_t n = std::min(pad, kBlock);
            Process(n, false);
            pad -= n;
        }
    }

    bool Push(const float* pFrames, int64_t pCount, bool pFinal) override
    {
        if (failed_ || final_)
            return !failed_;
        try {
            auto left = static_cast<size_t>(std::max<int64_t>(pCount, 0));
            const float* in = pFrames;
            if (left == 0 && pFinal)
                Process(0, true);
            while (left > 0) {
                const size_t n = std::min(left, kBlock);
                for (size_t i = 0; i < n; ++i) {
                    left_[i] = in[i * 2];
                    right_[i] = in[i * 2 + 1];
                }
                in += n * 2;
                left -= n;
                Process(n, pFinal && left == 0);
            }
            final_ = pFinal;
            // After the final block the library may want further calls to give out what it
            // still holds.
            for (int guard = 0; final_ && !done_ && guard < 10000; ++guard)
                Process(0, true);
        } catch (const std::exception&) {
            failed_ = true;
        }
        return !failed_;
    }

    int64_t Pull(float* pOut, int64_t pMax) override
    {
        const size_t n = std::min(
            (ready_.size() - read_) / 2, static_cast<size_t>(std::max<int64_t>(pMax, 0)));
        std::copy_n(ready_.begin() + static_cast<std::ptrdiff_t>(read_), n * 2, pOut);
        read_ += n * 2;
        if (read_ == ready_.size()) {
            ready_.clear();
            read_ = 0;
        }
        return static_cast<int64_t>(n);
    }

    bool Finished() const override
    {
        return (failed_ || (final_ && done_)) && read_ == ready_.size();
    }

private:
    /// Processes n frames of left_/right_ and collects what the library has ready; after the
    /// final block, everything it still holds.
    void Process(size_t pFrames, bool pFinal)
    {
        const float* in[2] = { left_.data(), right_.data() };
        stretcher_.process(in, pFrames, pFinal);
        Collect();
    }

    void Collect()
    {
        float* out[2] = { outLeft_.data(), outRight_.data() };
        for (;;) {
            const int avail = stretcher_.available();
            if (avail < 0) {
                done_ = true;
                return;
            }
            if (avail == 0)
                return;
            const size_t got
                = stretcher_.retrieve(out, std::min(static_cast<size_t>(avail), kBlock));
            if (got == 0)
                return;
            size_t from = 0;
            if (skip_ > 0) {
                from = std::min(skip_, got);
                skip_ -= from;
            }
            for (size_t i = from; i < got; ++i) {
                ready_.push_back(outLeft_[i]);
                ready_.push_back(outRight_[i]);
            }
        }
    }

    RubberBandStretcher stretcher_;
    std::vector<float> left_;
    std::vector<float> right_;
    std::vector<float> outLeft_;
    std::vector<float> outRight_;
    std::vector<float> ready_; ///< interleaved output not yet pulled, from read_ on
    size_t read_ = 0;
    size_t skip_ = 0;
    bool final_ = false;
    bool done_ = false;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<TimePitchStream> RubberBandTimePitch::Open(const TimePitchRequest& pRequest)
{
    if (pRequest.SampleRate < 8000 || pRequest.SampleRate > 192000 || !(pRequest.TimeRatio > 0.0)
        || !(pRequest.PitchScale > 0.0))
        return nullptr;
    try {
        return std::make_unique<RubberBandStream>(pRequest);
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace tarvok
