#include "engine/wave_device.h"

namespace tarvok {

std::string CommonWaveErrorText(WaveResult pResult)
{
    switch (pResult) {
    case kWaveOk:
        return {};
    case kWaveErrBadDevice:
        return "The specified device ID is out of range.";
    case kWaveErrBadHandle:
        return "The specified device handle is invalid.";
    case kWaveErrNoMemory:
        return "Unable to allocate or lock memory.";
    case kWaveErrBadFormat:
        return "An attempt was made to open a device with an unsupported format.";
    case kWaveErrStillPlaying:
        return "There are still buffers in the queue.";
    case kWaveErrUnprepared:
        return "The buffer is not prepared.";
    default:
        return "An unspecified error occurred in the sound device.";
    }
}

} // namespace tarvok
