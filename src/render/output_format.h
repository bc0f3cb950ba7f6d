#pragma once

#include "render/audio_file_encoder.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarvok {

/// The kinds of output a mixdown writes.
enum class OutputKind { Wav, Mp3, Flac, Opus, CdFolder };

/// One output format: what a mixdown needs to know to offer it, check a request against it
/// and name its file. A new format is one more row of OutputFormats.
struct OutputFormatInfo {
    OutputKind Kind;
    std::string_view Name; ///< for messages: "WAV", "MP3", "FLAC", "Opus", "CD"
    std::string_view Extension; ///< of its files, without the dot
    int32_t MinRate; ///< Hz
    int32_t MaxRate; ///< Hz
    int32_t MaxChannels;
    int32_t MinKbps; ///< the bit-rate box applies when MaxKbps > 0
    int32_t MaxKbps;
    /// The file encoder's codec (FLAC, Opus); none for WAV, for MP3 (its own encoder) and for
    /// the CD folder (WAV files).
    std::optional<AudioCodec> Codec;
    /// True when the target is chosen by its file name (not the CD folder's next track).
    bool NamedByPath;
};

/// Every output format, one row each: WAV, MP3, FLAC, Opus and the CD folder.
std::span<const OutputFormatInfo> OutputFormats();

/// The row of pKind.
const OutputFormatInfo& OutputFormatOf(OutputKind pKind);

/// The format a target path asks for by its extension (any case), among the formats named by
/// path; null for an extension no row has.
const OutputFormatInfo* OutputFormatOfPath(std::string_view pPath);

/// The one place a target's extension is decided: pPath with its extension (if any) replaced
/// by pKind's ("a/song.wav" -> "a/song.mp3"). A blank path stays as it is.
std::string WithOutputExtension(std::string_view pPath, OutputKind pKind);

/// pPath with pKind's extension appended unless it already ends in it (as a file chooser
/// returns a name typed without one).
std::string EnsureOutputExtension(std::string_view pPath, OutputKind pKind);

} // namespace tarvok
