#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvok {

class TimePitchEngine;

/// What an effect asks of the chunk driver when it is set up.
struct FxSetup {
    int64_t Tail = 0; ///< frames of output after the end of the input (0 in preview)
    int64_t LookAhead = 0; ///< frames read beyond each chunk
    int64_t ChunkFrames = 0; ///< 0: five seconds at the project rate
};

/// One equaliser band as the processor holds it.
struct EqBand {
    float GainDb = 0.0f;
    float Freq = 1000.0f;
    float Q = 2.0f;
};

/// What an effect is set up from: the parameters, the project rate and the run's kind.
struct FxContext {
    std::vector<double> Parm; ///< the FXParm values
    int32_t SampleRate = 44100;
    bool Preview = false; ///< a preview never has a tail
    uint32_t Seed = 0; ///< the random generator's seed (reverb taps)
    std::vector<EqBand> Bands; ///< the equaliser bands
    /// Time stretch and pitch shift through the high-quality engine instead of their own
    /// algorithms; without an engine those effects cannot be rendered then.
    bool HighQuality = false;
    TimePitchEngine* TimePitch = nullptr;
    double P(size_t pIndex) const { return pIndex < Parm.size() ? Parm[pIndex] : 0.0; }
    /// The parameter as an integer, rounded half to even.
    int64_t I(size_t pIndex) const;
};

/// One chunk handed to an effect. The input is interleaved 16-bit stereo: Frames frames of
/// the chunk itself, then the look-ahead, then (on the last chunk) Tail frames of silence.
struct FxChunk {
    const int16_t* In = nullptr;
    int64_t Frames = 0; ///< n: the chunk's own frames
    int64_t Readable = 0; ///< frames of In: n + look-ahead (+ tail on the last chunk)
    int64_t Start = 0; ///< frames from the start of the range to the chunk's first frame
    bool Last = false;
};

/// The signal processing of one effect for one run: set up once, then called chunk by chunk
/// in order; state that outlives a chunk lives in the object.
class FxKernel {
public:
    virtual ~FxKernel() = default;
    const FxSetup& Setup() const { return setup_; }
    /// Fills pOut (interleaved, already sized by the driver: n frames, n + tail on the last
    /// chunk); an effect whose output length differs resizes it.
    virtual void Run(const FxChunk& pChunk, std::vector<int16_t>& pOut) = 0;
    /// True when a chunk could not be processed (a library failure): the run fails.
    bool Failed() const { return failed_; }

protected:
    FxSetup setup_;
    bool failed_ = false;
};

/// The effect pId set up from pContext through its row's factory in the effect table, or
/// nullptr for a number that is no effect, an effect the processor does not render (reverse
/// is rendered by the reversal transform) or a context its factory refuses.
std::unique_ptr<FxKernel> MakeFxKernel(int32_t pId, const FxContext& pContext);

/// The last frames of the input stream before the current chunk, for effects that read back
/// in time across chunk boundaries. Silence before the first frame of the run.
class InputHistory {
public:
    explicit InputHistory(int64_t pFrames = 0);
    int64_t Frames() const { return frames_; }
    /// Sample of channel pChannel at chunk-relative frame pIndex, -Frames() <= pIndex < 0.
    int16_t Before(int64_t pIndex, int pChannel) const
    {
        return buf_[static_cast<size_t>((frames_ + pIndex) * 2 + pChannel)];
    }
    /// Appends pCount frames (the chunk's own), keeping the last Frames() of them.
    void Push(const int16_t* pFrames, int64_t pCount);

private:
    int64_t frames_;
    std::vector<int16_t> buf_;
};

/// The four crossfade curves of the granular effects, X points each, and the weights
/// made from them.
struct CrossfadeCurves {
    std::vector<double> LinearOut, CubicOut, LinearIn, CubicIn;
    double WeightLinear = 0.4;
    double WeightCubic = 0.6;
    /// Fade-out weight at k = 0..X-1.
    double Out(size_t pK) const
    {
        return WeightLinear * LinearOut[pK] + WeightCubic * CubicOut[pK];
    }
    double In(size_t pK) const { return WeightLinear * LinearIn[pK] + WeightCubic * CubicIn[pK]; }
};

/// Builds the curves of pPoints points (i = 1..X): (X-i)/X, 1-(i/X)^3, i/X, 1-((X-i)/X)^3;
/// with pLinearOnly the weights use the linear curves alone.
CrossfadeCurves BuildCrossfade(int32_t pPoints, bool pLinearOnly);

} // namespace tarvok
