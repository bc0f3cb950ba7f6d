#pragma once

#include "cd/rip_check.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvok {

class CdDriveService;
class MainLogic;

/// RIPCD may open the rip window: not while playback or recording runs, the level-drawing
/// window is open or another operation is busy.
bool CanStartRip(const MainLogic& pLogic);

/// The end of RIPCD: imports the ripped file pTarget into the current track at MarkIn as
/// one edit (with an undo snapshot). False when pTarget is empty, the edit is refused or
/// nothing was placed.
bool ImportRip(MainLogic& pLogic, const std::string& pTarget);

/// The rip options the settings give: "CheckRip", "RipLevel" (dB), the language mode and
/// the read offset of each drive model (ReadOffsetKey); the compare is the file layer's
/// chunked compare, yielding to pUi.
RipCheckOptions RipOptionsFromSettings(MainLogic& pLogic);

/// Rips track index pTrack (from 0) of pDrive into a fresh working file of the data folder
/// with pOptions; the file's path, or empty (with the user told why) when the drive or
/// track is missing or the rip fails, is cancelled or declined.
std::string RipCdToDataFolder(MainLogic& pLogic, CdDriveService& pService, std::string_view pDrive,
    int32_t pTrack, const RipCheckOptions& pOptions);

} // namespace tarvok
