#pragma once

#include "base/i18n.h"
#include "base/progress.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class DataFolder;
class UserInterface;

/// The causes a failed conversion gives beside those of a failed write.
inline constexpr std::string_view kConvSourceUnusable = N_("変換できない形式のファイルです");
inline constexpr std::string_view kConvSourceUnreadable = N_("変換元のファイルを読めません");
inline constexpr std::string_view kConvTooLarge = N_("変換後のファイルが 4 GB を超えます");

/// Rates above this are refused by the conversion, so that a damaged header cannot make it
/// allocate chunk buffers of gigabytes.
inline constexpr int32_t kMaxConvRate = 768000;
/// Source seconds converted per chunk; the resampling phase starts again with every chunk.
inline constexpr int32_t kConvChunkSeconds = 5;
/// Frames read beyond each chunk so that interpolation near its end has its neighbours.
inline constexpr int32_t kConvLookAheadFrames = 100;
/// The largest file a conversion may produce: 2^32 - 101 bytes.
inline constexpr int64_t kConvMaxFileBytes = 4294967195;
/// Bytes of source data read per chunk while splitting channels.
inline constexpr int64_t kSplitChunkBytes = 2097152;

/// Converts PCM WAV files (mono or stereo, 8, 16 or 24 bits) to another rate, bit depth and
/// channel count. Samples are worked on a signed 24-bit scale; the rate is changed per
/// 5-second chunk by point sampling or linear interpolation (a moving average when the
/// rate drops by more than half). One instance serves one conversion. User-interface
/// thread only.
class C_ConvWave {
public:
    /// Progress: the fraction done (0..1 over the whole call); a stop ends the call after
    /// the current chunk.
    using ProgressHandler = Progress;

    /// pUi (may be null) is yielded to after every chunk.
    explicit C_ConvWave(UserInterface* pUi = nullptr);

    void SetProg(ProgressHandler pHandler) { prog_ = std::move(pHandler); }

    /// -1 when pFilename is not a usable WAV file; 1 when its rate differs from pFreq, or
    /// (with pBit and pCh both 0) its format mode differs from pWaveMode, or (otherwise) its
    /// bits or channels differ from pBit and pCh; else 0.
    static int32_t NeedConv(
        std::string_view pFilename, int32_t pFreq, int32_t pBit, int32_t pCh, int32_t pWaveMode);

    /// Writes the frames of pSourceFN converted to pFreq Hz, pBit bits (8, 16, 24) and pCh
    /// channels (1, 2); pFlg non-zero interpolates, 0 point-samples. With HeadderExists the
    /// frames are appended to the existing WAV file pTargetFN, whose format must match;
    /// otherwise pTargetFN is created (replacing a file of that name only on success).
    /// False when the source is unusable, the result would pass 2^32 - 101 bytes, a read or
    /// write fails or the conversion is cancelled; a created target is then gone and an
    /// appended one is cut back to its old size.
    bool ConvWave(std::string_view pSourceFN, std::string_view pTargetFN, int32_t pFreq,
        int32_t pBit, int32_t pCh, int32_t pFlg, bool HeadderExists);

    /// Set when the progress handler asked to stop; cleared when ConvWave starts.
    bool Canceled = false;
    /// Why the last ConvWave failed, for the user (the disk is full, the source cannot be
    /// read ...); empty after one that succeeded or was cancelled.
    std::string FailureText;
    /// The kind of the last failure: DiskFull or FileError for a failed write, else Other.
    ErrorCode FailureCode = ErrorCode::Other;

private:
    UserInterface* ui_;
    ProgressHandler prog_;
};

/// Writes every channel of a PCM WAV file into its own mono working file (same rate and
/// bits) under fresh ".wav" names of pFolder, which pNames receives in channel order. Shows
/// the percentage done after each chunk of at most 2 MiB and hands the fraction to pProgress;
/// a stop there fails with ErrorCode::Cancelled. Fails when the source has no frames or a
/// read or write fails, with the cause for the user (a full disk as ErrorCode::DiskFull);
/// the channel files made are then deleted and pNames is empty.
Status SplitChannels(std::string_view pSource, std::vector<std::string>& pNames,
    DataFolder& pFolder, UserInterface& pUi, const Progress& pProgress = {});

/// Writes frames pFirst .. pEnd - 1 (counted from 0) of a 16-bit stereo working file to
/// pTarget in reverse order, as 16-bit stereo at pSampleRate; -32768 becomes -32767. pEnd
/// is limited to the source's frames. Works in chunks of 5 seconds, showing the percentage
/// done and stopping when pCancelRequest is set (clearing it). A failure, with no file at
/// pTarget, when the range is empty, the source unusable, a write fails (its cause, a full
/// disk told apart) or it is cancelled (ErrorCode::Cancelled).
Status ReverseRange(std::string_view pSource, std::string_view pTarget, int32_t pFirst,
    int32_t pEnd, int32_t pSampleRate, UserInterface& pUi, bool& pCancelRequest);

/// "0.0"-formatted percentage of pDone out of pTotal followed by "%" ("12.5%").
std::string PercentText(double pFraction);

} // namespace tarvok
