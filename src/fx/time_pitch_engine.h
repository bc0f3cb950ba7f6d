#pragma once

#include <cstdint>
#include <memory>

namespace tarvok {

/// One streaming time-stretch and pitch-shift process of stereo audio: interleaved float
/// frames (samples in -1..1) in, stretched frames out. The output is aligned with the input
/// (frame m of the output stands for input time m / TimeRatio); the stream removes its own
/// start delay. User-interface thread; one run.
class TimePitchStream {
public:
    virtual ~TimePitchStream() = default;
    /// Feeds pCount interleaved stereo frames; pFinal marks the end of the input (pCount
    /// may then be 0). False when the library failed; the stream is then unusable.
    virtual bool Push(const float* pFrames, int64_t pCount, bool pFinal) = 0;
    /// Moves up to pMax frames of output into pOut (interleaved stereo); returns the count.
    virtual int64_t Pull(float* pOut, int64_t pMax) = 0;
    /// True when the final input was pushed and every output frame has been pulled.
    virtual bool Finished() const = 0;
};

/// What a stream is opened for.
struct TimePitchRequest {
    int32_t SampleRate = 44100;
    double TimeRatio = 1.0; ///< output length / input length
    double PitchScale = 1.0; ///< frequency factor (2 is an octave up)
};

/// The high-quality mode of time stretch and pitch shift, which a platform library provides
/// (an adapter implements it; main() hands it to the main-window logic).
class TimePitchEngine {
public:
    virtual ~TimePitchEngine() = default;
    /// A new stream, or nullptr when the library refuses the request.
    virtual std::unique_ptr<TimePitchStream> Open(const TimePitchRequest& pRequest) = 0;
};

} // namespace tarvok
