#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvok::test {

/// The 16-bit sample at index pIndex (left and right interleaved) of track pTrack in a
/// generated disc image: a pattern that differs per track and position and reaches both
/// ends of the sample range.
int16_t CdImageSample(int32_t pTrack, int64_t pIndex);

/// Writes a CUE/BIN disc image: pFolder + pName + ".bin" holding the tracks back to back
/// (pSectors[i] sectors of 2352 bytes for track i, samples from CdImageSample) and
/// pFolder + pName + ".cue" describing them. Returns the path of the ".cue" file, empty on
/// failure. With pTitles ([0] the album, then one per track) the sheet carries them as
/// CD-TEXT.
std::string WriteCdImage(const std::string& pFolder, const std::string& pName,
    const std::vector<int32_t>& pSectors, const std::vector<std::string>& pTitles = {});

/// The PCM bytes of track pTrack of such an image (pSectors x 2352 bytes).
std::string CdImageTrackBytes(int32_t pTrack, int32_t pSectors);

} // namespace tarvok::test
