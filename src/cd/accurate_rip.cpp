#include "cd/accurate_rip.h"

#include "cd/cd_drive.h"
#include "core/file_io.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tarvok {

namespace {

/// Frames left out at the start of a first track and at the end of a last one.
constexpr uint64_t kSkipFrames = 5 * kCdSectorFrames;

} // namespace

AccurateRipAccumulator::AccurateRipAccumulator(
    int64_t pTotalFrames, bool pFirstTrack, bool pLastTrack)
{
    const auto total = static_cast<uint64_t>(pTotalFrames < 0 ? 0 : pTotalFrames);
    from_ = pFirstTrack ? kSkipFrames : 1;
    to_ = pLastTrack ? (total > kSkipFrames ? total - kSkipFrames : 0) : total;
}

void AccurateRipAccumulator::Add(const uint8_t* pBytes, size_t pFrames)
{
    for (size_t i = 0; i < pFrames; ++i) {
        ++position_;
        if (position_ < from_ || position_ > to_)
            continue;
        const uint8_t* p = pBytes + i * 4;
        const uint32_t word = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
            | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        const uint64_t product = static_cast<uint64_t>(word) * position_;
        v1_ += static_cast<uint32_t>(product);
        v2_ += static_cast<uint32_t>(product) + static_cast<uint32_t>(product >> 32);
    }
}

std::optional<AccurateRipSums> AccurateRipOfFile(
    std::string_view pPath, bool pFirstTrack, bool pLastTrack)
{
    const WaveInfo info = ReadWaveInfo(pPath);
    if (info.Valid != 1 || info.Channels != 2 || info.Bits != 16)
        return std::nullopt;
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    if (!file.IsOpen())
        return std::nullopt;
    AccurateRipAccumulator sums(info.Frames, pFirstTrack, pLastTrack);
    std::vector<uint8_t> buffer(static_cast<size_t>(kCdSectorBytes) * 256);
    int64_t left = static_cast<int64_t>(info.Frames) * 4;
    int64_t offset = info.DataOffset;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
        if (ReadAt(file, buffer.data(), n, offset) != n)
            return std::nullopt;
        sums.Add(buffer.data(), static_cast<size_t>(n / 4));
        left -= n;
        offset += n;
    }
    return sums.Sums();
}

std::string AccurateRipText(const AccurateRipSums& pSums)
{
    char text[40];
    std::snprintf(text, sizeof text, "v1 %08x v2 %08x", pSums.V1, pSums.V2);
    return text;
}

} // namespace tarvok
