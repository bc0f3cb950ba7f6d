// Feeds arbitrary bytes to the MPEG header reader as an ".mp3" file: the summary must come
// back without a crash, a hang or a read outside the file, and must be consistent with itself.
#include "decode/mpeg_info.h"
#include "fuzz_input.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using tarvok::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t pSize)
{
    const std::string path = tarvok::fuzz::WriteInput("input.mp3", pData, pSize);
    tarvok::MpegInfo info;
    if (!tarvok::ReadMpegInfo(path, info))
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
