#pragma once

#include "base/progress.h"
#include "base/result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok {

class FileHandle;

/// The compressed file types a mixdown can write besides WAV and MP3.
enum class AudioCodec {
    Flac, ///< lossless, 16 or 24 bits, any rate
    Opus, ///< Ogg Opus, 16 bits, 8000/12000/16000/24000/48000 Hz, 6..510 kbps
};

/// The rates an Opus stream can carry.
inline constexpr int32_t kOpusRates[] = { 48000, 24000, 16000, 12000, 8000 };
inline constexpr int32_t kOpusMinKbps = 6;
inline constexpr int32_t kOpusMaxKbps = 510;

/// The codec a target path asks for by its extension (".flac", ".opus"), if any.
std::optional<AudioCodec> CodecOfPath(std::string_view pPath);

/// "FLAC" or "Opus", for messages.
std::string_view CodecName(AudioCodec pCodec);

/// Why the codec cannot write this output (rate, bits, channels, kbps for Opus), in the
/// program's language; empty when it can.
std::string CodecFormatProblem(
    AudioCodec pCodec, int32_t pRate, int32_t pBits, int32_t pChannels, int32_t pKbps);

/// An encoder of PCM WAV files into compressed files that the platform provides (an
/// adapter implements it); without one those outputs are not offered.
class AudioFileEncoder {
public:
    virtual ~AudioFileEncoder() = default;
    virtual bool Available(AudioCodec pCodec) const = 0;
    /// Encodes the PCM WAV file pSource (8, 16 or 24 bits, mono or stereo) into pOut, an
    /// open, empty file, writing through the file layer's primitives. pProgress receives
    /// the fraction done; a stop fails with ErrorCode::Cancelled. The failure's message
    /// names the cause (a full disk as such, with ErrorCode::DiskFull).
    virtual Status Encode(AudioCodec pCodec, int32_t pKbps, std::string_view pSource,
        FileHandle& pOut, const Progress& pProgress)
        = 0;
};

/// Encodes pSource into pTarget through a temporary sibling that replaces the target only
/// when complete (ReplaceFile), so a failure or a cancel leaves an old target as it was
/// and no partial file. A cancel fails with ErrorCode::Cancelled.
Status EncodeFileInPlace(AudioFileEncoder& pEncoder, AudioCodec pCodec, int32_t pKbps,
    std::string_view pSource, std::string_view pTarget, const Progress& pProgress);

} // namespace tarvok
