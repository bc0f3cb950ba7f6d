#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// Audio CD constants: a sector is 2352 bytes, 588 frames of 16-bit stereo at 44100 Hz.
inline constexpr int32_t kCdSectorBytes = 2352;
inline constexpr int32_t kCdSectorFrames = 588;
inline constexpr int32_t kCdSectorsPerSecond = 75;
inline constexpr int32_t kCdSampleRate = 44100;
/// Sectors of one raw read request.
inline constexpr int32_t kCdReadSectors = 16;
/// The track number of the lead-out entry in a table of contents.
inline constexpr int32_t kLeadOutTrack = 170;

/// One entry of a disc's table of contents: a track (or the lead-out) with its start as a
/// time address (minutes, seconds, frames of 1/75 s, counting the 2-second lead-in).
struct TocEntry {
    int32_t TrackNo = 0;
    int32_t Control = 0; ///< control/address byte; bit 2 (value 4) marks a data track
    int32_t M = 0;
    int32_t S = 0;
    int32_t F = 0;
};

/// A disc's table of contents: the first and last track numbers and one entry per track
/// followed by the lead-out entry.
struct DiscToc {
    int32_t FirstTrack = 0;
    int32_t LastTrack = 0;
    std::vector<TocEntry> Entries;
};

/// The logical block address of a time address: M x 4500 + S x 75 + F - 150.
inline int32_t MsfToLba(int32_t pM, int32_t pS, int32_t pF)
{
    return pM * 4500 + pS * 75 + pF - 150;
}
/// The time address of a logical block address (the inverse of MsfToLba).
TocEntry LbaToMsf(int32_t pLba, int32_t pTrackNo = 0);

/// An open CD drive or disc image. Reads deliver sectors exactly as a drive does: 2352
/// bytes of little-endian 16-bit stereo each.
class CdDevice {
public:
    virtual ~CdDevice() = default;
    /// The table of contents; empty (LastTrack 0) when there is no disc or it cannot be read.
    virtual DiscToc ReadToc() = 0;
    /// Reads pCount raw audio sectors from pLba into pBuffer (pCount x 2352 bytes); false
    /// when the read fails (pBuffer may then be partly written).
    virtual bool ReadAudioSectors(int32_t pLba, int32_t pCount, uint8_t* pBuffer) = 0;
    /// The disc's CD-TEXT titles: [0] the album, then one per track; empty when none.
    virtual std::vector<std::string> CdTextTitles() { return {}; }
    /// Makes the later reads error-correcting (overlapping reads compared and re-read until
    /// they agree, scratches repaired where possible): slower, but the sectors delivered
    /// are the same bytes. False when the device cannot; its reads then stay plain.
    virtual bool UseErrorCorrection() { return false; }
    /// The drive's vendor and model as it reports them ("VENDOR MODEL"); empty for an image
    /// and when the drive does not say.
    virtual std::string ModelName() { return {}; }
};

/// A drive as listed: the path to open (a device node or an image file) and a name to show.
struct CdDriveEntry {
    std::string Path;
    std::string Name;
    bool IsImage = false;
};

/// The platform's CD access: the physical drives and opening a drive or an image.
class CdDriveService {
public:
    virtual ~CdDriveService() = default;
    /// The physical CD drives, in the platform's order.
    virtual std::vector<CdDriveEntry> PhysicalDrives() = 0;
    /// Opens a physical drive or a disc image (CUE/BIN and the other formats the platform
    /// reads); null when it cannot be opened.
    virtual std::unique_ptr<CdDevice> Open(std::string_view pPath) = 0;
};

/// The drive list: every physical drive, then every existing image named in pImages
/// (paths separated by ";", blanks around them ignored).
std::vector<CdDriveEntry> ListCdDrives(CdDriveService& pService, std::string_view pImages);

/// True when pPath names a disc image by its extension (".cue", ".toc", ".nrg").
bool IsCdImagePath(std::string_view pPath);

/// Why the disc image pPath cannot be read safely, or empty when it can: the image itself,
/// or a data file its sheet names (FILE, DATAFILE, AUDIOFILE lines, relative to the sheet's
/// folder) or the "<name>.bin" beside a CUE sheet, is there but is not a regular file (a
/// FIFO would block the reader, a device or folder would mislead it). Data files that are
/// missing are left to the reader. Reads only the sheet; never opens a data file.
std::string CdImageProblem(std::string_view pPath);

} // namespace tarvok
