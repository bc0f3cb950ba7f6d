#pragma once

#include <array>
#include <cstdint>

namespace tarvok {

/// How far playback must be moved while recording with playback so that it stays with the
/// recording: the difference of the input and output device clocks, averaged over the latest
/// readings so that one late reading does not make the playback jump.
class ClockDriftFilter {
public:
    /// Takes one reading: bytes recorded and played since the devices started, and the
    /// recording's start offset in frames. Returns the correction in frames; 0 (with nothing
    /// kept) until the output has played two seconds at pRate.
    int32_t Update(
        uint32_t pInputBytes, uint32_t pOutputBytes, int32_t pStartOffset, int32_t pRate);

    /// The latest seventeen readings, oldest first.
    std::array<int32_t, 17> History {};
};

} // namespace tarvok
