#pragma once

// The test material of the benchmarks: a long 16-bit stereo file of two detuned tones
// with a slow swell, so that levels and peaks vary over the file.

#include "core/file_io.h"
#include "core/wave_info.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvok::bench {

/// Writes pSeconds seconds at pRate to pPath; false when the file cannot be written.
inline bool MakeToneFile(const std::string& pPath, int32_t pRate, int32_t pSeconds)
{
    const int64_t frames = int64_t { pRate } * pSeconds;
    auto header = WriteWaveHeader(pRate, 16, 2, pPath, frames * 4, true);
    if (!header || !header->IsOpen())
        return false;
    FileHandle file = std::move(*header);
    std::vector<int16_t> block(static_cast<size_t>(pRate) * 2);
    for (int64_t start = 0; start < frames; start += pRate) {
        for (int32_t i = 0; i < pRate; ++i) {
            double t = static_cast<double>(start + i) / pRate;
            double swell = 0.5 + 0.5 * std::sin(t * 0.3);
            block[2 * i] = static_cast<int16_t>(30000.0 * swell * std::sin(t * 2 * M_PI * 440.0));
            block[2 * i + 1]
                = static_cast<int16_t>(30000.0 * swell * std::sin(t * 2 * M_PI * 443.0));
        }
        file = WriteBytesKeep(
            block.data(), static_cast<int64_t>(block.size()) * 2, -1, std::move(file), pPath);
        if (!file.IsOpen())
            return false;
    }
    return file.Close();
}

} // namespace tarvok::bench
