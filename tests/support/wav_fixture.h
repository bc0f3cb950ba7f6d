#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::test {

/// A raw RIFF chunk: four-character id and body. Bodies of odd size get a zero pad byte
/// unless Pad is false.
struct WavChunk {
    std::string Id;
    std::string Body;
    bool Pad = true;
};

/// Everything a test may want to vary in a WAV file, including things a real writer would
/// never produce. The defaults give a valid empty 44.1 kHz 16-bit stereo PCM file.
struct WavSpec {
    int32_t Rate = 44100;
    int32_t Bits = 16;
    int32_t Channels = 2;
    int32_t FormatTag = 1; ///< written as 16 bits: -2 (0xFFFE) is the extensible tag
    /// Writes the 40-byte extensible "fmt " body (valid bits, channel mask, sub-format).
    bool Extensible = false;
    /// The sub-format tag of the extensible form (1 integer PCM, 3 float).
    int32_t SubFormatTag = 1;
    uint32_t ChannelMask = 0; ///< 0: a mask with the lowest Channels bits set
    std::optional<int32_t> BlockAlign; ///< default Channels x Bits / 8
    std::optional<uint32_t> ByteRate; ///< default Rate x BlockAlign
    std::string Samples; ///< the raw bytes of the "data" chunk
    std::optional<uint32_t> DataSizeField; ///< overrides the "data" size field
    std::optional<uint32_t> RiffSizeField; ///< overrides the RIFF size field
    std::string RiffId = "RIFF";
    std::string WaveId = "WAVE";
    std::vector<WavChunk> Before; ///< chunks before the first of "fmt " and "data"
    std::vector<WavChunk> Between; ///< chunks between the two
    std::vector<WavChunk> After; ///< chunks after the second
    bool DataFirst = false; ///< "data" before "fmt "
    bool OmitFmt = false;
    bool OmitData = false;
    bool PadData = true; ///< a zero pad byte after odd-sized sample data
    std::optional<size_t> FmtBytes; ///< cuts the "fmt " body (and its size field) to this
    std::optional<std::string> SubFormatGuid; ///< 16 bytes replacing the extensible GUID
    /// An RF64 file: "RF64" with a "ds64" chunk first that holds the RIFF and data sizes and
    /// the frame count; the RIFF and "data" size fields hold 0xFFFFFFFF.
    bool Rf64 = false;
    /// A RIFX file: sizes and format fields big-endian, each sample of Samples (given
    /// little-endian) byte-swapped.
    bool BigEndian = false;
};

/// The bytes of a WAV file as described.
std::string MakeWav(const WavSpec& pSpec);
/// Writes MakeWav(pSpec) to pPath, replacing it; false on failure.
bool WriteWav(const std::string& pPath, const WavSpec& pSpec);
/// A WavSpec of the given format holding pSamples.
WavSpec PcmSpec(int32_t pRate, int32_t pBits, int32_t pChannels, std::string pSamples = {});

/// The bytes of one chunk (id, size, body, pad byte).
std::string ChunkBytes(const WavChunk& pChunk);

std::string Le16(uint32_t pValue);
std::string Le32(uint32_t pValue);

/// Little-endian sample bytes: 8-bit unsigned, 16-bit, packed 24-bit.
std::string Samples8(const std::vector<uint8_t>& pSamples);
std::string Samples16(const std::vector<int16_t>& pSamples);
std::string Samples24(const std::vector<int32_t>& pSamples);

/// pFrames frames of 16-bit stereo where each frame is (pLeft(f), pRight(f)), f from 0.
template <class Left, class Right> std::string Stereo16(int64_t pFrames, Left pLeft, Right pRight)
{
    std::vector<int16_t> samples;
    samples.reserve(static_cast<size_t>(pFrames) * 2);
    for (int64_t f = 0; f < pFrames; ++f) {
        samples.push_back(static_cast<int16_t>(pLeft(f)));
        samples.push_back(static_cast<int16_t>(pRight(f)));
    }
    return Samples16(samples);
}

/// True when the sox program can be run.
bool HaveSox();

} // namespace tarvok::test
