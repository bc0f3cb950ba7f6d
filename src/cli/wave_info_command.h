#pragma once

#include <ostream>
#include <string>

namespace tarvok {

/// Prints the WAV summary of pPath (every field and the format name) as text, or as one JSON
/// object with pJson. Returns 0 for a RIFF/WAVE file, even one whose format is not usable
/// (Valid 0); 1, with one line on pErr, for a missing, unreadable or non-RIFF file.
int RunWaveInfoCommand(
    const std::string& pPath, bool pJson, std::ostream& pOut, std::ostream& pErr);

} // namespace tarvok
