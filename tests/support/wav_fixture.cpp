#include "support/wav_fixture.h"

#include "support/temp_dir.h"

#include <algorithm>
#include <cstddef>
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
        if (pSpec.SubFormatGuid) {
            body += pSpec.SubFormatGuid->substr(0, 16);
        } else {
            body += Le32(static_cast<uint32_t>(pSpec.SubFormatTag));
            body += std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
        }
    }
    if (pSpec.FmtBytes)
        body.resize(std::min(body.size(), *pSpec.FmtBytes));
    return body;
}

/// Reverses the bytes of each field of a little-endian "fmt " body (16-bit and 32-bit
/// fields in the order of the 16-byte form).
std::string BigEndianFmt(std::string pBody)
{
    static constexpr size_t kFields[] = { 2, 2, 4, 4, 2, 2 };
    size_t at = 0;
    for (size_t width : kFields) {
        if (at + width > pBody.size())
            break;
        std::reverse(pBody.begin() + static_cast<std::ptrdiff_t>(at),
            pBody.begin() + static_cast<std::ptrdiff_t>(at + width));
        at += width;
    }
    return pBody;
}

std::string SwapSamples(std::string pSamples, int32_t pBits)
{
    const size_t width = static_cast<size_t>(std::max(pBits, 8) / 8);
    for (size_t at = 0; at + width <= pSamples.size(); at += width)
        std::reverse(pSamples.begin() + static_cast<std::ptrdiff_t>(at),
            pSamples.begin() + static_cast<std::ptrdiff_t>(at + width));
    return pSamples;
}

std::string Be32(uint32_t pValue)
{
    std::string bytes = Le32(pValue);
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

std::string Le64(uint64_t pValue)
{
    return Le32(static_cast<uint32_t>(pValue)) + Le32(static_cast<uint32_t>(pValue >> 32));
}

/// A RIFX file of the spec's "fmt " and "data" chunks, in that order.
std::string MakeRifx(const WavSpec& pSpec)
{
    const std::string fmt = BigEndianFmt(FmtBody(pSpec));
    const std::string samples = SwapSamples(pSpec.Samples, pSpec.Bits);
    std::string body = pSpec.WaveId + "fmt " + Be32(static_cast<uint32_t>(fmt.size())) + fmt
        + "data" + Be32(static_cast<uint32_t>(samples.size())) + samples;
    if (samples.size() % 2 == 1)
        body += '\0';
    return "RIFX" + Be32(static_cast<uint32_t>(body.size())) + body;
}

/// An RF64 file: "ds64" first, then the spec's "fmt " and "data" chunks.
std::string MakeRf64(const WavSpec& pSpec)
{
    const std::string fmt = ChunkBytes({ "fmt ", FmtBody(pSpec) });
    const int64_t blockAlign = std::max(1, pSpec.Channels * pSpec.Bits / 8);
    const uint64_t dataSize = pSpec.Samples.size();
    std::string data = "data" + Le32(0xFFFFFFFFu) + pSpec.Samples;
    if (pSpec.Samples.size() % 2 == 1)
        data += '\0';
    const uint64_t riffSize = 4 + 36 + fmt.size() + data.size();
    const std::string ds64 = ChunkBytes({ "ds64",
        Le64(riffSize) + Le64(dataSize) + Le64(dataSize / static_cast<uint64_t>(blockAlign))
            + Le32(0) });
    return "RF64" + Le32(0xFFFFFFFFu) + pSpec.WaveId + ds64 + fmt + data;
}

} // namespace

std::string MakeWav(const WavSpec& pSpec)
{
    if (pSpec.BigEndian)
        return MakeRifx(pSpec);
    if (pSpec.Rf64)
        return MakeRf64(pSpec);
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
