#pragma once

#include "engine/wave_device.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// A wave-out service whose clock is driven by the caller: nothing plays until
/// AdvanceFrames, which consumes queued buffers on every running handle and records each
/// played frame in memory. Used by tests and benchmarks to run the engine exactly and
/// repeatably. Single-threaded.
class VirtualWaveOut : public WaveOutService {
public:
    /// What one device has played over all its opens.
    struct DeviceLog {
        std::vector<int16_t> Samples; ///< every played frame, left and right
        int64_t UnderrunFrames = 0; ///< frames of clock that found nothing queued after a write
        int32_t Opens = 0;
        int32_t BuffersPlayed = 0;
    };

    explicit VirtualWaveOut(int32_t pDeviceCount = 2);

    /// Moves the clock of every open, running handle on by pFrames frames.
    void AdvanceFrames(int64_t pFrames);
    /// Makes the next opens of a device fail with pResult (kWaveOk to let them succeed).
    void FailOpen(int32_t pDeviceId, WaveResult pResult) { failOpen_[pDeviceId] = pResult; }

    const DeviceLog& Log(int32_t pDeviceId) { return logs_[pDeviceId]; }
    void ClearLogs() { logs_.clear(); }
    /// Handles open now.
    int32_t OpenCount() const;
    /// Buffers queued on the open handle of a device (0 when it is not open).
    int32_t QueuedOn(int32_t pDeviceId) const;
    bool IsPaused(int32_t pDeviceId) const;

    std::vector<WaveDeviceInfo> Devices() override;
    WaveResult Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle) override;
    WaveResult Prepare(WaveHandle pHandle, WaveHeader& pHeader) override;
    WaveResult Write(WaveHandle pHandle, WaveHeader& pHeader) override;
    WaveResult Unprepare(WaveHandle pHandle, WaveHeader& pHeader) override;
    WaveResult GetPosition(WaveHandle pHandle, uint32_t& pBytes) override;
    WaveResult Pause(WaveHandle pHandle) override;
    WaveResult Restart(WaveHandle pHandle) override;
    WaveResult Reset(WaveHandle pHandle) override;
    WaveResult Close(WaveHandle pHandle) override;
    std::string ErrorText(WaveResult pResult) override;

private:
    struct Stream {
        int32_t DeviceId = 0;
        WaveFormat Format;
        std::deque<WaveHeader*> Queue;
        uint32_t Consumed = 0; ///< bytes of the front buffer already played
        uint64_t Position = 0;
        bool Paused = false;
        bool Written = false;
    };
    Stream* Find(WaveHandle pHandle);
    const Stream* FindDevice(int32_t pDeviceId) const;

    int32_t deviceCount_;
    WaveHandle nextHandle_ = 1;
    std::map<WaveHandle, Stream> streams_;
    std::map<int32_t, DeviceLog> logs_;
    std::map<int32_t, WaveResult> failOpen_;
};

/// A wave-in service driven the same way: AdvanceFrames fills the buffers queued on every
/// started handle from the device's source frames (silence once they run out).
class VirtualWaveIn : public WaveInService {
public:
    explicit VirtualWaveIn(int32_t pDeviceCount = 2);

    /// Frames (left, right interleaved) that device pDeviceId delivers from its next open on.
    void SetSource(int32_t pDeviceId, std::vector<int16_t> pSamples);
    /// Takes the source frames from a 16-bit stereo WAV file; false when it is not one.
    bool LoadSourceWav(int32_t pDeviceId, std::string_view pPath);
    void AdvanceFrames(int64_t pFrames);

    std::vector<WaveDeviceInfo> Devices() override;
    WaveResult Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle) override;
    WaveResult Prepare(WaveHandle pHandle, WaveHeader& pHeader) override;
    WaveResult AddBuffer(WaveHandle pHandle, WaveHeader& pHeader) override;
    WaveResult Unprepare(WaveHandle pHandle, WaveHeader& pHeader) override;
    WaveResult Start(WaveHandle pHandle) override;
    WaveResult Stop(WaveHandle pHandle) override;
    WaveResult GetPosition(WaveHandle pHandle, uint32_t& pBytes) override;
    WaveResult Reset(WaveHandle pHandle) override;
    WaveResult Close(WaveHandle pHandle) override;
    std::string ErrorText(WaveResult pResult) override;

private:
    struct Stream {
        int32_t DeviceId = 0;
        WaveFormat Format;
        std::deque<WaveHeader*> Queue;
        size_t Cursor = 0; ///< next source sample
        uint64_t Position = 0;
        bool Started = false;
    };
    Stream* Find(WaveHandle pHandle);

    int32_t deviceCount_;
    WaveHandle nextHandle_ = 1;
    std::map<WaveHandle, Stream> streams_;
    std::map<int32_t, std::vector<int16_t>> sources_;
};

} // namespace tarvok
