#pragma once

#include "render/audio_file_encoder.h"

namespace tarvok {

/// The AudioFileEncoder over the FFmpeg libraries: FLAC in its own container through
/// FFmpeg's FLAC encoder, Opus in Ogg through libopus. The muxer writes through a custom
/// I/O context into the file layer's handle (WriteAt), so a full disk is seen as such and
/// the file layer's fault seam covers these writes too.
class FfmpegAudioEncoder : public AudioFileEncoder {
public:
    FfmpegAudioEncoder();
    bool Available(AudioCodec pCodec) const override;
    Status Encode(AudioCodec pCodec, int32_t pKbps, std::string_view pSource, FileHandle& pOut,
        const Progress& pProgress) override;
};

} // namespace tarvok
