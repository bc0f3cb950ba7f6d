// tarvok-decode SOURCE TARGET: decodes one sound file into a 16-bit PCM WAV file exactly as
// the import does (FFmpeg backend, "~strip.mp3" beside the target). Exit status 0 on success.
#include "base/file_name.h"
#include "core/headless_ui.h"
#include "decode/decode_audio.h"
#include "platform/ffmpeg/ffmpeg_media_backend.h"

#include <iostream>

int main(int pArgc, char** pArgv)
{
    if (pArgc != 3) {
        std::cerr << "usage: tarvok-decode SOURCE TARGET\n";
        return 2;
    }
    std::string source = pArgv[1];
    std::string target = pArgv[2];
    tarvok::HeadlessUi ui;
    ui.SetBoxSink([](std::string_view pText, tarvok::MsgIcon) {
        std::cerr << "tarvok-decode: " << pText << "\n";
    });
    tarvok::FfmpegMediaBackend backend;
    tarvok::DecodeEnvironment env;
    env.DataFolder = tarvok::FolderOf(target);
    if (env.DataFolder.empty())
        env.DataFolder = "./";
    bool cancel = false;
    return tarvok::DecodeSoundFile(source, target, backend, env, ui, cancel) ? 0 : 1;
}
