#pragma once

#include "core/project.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvok {

class UserInterface;

/// Bytes of file data read per chunk while building peaks.
inline constexpr int32_t kPeakChunkBytes = 2097152;
/// "WFMode" values: peak / 128, or 255 + 5 x dB.
inline constexpr int32_t kWfModeLinear = 0;
inline constexpr int32_t kWfModeDb = 1;

/// The entry byte for the largest absolute 16-bit sample of a stretch (0..32768) in the given
/// "WFMode"; modes other than 1 scale linearly.
uint8_t PeakValue(int32_t pPeak, int32_t pWfMode);

/// Turns interleaved 16-bit stereo frames into peak entries, one per pStep frames, in order.
/// Stretches continue across calls, so entry k always covers frames k x pStep + 1 ..
/// (k + 1) x pStep however the frames are split; an incomplete last stretch is never stored.
class PeakCollector {
public:
    /// Writes into pOut (two bytes per entry) from entry 0, at most pMaxEntries entries.
    PeakCollector(int32_t pStep, int32_t pWfMode, PeakArray& pOut, int32_t pMaxEntries);

    /// Adds pFrames frames (left, right, host byte order).
    void Add(const int16_t* pSamples, int64_t pFrames);
    int32_t Entries() const { return entries_; }
    bool Full() const { return entries_ >= maxEntries_; }

private:
    void Emit();

    int32_t step_;
    int32_t wfMode_;
    PeakArray& out_;
    int32_t maxEntries_;
    int32_t entries_ = 0;
    int32_t inStretch_ = 0;
    int32_t peakL_ = 0;
    int32_t peakR_ = 0;
};

struct PeakBuildResult {
    int32_t Entries = 0; ///< entries computed
    bool Cancelled = false;
    bool Saved = false; ///< the peak file was written
};

/// Computes the whole peak array of wave file pWave from its 16-bit stereo data in chunks of
/// 2 MB. Before each chunk it yields to pUi and, when pTrack >= 0, asks for a redraw of the
/// tracks; after each chunk it shows pCaption + "波形抽出 " + the percentage done, and stops
/// when pCancel is set (clearing it). Entries not computed (the incomplete last one, those
/// after a cancel or beyond the end of a short file) stay 0. The wave file then gets
/// pPeakFile as its peak file, written with SavePeaks (skipped when pPeakFile is empty).
/// An unreadable wave file gives an array of zeros.
PeakBuildResult BuildPeaks(Project& pProject, int32_t pWave, int32_t pTrack,
    std::string_view pCaption, int32_t pWfMode, const std::string& pPeakFile, UserInterface& pUi,
    bool& pCancel);

/// Replaces the wave file's PeakFile with its whole peak array (PeakCount x 2 bytes); false
/// when PeakCount is 0, the array is short or the file cannot be written.
bool SavePeaks(const Project& pProject, int32_t pWave);

/// Replaces pPath with entries pFirst..pLast of the wave file's peak array; false for a range
/// outside 0..PeakCount - 1.
bool SavePeakRange(
    const Project& pProject, int32_t pWave, std::string_view pPath, int32_t pFirst, int32_t pLast);

/// True when pPath is a peak file of exactly 2 x pPeakCount bytes; any other size is stale.
bool IsPeakFileCurrent(std::string_view pPath, int32_t pPeakCount);

/// Reads a current peak file (IsPeakFileCurrent) into the wave file's peak array; false, with
/// the array unchanged, for a stale or unreadable file.
bool LoadPeaks(Project& pProject, int32_t pWave, std::string_view pPath);

} // namespace tarvok
