#pragma once

#include "base/progress.h"
#include "base/result.h"
#include "core/project.h"

#include <string>

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

} // namespace tarvok
