#include "support/wav_fixture.h"

#include "support/temp_dir.h"

#include <cstdlib>

namespace tarvok::test {

std::string Le16(uint32_t pValue)
{
    std::string bytes(2, '\0');
    bytes[0] = static_cast<char>(pValue & 0xFF);
    bytes[1] = static_cast<char>((pValue >> 8) & 0xFF);
    return bytes;
}

std::string Le32(uint32_t pValue)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((pValue >> (8 * i)) & 0xFF);
    return bytes;
}

std::string ChunkBytes(const WavChunk& pChunk)
{
    std::string bytes = pChunk.Id.substr(0, 4);
    bytes.resize(4, ' ');
    bytes += Le32(static_cast<uint32_t>(pChunk.Body.size()));
    bytes += pChunk.Body;
    if (pChunk.Pad && pChunk.Body.size() % 2 == 1)
        bytes += '\0';
    return bytes;
}

namespace {

std::string FmtBody(const WavSpec& pSpec)
{
    int32_t blockAlign = pSpec.BlockAlign.value_or(pSpec.Channels * pSpec.Bits / 8);
    uint32_t byteRate = pSpec.ByteRate.value_or(
        static_cast<uint32_t>(pSpec.Rate) * static_cast<uint32_t>(blockAlign));
    std::string body;
    body += Le16(static_cast<uint32_t>(pSpec.FormatTag));
    body += Le16(static_cast<uint32_t>(pSpec.Channels));
    body += Le32(static_cast<uint32_t>(pSpec.Rate));
    body += Le32(byteRate);
    body += Le16(static_cast<uint32_t>(blockAlign));
    body += Le16(static_cast<uint32_t>(pSpec.Bits));
    if (pSpec.Extensible) {
        uint32_t mask = pSpec.ChannelMask;
        if (mask == 0)
            mask = pSpec.Channels >= 32 ? 0xFFFFFFFFu : ((1u << pSpec.Channels) - 1u);
        body += Le16(22);
        body += Le16(static_cast<uint32_t>(pSpec.Bits));
        body += Le32(mask);
        body += Le32(static_cast<uint32_t>(pSpec.SubFormatTag));
        body += std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
    }
    return body;
}

} // namespace

std::string MakeWav(const WavSpec& pSpec)
{
    std::string fmt = ChunkBytes({ "fmt ", FmtBody(pSpec) });
    std::string data = "data";
    data += Le32(pSpec.DataSizeField.value_or(static_cast<uint32_t>(pSpec.Samples.size())));
    data += pSpec.Samples;
    if (pSpec.PadData && pSpec.Samples.size() % 2 == 1)
        data += '\0';
    if (pSpec.OmitFmt)
        fmt.clear();
    if (pSpec.OmitData)
        data.clear();

    std::string body = pSpec.WaveId;
    for (const WavChunk& chunk : pSpec.Before)
        body += ChunkBytes(chunk);
    body += pSpec.DataFirst ? data : fmt;
    for (const WavChunk& chunk : pSpec.Between)
        body += ChunkBytes(chunk);
    body += pSpec.DataFirst ? fmt : data;
    for (const WavChunk& chunk : pSpec.After)
        body += ChunkBytes(chunk);

    std::string file = pSpec.RiffId;
    file += Le32(pSpec.RiffSizeField.value_or(static_cast<uint32_t>(body.size())));
    file += body;
    return file;
}

bool WriteWav(const std::string& pPath, const WavSpec& pSpec)
{
    return WriteFileBytes(pPath, MakeWav(pSpec));
}

WavSpec PcmSpec(int32_t pRate, int32_t pBits, int32_t pChannels, std::string pSamples)
{
    WavSpec spec;
    spec.Rate = pRate;
    spec.Bits = pBits;
    spec.Channels = pChannels;
    spec.Samples = std::move(pSamples);
    return spec;
}

std::string Samples8(const std::vector<uint8_t>& pSamples)
{
    return std::string(pSamples.begin(), pSamples.end());
}

std::string Samples16(const std::vector<int16_t>& pSamples)
{
    std::string bytes;
    bytes.reserve(pSamples.size() * 2);
    for (int16_t s : pSamples)
        bytes += Le16(static_cast<uint16_t>(s));
    return bytes;
}

std::string Samples24(const std::vector<int32_t>& pSamples)
{
    std::string bytes;
    bytes.reserve(pSamples.size() * 3);
    for (int32_t s : pSamples) {
        auto u = static_cast<uint32_t>(s);
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>((u >> 8) & 0xFF);
        bytes += static_cast<char>((u >> 16) & 0xFF);
    }
    return bytes;
}

bool HaveSox() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

} // namespace tarvok::test
