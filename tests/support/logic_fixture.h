#pragma once

#include "support/started_logic.h"

#include <cstdint>
#include <string>

namespace tarvok::test {

/// A started main-window logic over an in-memory store and a scripted user interface, with
/// its home and data folder in a temporary folder. Window tests and their models build on it.
struct LogicFixture : StartedLogic<> {
    LogicFixture();

    /// Writes a 16-bit stereo WAV of pFrames frames (left a sine, right a ramp) named
    /// pName in the temporary folder and places it on pTrack at pStart. Returns the
    /// block's index, -1 on failure.
    int32_t AddBlock(const std::string& pName, int32_t pTrack, int32_t pStart, int32_t pFrames);
};

} // namespace tarvok::test
