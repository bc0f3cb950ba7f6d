#pragma once

#include "base/progress.h"
#include "cd/accurate_rip.h"
#include "cd/cd_drive.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class UserInterface;

/// One row of the track table.
struct CdTrack {
    int32_t StartLba = 0;
    int32_t EndLba = 0; ///< the start of the next entry - 1
    int32_t Sectors = 0;
    int32_t LengthMs = 0; ///< nearest(sectors x 1000 / 75)
    int32_t Frames = 0; ///< sectors x 588
    bool IsData = false; ///< a data track (control bit 4): its sectors are not audio
    std::string Title;
};

/// How a RipTrack ended.
enum class RipOutcome {
    Done, ///< every sector was read and written
    Canceled, ///< the progress handler asked to stop; the file holds what was read
    ReadFailed, ///< a read failed; the file holds the sectors before it
    WriteFailed, ///< the file could not be written completely
    NoTrack, ///< no drive is set or the track does not exist; no file was written
    EmptyTrack, ///< the track holds no sectors (a damaged table or image); no file was written
    DataTrack, ///< the track holds data, not audio; no file was written
};

/// Reads audio CDs through a CdDriveService: the drive in use, its table of contents and
/// track table, ripping a track into a 44100 Hz 16-bit stereo WAV file, and reading 16
/// sectors of a track into memory for the preview. User-interface thread only.
class RipAudio {
public:
    /// Frames delivered by one RipCDtoBuff call (16 sectors).
    static constexpr int32_t kBufferFrames = kCdReadSectors * kCdSectorFrames;
    static constexpr int32_t kBufferBytes = kCdReadSectors * kCdSectorBytes;
    /// Progress of RipTrack: the fraction done (0..1); a stop ends the rip as Canceled.
    using ProgressHandler = Progress;

    /// pUi (may be null) is yielded to during rips.
    explicit RipAudio(CdDriveService& pService, UserInterface* pUi = nullptr);

    /// Uses pDrive (a path of the drive list: a physical drive or an existing image) for
    /// every later call; anything else leaves no drive set, and the later calls do nothing.
    void DriveToRip(std::string_view pDrive);
    const std::string& Drive() const { return drive_; }

    /// Reads the table of contents into the track table. A drive without a disc or with an
    /// unreadable table leaves the table empty (LastTrack 0). The last audio track before
    /// trailing data tracks (an enhanced CD) ends where its session does: kCdSessionGap
    /// sectors before the first data track.
    void UpdateToc();
    const DiscToc& Toc() const { return toc_; }
    const std::vector<CdTrack>& Tracks() const { return tracks_; }
    int32_t LastTrack() const { return toc_.LastTrack; }

    /// Length of track index pTrack (from 0) in frames; 0 when there is no such track.
    int32_t GetTrackSample(int32_t pTrack) const;
    static constexpr int32_t GetBufferLen() { return kBufferFrames; }

    /// Linear level applied to samples read when not exactly 1.0 (RipCDtoBuff).
    void SetBuffRipLevel(double pLevel) { buffRipLevel_ = pLevel; }
    double BuffRipLevel() const { return buffRipLevel_; }

    /// Asks for error-correcting reads in RipTrack (the setting "ParanoiaRip"). A device
    /// that cannot do them is read plainly; ErrorCorrectionUsed tells which one the last
    /// RipTrack got. The preview's reads (RipCDtoBuff) stay plain.
    void SetErrorCorrection(bool pOn) { errorCorrection_ = pOn; }
    bool ErrorCorrection() const { return errorCorrection_; }
    bool ErrorCorrectionUsed() const { return errorCorrectionUsed_; }

    /// The drive's read offset in samples (stereo frames), applied to RipTrack and
    /// TrackChecksums: sample f of a track is read from sample f + pSamples of the disc, so
    /// the audio moves by exactly pSamples; samples before the disc's start or from its
    /// lead-out on are silent. 0 (the default) reads the sectors as they are.
    void SetReadOffset(int32_t pSamples) { readOffset_ = pSamples; }
    int32_t ReadOffset() const { return readOffset_; }
    /// The model of the drive as UpdateToc found it; empty for an image or an unknown one.
    const std::string& DriveModel() const { return model_; }

    void SetProgressHandler(ProgressHandler pHandler) { prog_ = std::move(pHandler); }
    bool Canceled() const { return canceled_; }
    void SetCanceled(bool pCanceled) { canceled_ = pCanceled; }

    /// Copies track index pTrack into a WAV file at pFilename, 16 sectors per read, every
    /// sample multiplied by pVol when that is not exactly 1.0 (rounded half to even,
    /// saturated to +-32767). The file is written under a temporary name beside pFilename
    /// and renamed over it at the end, so pFilename is either untouched or a complete,
    /// valid WAV file; after a cancel or a failed read that file holds the sectors read
    /// before it. Progress is raised (and the interface yielded to) after every 10th read.
    RipOutcome RipTrack(int32_t pTrack, std::string_view pFilename, double pVol);

    /// Reads 16 sectors of track pTrack from frame pFrom of the track into pBuffer
    /// (kBufferBytes), scaled by BuffRipLevel; frames past the track's end are silent.
    /// Returns 1, or -1 when there is no drive or track, pFrom is past the end, or the
    /// device cannot be opened or read (pBuffer is then unchanged).
    int32_t RipCDtoBuff(int32_t pTrack, int32_t pFrom, uint8_t* pBuffer);

    /// The AccurateRip checksums of track pTrack read from the disc at the disc's own level
    /// (the reads as RipTrack makes them, error-correcting when asked for), with the
    /// progress events and cancel of RipTrack; nothing for a data track, a failed read or a
    /// cancel.
    std::optional<AccurateRipSums> TrackChecksums(int32_t pTrack);

    /// The titles the disc carries as CD-TEXT ([0] album, then tracks); empty when none.
    std::vector<std::string> CdTextTitles();

    /// Sets each track's title (missing entries give empty titles).
    void SetTitles(const std::vector<std::string>& pTitles);

private:
    CdDriveService& service_;
    UserInterface* ui_;
    std::string drive_;
    DiscToc toc_;
    std::vector<CdTrack> tracks_;
    double buffRipLevel_ = 1.0;
    bool canceled_ = false;
    bool errorCorrection_ = false;
    bool errorCorrectionUsed_ = false;
    ProgressHandler prog_;
    int32_t readOffset_ = 0;
    std::string model_;

    /// Reads pCount sectors' worth of samples from pLba moved by the read offset.
    bool ReadShifted(CdDevice& pDevice, int32_t pLba, int32_t pCount, uint8_t* pBuffer);
};

/// Multiplies 16-bit little-endian samples in place by pFactor, rounding half to even and
/// saturating to +-32767.
void ScaleCdSamples(uint8_t* pBytes, size_t pCount, double pFactor);

} // namespace tarvok
