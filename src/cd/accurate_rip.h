#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok {

/// The two AccurateRip checksums of a track.
struct AccurateRipSums {
    uint32_t V1 = 0;
    uint32_t V2 = 0;
};

/// Computes the AccurateRip checksums of a track from its 16-bit stereo frames, fed in
/// pieces in order. Each frame (left and right as one little-endian 32-bit word) is weighted
/// by its position from 1; v1 sums the low 32 bits of the products, v2 the low and high
/// halves. The first 5 sectors less one frame of a disc's first track and the last 5
/// sectors of its last track are left out, as drives differ most there.
class AccurateRipAccumulator {
public:
    AccurateRipAccumulator(int64_t pTotalFrames, bool pFirstTrack, bool pLastTrack);
    /// Adds pFrames frames of 4 bytes each.
    void Add(const uint8_t* pBytes, size_t pFrames);
    AccurateRipSums Sums() const { return { v1_, v2_ }; }

private:
    uint64_t position_ = 0;
    uint64_t from_ = 0;
    uint64_t to_ = 0;
    uint32_t v1_ = 0;
    uint32_t v2_ = 0;
};

/// The checksums of the data of a 16-bit stereo WAV file (a ripped track); nothing when the
/// file is not one or cannot be read.
std::optional<AccurateRipSums> AccurateRipOfFile(
    std::string_view pPath, bool pFirstTrack, bool pLastTrack);

/// "v1 1a2b3c4d v2 5e6f7a8b".
std::string AccurateRipText(const AccurateRipSums& pSums);

} // namespace tarvok
