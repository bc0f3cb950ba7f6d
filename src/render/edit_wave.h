#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace tarvok {

class UserInterface;

/// Copies a range of frames from one PCM WAV file (8, 16 or 24 bits, mono or stereo) into
/// another, measuring levels on the way, and optionally trims quiet ends by threshold,
/// normalises, changes each channel's level and fades in and out. Up to three streaming
/// passes over the source; nothing beyond one chunk is held in memory. One instance serves
/// one operation (or a short series of appends to one target). User-interface thread only.
class C_EditWave {
public:
    /// Progress event: pRate runs from 0 to 1 over the whole call; setting pCancel stops
    /// after the current chunk.
    using ProgressHandler = std::function<void(double pRate, bool& pCancel)>;

    /// pUi (may be null) is yielded to before every chunk and after every progress event.
    explicit C_EditWave(UserInterface* pUi = nullptr);

    void SetProg(ProgressHandler pHandler) { prog_ = std::move(pHandler); }

    /// Copies frames [pFrom, pTo) of pSourceFN (0 or below: the start / the end of the
    /// source) to pTargetFN, appending when that file exists (its format must match) and
    /// creating it otherwise. An empty pTargetFN or pCheckLevel 1 only measures and then
    /// publishes the level properties. Returns false for an unusable source, a trim that
    /// leaves nothing, a failed read or write and a cancel; a cancelled or failed copy
    /// closes the target without finalising its header.
    bool EditWave(std::string_view pSourceFN, std::string_view pTargetFN, int64_t pFrom,
        int64_t pTo, int32_t pUseTh, float pThIn, float pThOut, int32_t pStartMargin,
        int32_t pEndMargin, int32_t pForceMargin, int32_t pUseNorm, float pNormLevel,
        int32_t pNormMode, int32_t pRMSmsec, float pRMSdb, int32_t pClip, float pAdjustdbL,
        float pAdjustdbR, int32_t pFadeInSample, int32_t pFadeOutSample, int32_t pCheckLevel);

    /// Set false when EditWave starts, true when the progress handler cancels; setting it
    /// from outside between chunks stops the running call.
    bool Canceled = false;
    /// Largest absolute sample value of the measured range; -1 until measured.
    int32_t MaxPeak = -1;
    /// Largest RMS of any 0.3-second chunk of the range; -1 until measured.
    int32_t MaxRMS = -1;
    /// RMS of the whole range; -1 until measured.
    int32_t NormRMS = -1;
    /// The three levels relative to full scale in dB (-110 for 0); 0 until measured.
    float MaxPeakDB = 0.0f;
    float MaxRMSDB = 0.0f;
    float NormRMSDB = 0.0f;

private:
    bool Report(double pRate);
    void Yield();

    UserInterface* ui_;
    ProgressHandler prog_;
};

/// Bytes of source data per chunk of the RMS and copy passes.
inline constexpr int64_t kEditWaveChunkBytes = 2097152;

} // namespace tarvok
