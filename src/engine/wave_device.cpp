#include "engine/wave_device.h"

#include <charconv>

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

WaveDeviceRef RefOf(const WaveDeviceInfo& pDevice) { return { pDevice.HostApi, pDevice.Name }; }

int32_t FindDevice(
    const WaveDeviceRef& pRef, int32_t pHint, const std::vector<WaveDeviceInfo>& pDevices)
{
    int32_t found = -1;
    for (const WaveDeviceInfo& d : pDevices) {
        if (d.Name != pRef.Name || d.HostApi != pRef.HostApi)
            continue;
        if (d.Id == pHint)
            return d.Id;
        if (found < 0)
            found = d.Id;
    }
    return found;
}

std::string DeviceDisplayName(const WaveDeviceRef& pRef)
{
    return pRef.HostApi.empty() ? pRef.Name : pRef.HostApi + ": " + pRef.Name;
}

std::optional<int32_t> DeviceIdFromText(
    const std::string& pText, const std::vector<WaveDeviceInfo>& pDevices)
{
    if (!pText.empty() && pText.find_first_not_of("0123456789") == std::string::npos) {
        int64_t id = -1;
        std::from_chars(pText.data(), pText.data() + pText.size(), id);
        for (const WaveDeviceInfo& d : pDevices)
            if (d.Id == id)
                return d.Id;
        return std::nullopt;
    }
    // The host API's form first: a bare name may be listed under several host APIs.
    for (const WaveDeviceInfo& d : pDevices)
        if (!d.HostApi.empty()
            && (pText == DeviceDisplayName(RefOf(d)) || pText == DeviceRefText(RefOf(d))))
            return d.Id;
    for (const WaveDeviceInfo& d : pDevices)
        if (d.Name == pText)
            return d.Id;
    return std::nullopt;
}

std::string DeviceRefText(const WaveDeviceRef& pRef)
{
    return pRef.Empty() ? std::string() : pRef.HostApi + "|" + pRef.Name;
}

WaveDeviceRef ParseDeviceRef(const std::string& pText)
{
    const size_t bar = pText.find('|');
    if (bar == std::string::npos)
        return { {}, pText };
    return { pText.substr(0, bar), pText.substr(bar + 1) };
}

} // namespace tarvok
