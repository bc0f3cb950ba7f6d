#pragma once

#include <ostream>
#include <string>

namespace tarvok {

/// Prints the MPEG audio summary of pPath (every MpegInfo field) as text, or as one JSON
/// object with pJson. Returns 0 when a usable frame header was found; 1, with one line on
/// pErr, for a missing file or one without a usable header.
int RunMpegInfoCommand(
    const std::string& pPath, bool pJson, std::ostream& pOut, std::ostream& pErr);

} // namespace tarvok
