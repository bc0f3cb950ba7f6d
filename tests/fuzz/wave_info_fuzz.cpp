// Feeds arbitrary bytes to the WAV reader as a file: the summary must come back without a
// crash, a hang or a read outside the file, and must be consistent with itself.
#include "core/wave_info.h"

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
        gPath = gDir + "/input.wav";
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
    WriteInput(pData, pSize);
    const std::string& path = InputPath();
    tarvok::WaveInfo info = tarvok::ReadWaveInfo(path);
    if (info.Valid == 1) {
        Check(info.FileSize == static_cast<int64_t>(pSize));
        Check(info.BlockAlign > 0 && info.SampleRate > 0);
        Check(info.FormatMode >= 0 && info.FormatMode < tarvok::kFormatModeCount);
        Check(info.DataOffset >= 20 && info.DataOffset <= static_cast<int64_t>(pSize));
        Check(info.Frames >= 0 && info.LengthMs >= 0);
        Check(info.DataSize >= 0 && info.DataSize <= 0xFFFFFFFFLL);
        Check(tarvok::FindChunk(path, "data") + 8 == info.DataOffset);
    } else {
        Check(info.Frames == 0);
    }
    int64_t fmt = tarvok::FindChunk(path, "fmt ");
    Check(fmt == -1 || (fmt >= 12 && fmt + 4 <= static_cast<int64_t>(pSize)));
    (void)tarvok::WaveFileType(path);
    (void)tarvok::IsPcmWave(path, true);
    return 0;
}
