#pragma once

#include "base/progress.h"

#include <cstdint>
#include <string>

namespace tarvok {

class UserInterface;

/// What one C_EditWave::EditWave call does. The defaults copy the whole source as it is.
struct EditWaveRequest {
    std::string SourceFN;
    std::string TargetFN; ///< empty: only measure
    int64_t From = 0; ///< first frame; 0 or below: the start of the source
    int64_t To = 0; ///< end frame (exclusive); 0 or below: the end of the source

    // Trimming quiet ends.
    int32_t UseTh = 0; ///< 1: start and end where the level first and last passes ThIn/ThOut
    float ThIn = 0.0f; ///< dB of full scale
    float ThOut = 0.0f; ///< dB of full scale
    int32_t StartMargin = 0; ///< ms kept before the detected start
    int32_t EndMargin = 0; ///< ms kept after the detected end
    int32_t ForceMargin = 0; ///< 1: margins beyond the source are written as silence

    // Normalising.
    int32_t UseNorm = 0;
    float NormLevel = 0.0f; ///< target level, dB of full scale
    /// 0 peak, 1 loudest 0.3-second RMS, 2 RMS of the range, 3 RMS of the range without
    /// quiet stretches longer than RMSmsec below RMSdb (measured on the peak-normalised data)
    int32_t NormMode = 0;
    int32_t RMSmsec = 0;
    float RMSdb = 0.0f;
    int32_t Clip = 0; ///< 1: the gain may push peaks beyond full scale (they saturate)

    // Level and fades of the copy.
    float AdjustdbL = 0.0f;
    float AdjustdbR = 0.0f;
    int32_t FadeInSample = 0; ///< frames of a 60 dB fade-in at the start
    int32_t FadeOutSample = 0; ///< frames of a 60 dB fade-out at the end

    /// Nonzero: the level properties are reset first; 1: only measure, then publish them.
    int32_t CheckLevel = 0;
};

/// Copies a range of frames from one PCM WAV file (8, 16 or 24 bits, mono or stereo) into
/// another, measuring levels on the way, and optionally trims quiet ends by threshold,
/// normalises, changes each channel's level and fades in and out. Up to three streaming
/// passes over the source; nothing beyond one chunk is held in memory. One instance serves
/// one operation (or a short series of appends to one target). User-interface thread only.
class C_EditWave {
public:
    /// Progress: the fraction done (0..1 over the whole call); a stop ends the call after
    /// the current chunk.
    using ProgressHandler = Progress;

    /// pUi (may be null) is yielded to before every chunk and after every progress event.
    explicit C_EditWave(UserInterface* pUi = nullptr);

    void SetProg(ProgressHandler pHandler) { prog_ = std::move(pHandler); }

    /// Copies the request's range of SourceFN to TargetFN, appending when that file exists
    /// (its format must match) and creating it otherwise. An empty TargetFN or CheckLevel 1
    /// only measures and then publishes the level properties. Returns false for an unusable
    /// source, a trim that leaves nothing, a failed read or write and a cancel; a cancelled
    /// or failed copy closes the target without finalising its header.
    bool EditWave(const EditWaveRequest& pRequest);

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
    struct Job; // one call's settings and measurements, shared by its passes

    bool Report(double pRate);
    void Yield();
    bool AnalyseLevels(Job& pJob);
    void PublishLevels(const Job& pJob);
    bool TrimToThreshold(Job& pJob) const;
    bool MeasureRangeRms(Job& pJob);
    double NormalizeGain(const Job& pJob) const;
    bool CopyRange(Job& pJob, double pGain);

    UserInterface* ui_;
    ProgressHandler prog_;
};

/// Bytes of source data per chunk of the RMS and copy passes.
inline constexpr int64_t kEditWaveChunkBytes = 2097152;

} // namespace tarvok
