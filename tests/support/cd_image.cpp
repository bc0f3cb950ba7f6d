#include "support/cd_image.h"

#include <cstdio>
#include <fstream>

namespace tarvok::test {

int16_t CdImageSample(int32_t pTrack, int64_t pIndex)
{
    // A mix of a track offset and a fast ramp, so that misplaced or swapped sectors and
    // byte-order mistakes all show; every 1000th value is an extreme.
    if (pIndex % 1000 == 0)
        return (pIndex / 1000) % 2 == 0 ? int16_t { 32767 } : int16_t { -32768 };
    return static_cast<int16_t>(((pIndex * 37 + pTrack * 1021) % 65536) - 32768);
}

std::string CdImageTrackBytes(int32_t pTrack, int32_t pSectors)
{
    std::string bytes;
    const int64_t samples = static_cast<int64_t>(pSectors) * 2352 / 2;
    bytes.reserve(static_cast<size_t>(samples) * 2);
    for (int64_t i = 0; i < samples; ++i) {
        const auto v = static_cast<uint16_t>(CdImageSample(pTrack, i));
        bytes.push_back(static_cast<char>(v & 0xFF));
        bytes.push_back(static_cast<char>(v >> 8));
    }
    return bytes;
}

std::string WriteCdImage(const std::string& pFolder, const std::string& pName,
    const std::vector<int32_t>& pSectors, const std::vector<std::string>& pTitles)
{
    const std::string bin = pFolder + pName + ".bin";
    const std::string cue = pFolder + pName + ".cue";
    std::ofstream b(bin, std::ios::binary | std::ios::trunc);
    std::ofstream c(cue, std::ios::binary | std::ios::trunc);
    if (!b || !c)
        return {};
    if (!pTitles.empty())
        c << "TITLE \"" << pTitles[0] << "\"\r\n";
    c << "FILE \"" << pName << ".bin\" BINARY\r\n";
    int64_t start = 0;
    for (size_t t = 0; t < pSectors.size(); ++t) {
        const std::string data = CdImageTrackBytes(static_cast<int32_t>(t), pSectors[t]);
        b.write(data.data(), static_cast<std::streamsize>(data.size()));
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\r\n    INDEX 01 %02d:%02d:%02d\r\n",
            static_cast<int>(t + 1), static_cast<int>(start / 4500),
            static_cast<int>((start / 75) % 60), static_cast<int>(start % 75));
        c << line;
        if (t + 1 < pTitles.size())
            c << "    TITLE \"" << pTitles[t + 1] << "\"\r\n";
        start += pSectors[t];
    }
    b.close();
    c.close();
    if (!b || !c)
        return {};
    return cue;
}

} // namespace tarvok::test
