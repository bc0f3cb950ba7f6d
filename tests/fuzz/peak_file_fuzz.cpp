// Feeds arbitrary bytes to the peak-file reader for a wave file whose peak count comes from
// the input. A file of the wrong size is stale and leaves the peaks as they were; one of the
// right size loads exactly its bytes.
#include "core/peaks.h"
#include "core/project.h"
#include "fuzz_input.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t pSize)
{
    if (pSize < 2)
        return 0;
    const std::string path = tarvok::fuzz::WriteInput("input.wwf", pData + 2, pSize - 2);
    tarvok::Project project;
    project.SetTrackCount(1);
    // A wave file whose peak count is the file's own count of entries or one near it.
    const int32_t count
        = static_cast<int32_t>((pSize - 2) / 2) + static_cast<int8_t>(pData[0] % 3) - 1;
    const int32_t wave = project.AddWaveFileEntry(tarvok::fuzz::Folder() + "none.wav", 44, 1);
    if (wave < 0 || count < 0)
        return 0;
    project.WaveFiles[wave].PeakCount = count;
    project.Peaks[wave].assign(static_cast<size_t>(count) * 2, 0x55);
    const auto before = project.Peaks[wave];
    const bool current = tarvok::IsPeakFileCurrent(path, project.WaveFiles[wave].PeakCount);
    const bool loaded = tarvok::LoadPeaks(project, wave, path);
    tarvok::fuzz::Check(!loaded || current);
    if (!loaded)
        tarvok::fuzz::Check(project.Peaks[wave] == before);
    else
        tarvok::fuzz::Check(project.Peaks[wave].size() == pSize - 2
            && std::memcmp(project.Peaks[wave].data(), pData + 2, pSize - 2) == 0);
    return 0;
}
