#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvok {

/// Result of a wave-device call: 0 is success, anything else an error whose text the
/// service gives through ErrorText.
using WaveResult = int32_t;
inline constexpr WaveResult kWaveOk = 0;
inline constexpr WaveResult kWaveErrBadDevice = 2; ///< no device with this ID
inline constexpr WaveResult kWaveErrNoMemory = 7;
inline constexpr WaveResult kWaveErrBadHandle = 5; ///< the handle is not open
inline constexpr WaveResult kWaveErrBadFormat = 32; ///< the device cannot take this format
inline constexpr WaveResult kWaveErrStillPlaying = 33; ///< the buffer is still queued
inline constexpr WaveResult kWaveErrUnprepared = 34; ///< the buffer was not prepared
inline constexpr WaveResult kWaveErrFailed = 1; ///< any other failure of the backend

/// An open device; values below 0 are no handle.
using WaveHandle = int32_t;
inline constexpr WaveHandle kNoWaveHandle = -1;

/// Header flag bits.
inline constexpr uint32_t kHeaderDone
    = 1; ///< set by the device once the buffer is played or recorded
inline constexpr uint32_t kHeaderPrepared = 2;
inline constexpr uint32_t kHeaderQueued = 16;

/// One buffer handed to a device. The caller owns the header and the samples and keeps
/// both in place from Write/AddBuffer until the device has set kHeaderDone (or a Reset).
/// Flags and BytesRecorded are written by the device, possibly from its own thread.
struct WaveHeader {
    uint8_t* Data = nullptr;
    uint32_t Length = 0; ///< bytes to play, or room to record into
    std::atomic<uint32_t> BytesRecorded { 0 }; ///< bytes recorded into Data (input)
    std::atomic<uint32_t> Flags { 0 };

    bool IsDone() const { return (Flags.load(std::memory_order_acquire) & kHeaderDone) != 0; }

    // The flag bookkeeping every device shares.

    /// Prepare: marks the header usable with the device.
    void MarkPrepared() { Flags.fetch_or(kHeaderPrepared); }
    /// The checks of Write and AddBuffer: unprepared and still queued headers are refused.
    WaveResult CheckQueueable() const
    {
        const uint32_t flags = Flags.load(std::memory_order_acquire);
        if (!(flags & kHeaderPrepared))
            return kWaveErrUnprepared;
        return (flags & kHeaderQueued) ? kWaveErrStillPlaying : kWaveOk;
    }
    /// Hands the header to a device: queued, not done.
    void MarkQueued()
    {
        Flags.store((Flags.load(std::memory_order_relaxed) | kHeaderQueued) & ~kHeaderDone,
            std::memory_order_release);
    }
    /// Played or recorded, and no longer queued, in one store.
    void MarkDone()
    {
        Flags.store((Flags.load(std::memory_order_relaxed) | kHeaderDone) & ~kHeaderQueued,
            std::memory_order_release);
    }
    /// Unprepare: refused while the header is queued.
    WaveResult Unprepare()
    {
        if (Flags.load(std::memory_order_acquire) & kHeaderQueued)
            return kWaveErrStillPlaying;
        Flags.fetch_and(~kHeaderPrepared);
        return kWaveOk;
    }
};

/// The project's sound format: signed 16-bit PCM, two channels, left first.
struct WaveFormat {
    int32_t SampleRate = 44100;
    int32_t Channels = 2;
    int32_t Bits = 16;
    int32_t FrameBytes() const { return Channels * Bits / 8; }
};

/// A device as listed: its ID (index into the list; 0 is the system default), its name and
/// the sound system it belongs to (PortAudio's host API: "ALSA", "JACK Audio Connection Kit";
/// empty for devices of no particular system). The ID is only a place in today's list: a
/// device that appears before it (a sound server starting, a USB interface plugged in)
/// moves it, while the host API and the name stay.
struct WaveDeviceInfo {
    WaveDeviceInfo() = default;
    WaveDeviceInfo(int32_t pId, std::string pName, std::string pHostApi = {})
        : Id(pId)
        , Name(std::move(pName))
        , HostApi(std::move(pHostApi))
    {
    }

    int32_t Id = 0;
    std::string Name;
    std::string HostApi;
};

/// A device remembered by what it is rather than by where it is listed. Empty when nothing
/// is remembered (a slot kept by its number alone, as older settings hold it).
struct WaveDeviceRef {
    std::string HostApi;
    std::string Name;

    bool Empty() const { return Name.empty() && HostApi.empty(); }
    bool operator==(const WaveDeviceRef&) const = default;
};

/// The reference to a listed device.
WaveDeviceRef RefOf(const WaveDeviceInfo& pDevice);
/// The ID of the device pRef names in pDevices, or -1 when none is listed. When several
/// listed devices share the host API and name, the one whose ID is pHint is taken, and
/// otherwise the first of them.
int32_t FindDevice(
    const WaveDeviceRef& pRef, int32_t pHint, const std::vector<WaveDeviceInfo>& pDevices);
