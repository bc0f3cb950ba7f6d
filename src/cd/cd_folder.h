#pragma once

#include "base/result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// The sheet and the checksum file a CD folder carries beside its "trackNNN.wav" files.
inline constexpr std::string_view kCdFolderSheet = "disc.cue";
inline constexpr std::string_view kCdFolderSums = "disc.sums";
/// The pause before every track but the first, in sectors (2 seconds).
inline constexpr int32_t kCdFolderGapSectors = 150;

/// CRC-32 (the polynomial of zip and PNG) of pCount bytes, continuing from pCrc.
uint32_t Crc32(const uint8_t* pBytes, size_t pCount, uint32_t pCrc = 0);

/// The "trackNNN.wav" files of pFolder (which ends in "/"), in the order of their names.
std::vector<std::string> CdFolderTrackFiles(const std::string& pFolder);

/// One track of a CD folder's sheet.
struct CdFolderTrack {
    std::string File; ///< the file's name inside the folder
    std::string Title;
    std::string Performer;
};

/// A CUE sheet of WAVE files in order, with the disc's and each track's TITLE and
/// PERFORMER (left out when empty) as CD-TEXT and a PREGAP of kCdFolderGapSectors before
/// every track but the first.
std::string CdFolderCueText(std::string_view pTitle, std::string_view pPerformer,
    const std::vector<CdFolderTrack>& pTracks);

/// Writes the folder's sheet and checksum file for the track files it holds now: titles
/// and performers already in the sheet stay, pNewFile (a name inside the folder) gets
/// pNewTitle when it has none, and any other untitled file its base name; the disc is titled by the
/// folder's name until the sheet says otherwise. Each line of the checksum file is the CRC-32 and
/// the AccurateRip v1 and v2 sums of one file's audio (8 hex digits each) and the file's name.
Result<void> WriteCdFolderFiles(
    const std::string& pFolder, std::string_view pNewFile, std::string_view pNewTitle);

/// How one listed track file checked out.
struct CdFolderCheck {
    std::string File;
    bool Good = false;
    std::string Why; ///< empty when good
};

/// Re-reads every file the folder's checksum file lists and compares its sums. Fails when
/// the checksum file is missing or unreadable.
Result<std::vector<CdFolderCheck>> VerifyCdFolder(const std::string& pFolder);

} // namespace tarvok
