#pragma once

#include "base/progress.h"
#include "base/result.h"
#include "core/project.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvok {

class UserInterface;

/// Copies frames pFirst..pLast (counted from 1) of a 16-bit stereo working file into a new
/// WAV file at pTarget, in 2 MB chunks with a progress call (0..1) before each; a stop fails
/// with ErrorCode::Cancelled. A failed or cancelled copy leaves no file at pTarget.
Status CopyWaveFrames(const WaveFile& pWave, int32_t pSampleRate, int32_t pFirst, int32_t pLast,
    const std::string& pTarget, const Progress& pProgress);

/// Writes a self-contained copy of the project into pFolder (which must exist): every wave
/// file cut to the range its blocks use, its peak range, every existing envelope file, under
/// numbered names, and pFolder + pName + ".tvp" naming them relative to the folder. Needs at
/// least one block. A stop of pProgress fails with ErrorCode::Cancelled.
Status WriteOutAll(const Project& pProject, const std::string& pFolder, const std::string& pName,
    UserInterface& pUi, const Progress& pProgress);

/// The folder a SAVEALL that replaces the folder pBare writes its new copy into: the hidden
/// sibling "." + name + "." + process ID + "-" + pNumber + ".saveall", so that a leftover
/// names the process that made it.
std::string SaveAllWorkFolderName(std::string_view pBare, int64_t pPid, int32_t pNumber);

/// True when pName (no folder) is a work folder of a SAVEALL into the folder named
/// pTargetName; pPid receives the process ID in it.
bool IsSaveAllWorkFolderName(
    std::string_view pName, std::string_view pTargetName, int64_t* pPid = nullptr);

/// True for the names a SAVEALL of project pProject writes into its folder: "00000001.wav"
/// and the like, the project file, and a temporary file of a replacement.
bool IsSaveAllFileName(std::string_view pName, std::string_view pProject);

/// Renames the folder pFolder to the first free visible name pBare + "01" .. "99" beside it;
/// the new path, or pFolder when no name was free or the rename failed.
std::string KeepFolderVisible(const std::string& pFolder, std::string_view pBare);

/// Clears the work folders beside pBare that processes which no longer run left: their
/// SAVEALL files (of project pProject) are deleted and the folder goes; one that still holds
/// anything else is renamed to a visible name beside pBare instead, so that nothing of the
/// user's is lost or hidden. Never touches the folder of a process that runs. Returns how
/// many folders went.
int RemoveStaleSaveAllFolders(std::string_view pBare, std::string_view pProject);

} // namespace tarvok