/// The device as the user reads it: "ALSA: pulse", or the name alone without a host API.
std::string DeviceDisplayName(const WaveDeviceRef& pRef);
/// The ID of the listed device a user's text names: a number is an ID of the list; "ALSA:
/// pulse" or "ALSA|pulse" a host API and name; anything else a name (the first device of
/// that name). Nothing when no listed device answers to it.
std::optional<int32_t> DeviceIdFromText(
    const std::string& pText, const std::vector<WaveDeviceInfo>& pDevices);
/// The stored form of a reference, "HostApi|Name" (empty for an empty reference), and back;
/// host API names carry no "|", so the name may.
std::string DeviceRefText(const WaveDeviceRef& pRef);
WaveDeviceRef ParseDeviceRef(const std::string& pText);

/// The playback side of the platform's wave service, polled from the user-interface
/// thread. Buffers written to an open device play back to back in the order written;
/// the device sets kHeaderDone on each once it has been played. The byte position counts
/// what has been played since the open or the last Reset.
class WaveOutService {
public:
    virtual ~WaveOutService() = default;

    /// Devices that can play two channels; ID 0 is the system default.
    virtual std::vector<WaveDeviceInfo> Devices() = 0;
    /// Opens device pDeviceId in pFormat; on success pHandle is the new handle.
    virtual WaveResult Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle) = 0;
    virtual WaveResult Prepare(WaveHandle pHandle, WaveHeader& pHeader) = 0;
    /// Queues a prepared buffer after those already queued; clears its done flag.
    virtual WaveResult Write(WaveHandle pHandle, WaveHeader& pHeader) = 0;
    virtual WaveResult Unprepare(WaveHandle pHandle, WaveHeader& pHeader) = 0;
    /// Bytes played since the open or the last Reset (wraps at 2^32).
    virtual WaveResult GetPosition(WaveHandle pHandle, uint32_t& pBytes) = 0;
    virtual WaveResult Pause(WaveHandle pHandle) = 0;
    virtual WaveResult Restart(WaveHandle pHandle) = 0;
    /// Stops at once, marks every queued buffer done and sets the position back to 0.
    virtual WaveResult Reset(WaveHandle pHandle) = 0;
    /// Closes the handle; every buffer must be done.
    virtual WaveResult Close(WaveHandle pHandle) = 0;
    /// The text of a nonzero result (at most 200 characters).
    virtual std::string ErrorText(WaveResult pResult) = 0;
    /// The output latency the device reports for an open handle, in seconds: how long a
    /// frame handed over takes to be heard. 0 when the device does not say.
    virtual double LatencySeconds(WaveHandle pHandle)
    {
        (void)pHandle;
        return 0;
    }
};

/// The recording side: buffers added to an open device are filled in the order added;
/// the device sets BytesRecorded and kHeaderDone on each once it is full (or at Reset).
class WaveInService {
public:
    virtual ~WaveInService() = default;

    /// Devices that can record two channels; ID 0 is the system default.
    virtual std::vector<WaveDeviceInfo> Devices() = 0;
    virtual WaveResult Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle) = 0;
    virtual WaveResult Prepare(WaveHandle pHandle, WaveHeader& pHeader) = 0;
    /// Queues a prepared buffer to be filled; clears its done flag and BytesRecorded.
    virtual WaveResult AddBuffer(WaveHandle pHandle, WaveHeader& pHeader) = 0;
    virtual WaveResult Unprepare(WaveHandle pHandle, WaveHeader& pHeader) = 0;
    virtual WaveResult Start(WaveHandle pHandle) = 0;
    virtual WaveResult Stop(WaveHandle pHandle) = 0;
    /// Bytes recorded since the open or the last Reset (wraps at 2^32).
    virtual WaveResult GetPosition(WaveHandle pHandle, uint32_t& pBytes) = 0;
    /// Stops, marks every queued buffer done and sets the position back to 0.
    virtual WaveResult Reset(WaveHandle pHandle) = 0;
    virtual WaveResult Close(WaveHandle pHandle) = 0;
    virtual std::string ErrorText(WaveResult pResult) = 0;
    /// The input latency the device reports for an open handle, in seconds: how long ago a
    /// frame delivered now entered the input. 0 when the device does not say.
    virtual double LatencySeconds(WaveHandle pHandle)
    {
        (void)pHandle;
        return 0;
    }
    /// Frames recorded by now, for lining the input up with what plays: the count of the
    /// latest delivery run on with the clock since it came, where the device can say when
    /// that was; else the position. GetPosition stays the count delivered.
    virtual double ClockFrames(WaveHandle pHandle)
    {
        uint32_t bytes = 0;
        if (GetPosition(pHandle, bytes) != kWaveOk)
            return 0.0;
        const uint32_t frames = bytes / 4; // whole 16-bit stereo frames
        return static_cast<double>(frames);
    }
};

/// The text for a result code shared by every service; empty for 0.
std::string CommonWaveErrorText(WaveResult pResult);

} // namespace tarvok
