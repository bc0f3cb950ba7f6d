#pragma once

#include "base/result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvok {

class DataFolder;
class Project;
class UserInterface;

/// A block name that the project file can store: every double quote becomes the full-width
/// quotation mark "＂", every "," and "，" becomes ".".
std::string CleanBlockName(std::string_view pName);

/// A whole working file placed as a new block.
struct PlacedFile {
    int32_t Block = -1; ///< index of the new block
    int32_t Wave = -1; ///< its wave file
    bool NewWave = false; ///< the wave file was added (its peaks still need building)
};

/// Places the whole WAV file at pStartAdr on pTrack as a new block named pName, or after
/// the file's base name when pName is empty. Fails, changing nothing, when the file is not
/// a usable WAV file with at least one frame or the track does not exist.
Result<PlacedFile> PlaceFileOnTrack(Project& pProject, int32_t pTrack, const std::string& pPath,
    int32_t pStartAdr, std::string_view pName);

/// Places a working WAV file on track pTrack at timeline frame pBlockAddr as a new block
/// covering the whole file, named pBlockName (or, when that is empty, the file's cleaned
/// base name). A file the project does not know yet is added as a wave file and gets its
/// peaks built into a fresh ".wwf" name of pFolder (pWfMode chooses the peak scale;
/// pCancel stops the peak building, not the placing). False, with the project unchanged,
/// when the track does not exist, the file is not a usable WAV file, has no frames or the
/// tables cannot grow; the reason is then shown in the message area.
bool LoadFileToTrack(Project& pProject, int32_t pTrack, const std::string& pFilename,
    int32_t pBlockAddr, std::string_view pBlockName, DataFolder& pFolder, int32_t pWfMode,
    UserInterface& pUi, bool& pCancel);

} // namespace tarvok
