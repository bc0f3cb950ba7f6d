#pragma once

#include "base/progress.h"
#include "base/result.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace tarvok {

class UserInterface;

/// Bit rates offered for MP3 output, in list order (kbps).
inline constexpr std::array<int32_t, 15> kMp3BitRates { 320, 256, 224, 192, 160, 128, 112, 96, 80,
    64, 56, 48, 40, 32, 24 };
/// Frames read and encoded per chunk.
inline constexpr int32_t kMp3ChunkFrames = 442368;

/// One open MP3 encoding stream of 16-bit PCM.
class Mp3Stream {
public:
    virtual ~Mp3Stream() = default;
    /// Encodes pFrames interleaved frames and appends the bytes produced to pOut; the
    /// encoder keeps partial MP3 frames for the next call. False on failure.
    virtual bool Encode(const int16_t* pSamples, int32_t pFrames, std::vector<uint8_t>& pOut) = 0;
    /// Encodes what is left and appends the last bytes to pOut.
    virtual bool Finish(std::vector<uint8_t>& pOut) = 0;
};

/// The MP3 encoder the platform provides. An adapter implements it; without one the
/// program offers no MP3 output.
class Mp3Encoder {
public:
    virtual ~Mp3Encoder() = default;
    /// True when an encoder is present and usable.
    virtual bool EncAvailable() const = 0;
    /// True when the encoder writes exactly this rate, channel count and bit rate, without
    /// resampling or changing the bit rate.
    virtual bool Accepts(int32_t pRate, int32_t pChannels, int32_t pKbps) = 0;
    /// Opens a stream of 16-bit PCM at this rate and channel count; null when refused.
    virtual std::unique_ptr<Mp3Stream> Open(int32_t pRate, int32_t pChannels, int32_t pKbps) = 0;
};

/// The bit rates of kMp3BitRates, in that order, that pEncoder accepts for 16-bit PCM of
/// pChannels (1 or 2) channels at pRate. Empty without an encoder, for other bit depths
/// and other channel counts.
std::vector<int32_t> Mp3BitRates(
    Mp3Encoder* pEncoder, int32_t pRate, int32_t pChannels, int32_t pBits);

/// The bit rates for output format index pMode (2 "Mono16bit", 3 "Stereo16bit"; any other
/// index gives an empty list) at pFreq.
std::vector<int32_t> LoadBitRateList(Mp3Encoder* pEncoder, int32_t pFreq, int32_t pMode);

/// The entry to select in a bit-rate list: pDefault when it is listed, else the first
/// entry, else 0 for an empty list.
int32_t ChooseBitRate(const std::vector<int32_t>& pList, int32_t pDefault);

/// Encodes a 16-bit mono or stereo PCM WAV file into raw MP3 frames at pTargetFN, in chunks
/// of kMp3ChunkFrames with a progress call (0..1) before each; a stop fails with
/// ErrorCode::Cancelled. The MP3 is written under a temporary name beside the target and
/// renamed over it only when every frame was encoded, so a failure or a cancel leaves any old
/// target as it was and no partial file; a failed write carries the file layer's cause
/// (ErrorCode::DiskFull for a full disk). pUi (may be null) is yielded to around every
/// progress call.
Status EncFromWavfile(Mp3Encoder* pEncoder, std::string_view pSourceFN, std::string_view pTargetFN,
    int32_t pBitrate, const Progress& pProgress, UserInterface* pUi = nullptr);

} // namespace tarvok
