// tarvok2-ffmpeg.so: the decoder and the FLAC/Opus file encoder over FFmpeg.
// The loader calls the entry below once it has opened the module.
#include "platform/ffmpeg/ffmpeg_audio_encoder.h"
#include "platform/ffmpeg/ffmpeg_media_backend.h"
#include "platform/loader/adapter_module.h"

TARVOK_ADAPTER_MODULE_ENTRY
{
    static const tarvok::AdapterModule kModule = [] {
        tarvok::AdapterModule module;
        module.NewMediaBackend = []() -> std::unique_ptr<tarvok::MediaBackend> {
            return std::make_unique<tarvok::FfmpegMediaBackend>();
        };
        module.NewAudioFileEncoder = []() -> std::unique_ptr<tarvok::AudioFileEncoder> {
            return std::make_unique<tarvok::FfmpegAudioEncoder>();
        };
        return module;
    }();
    return &kModule;
}
