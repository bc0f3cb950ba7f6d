#pragma once

#include "base/result.h"
#include "decode/sound_decoder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class ErrorLog;
class UserInterface;

/// How a media backend is asked to read a file: as a given container, or by probing it.
enum class MediaContainer {
    Auto, ///< let the backend recognise the file
    MpegAudio, ///< an MPEG audio elementary stream (Layers I to III)
    MpegSystem, ///< an MPEG-1/2 system (program) stream with audio
    Riff, ///< a RIFF/WAVE file, whatever its format tag
    Aiff,
    Asf, ///< Windows Media (ASF) audio or video
};

/// A short name for log lines ("auto", "mpegaudio", ...).
std::string_view MediaContainerName(MediaContainer pContainer);

/// The decoded stream's output format: 16-bit interleaved at the stream's own rate, 1 or 2
/// channels (a stream with more channels is delivered down-mixed to stereo).
struct MediaStreamFormat {
    int32_t SampleRate = 0;
    int32_t Channels = 0;
};

enum class MediaReadStatus {
    Data, ///< Frames frames at Samples
    Pending, ///< work was done (input read) but no samples came out yet
    End, ///< the stream is finished
    Error, ///< decoding cannot go on; Error says why
};

/// One step of decoding. Samples stay valid until the next Read of the same source.
struct MediaChunk {
    MediaReadStatus Status = MediaReadStatus::End;
    const int16_t* Samples = nullptr;
    int64_t Frames = 0;
    std::string Error;
};

/// One opened, decodable audio stream of a file.
class MediaSource {
public:
    virtual ~MediaSource() = default;
    virtual MediaStreamFormat Format() const = 0;
    /// Does a bounded amount of work (about one packet of input) and returns what it gave.
    virtual MediaChunk Read() = 0;
    /// How far decoding has got through the input, from 0 to 1.
    virtual double Position() const = 0;
};

/// The media library behind compressed-audio decoding. Implemented by a platform adapter;
/// nothing it reports escapes as an exception.
class MediaBackend {
public:
    virtual ~MediaBackend() = default;
    /// Opens the best audio stream of pPath read as pContainer; an Error with a readable
    /// reason when the file cannot be read that way or holds no decodable audio.
    virtual Result<std::unique_ptr<MediaSource>> Open(
        const std::string& pPath, MediaContainer pContainer)
        = 0;
};

/// Bounds that end a decode which would never finish.
struct DecodeLimits {
    /// Largest data chunk: what a WAV header can describe, whole stereo frames.
    int64_t MaxDataBytes = 4294967256;
    /// Consecutive reads that give no samples while the input position stands still.
    int32_t MaxIdleReads = 10000;
};

/// What a decode needs besides the file names.
struct DecodeEnvironment {
    std::string DataFolder; ///< where "~strip.mp3" is made; ends in "/"
    ErrorLog* Log = nullptr; ///< failures are written here (isError, force) when given
    DecodeLimits Limits;
};

/// The containers to try for a file, in order; the last is always Auto. pPath's RIFF format
/// tag (80, 85, 352, 353) or its extension decides.
std::vector<MediaContainer> DecodeRoute(std::string_view pPath);

/// Decodes pSource into a complete 16-bit PCM WAV file (format tag 1, mono or stereo, the
/// stream's own rate) at pTarget, or leaves no file there. An ".mp3" source is first checked
/// for an MPEG frame header and any data before the first frame is cut off through
/// "~strip.mp3" in the data folder. Shows "デコード中…" with the progress of the real
/// decoding position, reports failures in message boxes and the error log, and stops when
/// pCancel becomes true. The output is written under a temporary name beside pTarget and
/// renamed into place when complete. Returns true when pTarget holds the decoded file.
bool DecodeSoundFile(const std::string& pSource, const std::string& pTarget, MediaBackend& pBackend,
    const DecodeEnvironment& pEnv, UserInterface& pUi, bool& pCancel);

/// The import's SoundDecoder over a MediaBackend. The data folder and the error log are
/// asked for at each decode, since both are set up (and may be replaced) after wiring.
class MediaSoundDecoder : public SoundDecoder {
public:
    MediaSoundDecoder(MediaBackend& pBackend, std::function<std::string()> pDataFolder,
        std::function<ErrorLog*()> pLog, DecodeLimits pLimits = {});

    bool Decode(const std::string& pSource, const std::string& pTarget, UserInterface& pUi,
        bool& pCancel) override;
    /// True when the backend finds a decodable audio stream in the file by its content.
    bool Recognises(const std::string& pSource) override;

private:
    MediaBackend& backend_;
    std::function<std::string()> dataFolder_;
    std::function<ErrorLog*()> log_;
    DecodeLimits limits_;
};

} // namespace tarvok
