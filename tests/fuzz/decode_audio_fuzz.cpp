// Feeds arbitrary bytes through the whole decode path (MPEG header check, strip file, the
// FFmpeg backend, the WAV writer) under a file name whose extension the first byte picks.
// Afterwards there must be a PCM WAV file at the target when the decode succeeded, nothing
// there when it failed, and never a leftover temporary or strip file.
#include "app/headless_ui.h"
#include "core/file_io.h"
#include "core/wave_info.h"
#include "decode/decode_audio.h"
#include "platform/ffmpeg/ffmpeg_media_backend.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string gDir;
std::string gPath;

void RemoveInput()
{
    ::unlink(gPath.c_str());
    ::rmdir(gDir.c_str());
}

const std::string& InputPath()
{
    if (gPath.empty()) {
        char pattern[] = "/tmp/tarvok-fuzz-XXXXXX";
        const char* dir = ::mkdtemp(pattern);
        if (dir == nullptr)
            std::abort();
        gDir = dir;
        gPath = gDir + "/input";
        std::atexit(RemoveInput);
    }
    return gPath;
}

void WriteInput(const uint8_t* pData, size_t pSize)
{
    int fd = ::open(InputPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    size_t done = 0;
    while (done < pSize) {
        ssize_t n = ::write(fd, pData + done, pSize - done);
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

void Check(bool pCondition)
{
    if (!pCondition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t pSize)
{
    static const std::array<const char*, 8> kExtensions
        = { ".mp3", ".mp2", ".wma", ".wmv", ".aiff", ".wav", ".mpg", ".bin" };
    static tarvok::FfmpegMediaBackend backend;
    if (pSize == 0)
        return 0;
    WriteInput(pData + 1, pSize - 1);
    const std::string source = InputPath() + kExtensions[pData[0] % kExtensions.size()];
    if (::rename(InputPath().c_str(), source.c_str()) != 0)
        std::abort();
    tarvok::HeadlessUi ui;
    tarvok::DecodeEnvironment env;
    env.DataFolder = gDir + "/";
    env.Limits.MaxDataBytes = 64 << 20;
    env.Limits.MaxIdleReads = 1000;
    const std::string target = gDir + "/out.wav";
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
