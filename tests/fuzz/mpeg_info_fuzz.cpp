// Feeds arbitrary bytes to the MPEG header reader as an ".mp3" file: the summary must come
// back without a crash, a hang or a read outside the file, and must be consistent with itself.
#include "decode/mpeg_info.h"

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
        gPath = gDir + "/input.mp3";
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
    tarvok::MpegInfo info;
    if (!tarvok::ReadMpegInfo(InputPath(), info))
        return 0;
    const int64_t size = static_cast<int64_t>(pSize);
    Check(info.FileBytes == size);
    Check(info.FirstPos >= 1 && info.FirstPos <= size);
    Check(info.AudioBytes >= 1 && info.LastPos == info.AudioBytes + info.FirstPos - 1);
    Check(info.LastPos <= size);
    Check(info.Layer >= 1 && info.Layer <= 3);
    Check(info.Lsf == 0 || info.Lsf == 1);
    Check(info.Rate == 44100 || info.Rate == 48000 || info.Rate == 32000 || info.Rate == 22050
        || info.Rate == 24000 || info.Rate == 16000);
    Check(info.BitRate >= 0 && info.DurationMs >= 0);
    Check(info.Channels == (info.ChannelMode == 3 ? 1 : 2));
    Check(pData[info.FirstPos - 1] == 0xFF && pData[info.FirstPos] == info.HeaderB1);
    return 0;
}
