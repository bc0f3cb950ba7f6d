#include "core/project.h"
#include "core/wave_info.h"

namespace tarvok {

int32_t Project::AddWaveFile(std::string_view pPath)
{
    WaveInfo info = ReadWaveInfo(pPath);
    if (info.Valid == 0)
        return -1;
    return AddWaveFileEntry(pPath, info.DataOffset, info.Frames);
}

} // namespace tarvok
