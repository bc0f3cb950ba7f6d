#pragma once

#include "decode/decode_audio.h"

namespace tarvok {

/// The MediaBackend over the FFmpeg libraries: opens the best audio stream of a file (audio
/// files and video containers alike), decodes it and delivers 16-bit interleaved samples at
/// the stream's own rate, mono or stereo (more channels down-mixed by libswresample's
/// standard matrix). Library errors become Error values or MediaReadStatus::Error; nothing
/// throws. Constructing it silences the libraries' own console log (a process-wide setting).
class FfmpegMediaBackend : public MediaBackend {
public:
    FfmpegMediaBackend();
    Result<std::unique_ptr<MediaSource>> Open(
        const std::string& pPath, MediaContainer pContainer) override;
};

} // namespace tarvok
