#pragma once

#include "base/result.h"
#include "cd/cd_drive.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// Sectors between the end of the audio session of an enhanced CD and its data track: the
/// session's lead-out (6750), the next lead-in (4500) and the data track's pre-gap (150).
inline constexpr int32_t kCdSessionGap = 11400;

/// How a sheet stores a data file's samples.
enum class CdImageFileKind {
    Binary, ///< raw sectors, samples little-endian
    Motorola, ///< raw sectors, samples big-endian
    Wave, ///< the data chunk of a 44100 Hz 16-bit stereo PCM WAV file
};

/// Where a data file's payload lies: its first byte and its length in bytes.
struct CdImageFileInfo {
    int64_t DataOffset = 0;
    int64_t DataBytes = 0;
};

/// Looks a data file up (a path already resolved against the sheet's folder); nothing when
/// it is missing, unreadable, or a WAVE file in another format than CD audio.
using CdImageFileProbe = std::function<std::optional<CdImageFileInfo>(
    const std::string& pPath, CdImageFileKind pKind)>;

/// One stretch of the disc: Sectors sectors from StartLba, read from File (SectorBytes
/// bytes each from byte Offset; bytes at or past ValidEnd read as zeros), or silence when
/// File is empty.
struct CdImageSpan {
    int32_t StartLba = 0;
    int32_t Sectors = 0;
    std::string File;
    int64_t Offset = 0;
    int64_t ValidEnd = 0;
    int32_t SectorBytes = kCdSectorBytes;
    bool BigEndian = false; ///< 16-bit samples stored high byte first
};

/// One track of an image as its sheet describes it.
struct CdImageTrack {
    int32_t Number = 0;
    bool IsData = false;
    int32_t SectorBytes = kCdSectorBytes; ///< bytes per sector in the data file
    int32_t StartLba = 0; ///< index 1: where the track starts in the table of contents
    int32_t PregapLba = -1; ///< index 0 (or the start of a PREGAP), -1 without a pre-gap
    std::string Title;
    std::string Performer;
    std::string Isrc;
};

/// A disc image as a disc: its tracks, the lead-out, what each sector is read from and
/// the CD-TEXT of the sheet. A trailing data track (after audio tracks) is placed as the
/// second session of an enhanced CD: kCdSessionGap sectors after the end of the audio,
/// as a drive lists such a disc.
struct CdImage {
    std::vector<CdImageTrack> Tracks;
    std::vector<CdImageSpan> Spans;
    int32_t LeadOutLba = 0;
    std::string Catalog;
    std::string Title;
    std::string Performer;

    /// The table of contents a drive would report for the image.
    DiscToc Toc() const;
    /// CD-TEXT titles as CdDevice::CdTextTitles gives them; empty when the sheet has none.
    std::vector<std::string> CdTextTitles() const;
};

/// Reads a CUE sheet: FILE lines (names relative to pFolder, which ends in "/" or is
/// empty; BINARY, MOTOROLA and WAVE files, several per sheet), TRACK (AUDIO, MODE1/2048,
/// MODE1/2352, MODE2/2336, MODE2/2352), INDEX 00 and 01, PREGAP and POSTGAP (silence not
/// stored in the files), CATALOG, ISRC, TITLE and PERFORMER. A failure says in Japanese
/// what is wrong with the sheet.
Result<CdImage> ParseCueSheet(
    std::string_view pText, std::string_view pFolder, const CdImageFileProbe& pProbe);

/// Reads a cdrdao TOC sheet: TRACK AUDIO/MODE1/MODE1_RAW/MODE2/MODE2_RAW/MODE2_FORM1/
/// MODE2_FORM2/MODE2_FORM_MIX, FILE/AUDIOFILE "name" [SWAP] [#offset] start [length]
/// (raw audio files big-endian unless SWAP, WAV files as they are), DATAFILE "name"
/// [#offset] [length], SILENCE/ZERO, PREGAP, START, ISRC, CATALOG and CD_TEXT TITLE and
/// PERFORMER. Every piece must fill whole sectors.
Result<CdImage> ParseTocSheet(
    std::string_view pText, std::string_view pFolder, const CdImageFileProbe& pProbe);

/// The file system's probe: a file's size, or a WAV file's data chunk.
std::optional<CdImageFileInfo> ProbeCdImageFile(const std::string& pPath, CdImageFileKind pKind);

/// Reads the sheet at pPath (".cue" or ".toc") with the file system's probe.
Result<CdImage> ReadCdImageSheet(std::string_view pPath);

/// The image as a device delivering raw 2352-byte sectors: audio sectors come from the
/// data files (little-endian whatever the file stores), silence as zeros; a read that
/// touches a data track stored in other than 2352-byte sectors, or a sector outside every
/// track, fails.
std::unique_ptr<CdDevice> OpenCdImageDevice(CdImage pImage);

} // namespace tarvok
