// Feeds arbitrary bytes through the whole decode path (MPEG header check, strip file, the
// FFmpeg backend, the WAV writer) under a file name whose extension the first byte picks.
// Afterwards there must be a PCM WAV file at the target when the decode succeeded, nothing
// there when it failed, and never a leftover temporary or strip file.
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/wave_info.h"
#include "decode/decode_audio.h"
#include "fuzz_input.h"
#include "platform/ffmpeg/ffmpeg_media_backend.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

using tarvok::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t pSize)
{
    static const std::array<const char*, 8> kExtensions
        = { ".mp3", ".mp2", ".wma", ".wmv", ".aiff", ".wav", ".mpg", ".bin" };
    static tarvok::FfmpegMediaBackend backend;
    if (pSize == 0)
        return 0;
    const std::string source = tarvok::fuzz::WriteInput(
        std::string("input") + kExtensions[pData[0] % kExtensions.size()], pData + 1, pSize - 1);
    tarvok::HeadlessUi ui;
    tarvok::DecodeEnvironment env;
    env.DataFolder = tarvok::fuzz::Folder();
    env.Limits.MaxDataBytes = 64 << 20;
    env.Limits.MaxIdleReads = 1000;
    const std::string target = tarvok::fuzz::Folder() + "out.wav";
    bool cancel = false;
    const bool ok = tarvok::DecodeSoundFile(source, target, backend, env, ui, cancel);
    Check(ok == tarvok::FileExists(target));
    if (ok)
        Check(tarvok::IsPcmWave(target, false));
    Check(!tarvok::FileExists(target + ".part"));
    Check(!tarvok::FileExists(env.DataFolder + "~strip.mp3"));
    ::unlink(target.c_str());
    ::unlink(source.c_str());
    return 0;
}
