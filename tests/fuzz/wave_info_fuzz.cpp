// Feeds arbitrary bytes to the WAV reader as a file: the summary must come back without a
// crash, a hang or a read outside the file, and must be consistent with itself.
#include "core/wave_info.h"
#include "fuzz_input.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using tarvok::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t pSize)
{
    const std::string path = tarvok::fuzz::WriteInput("input.wav", pData, pSize);
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
