#pragma once

#include "engine/wave_device.h"

#include <cstdint>
#include <map>
#include <memory>

namespace tarvok {

/// What the listener has heard of an output. Sound handed to the device is heard about one
/// output latency later: right after a hand-over, heard = written - latency. Between
/// hand-overs the device goes on playing in real time, and once nothing more is handed over
/// it plays what it holds to the end, so the heard position runs on with the clock up to
/// everything written and never stops short of it. It never goes back and never passes
/// what was written. User-interface thread only.
class HeardPosition {
public:
    /// pRate frames per second; pLatencyFrames the device's output latency in frames.
    HeardPosition(double pRate, double pLatencyFrames);
    /// Everything handed to the device so far (pWritten frames), at pNowNs. pLatencyFrames,
    /// when the device said it for this hand-over, is how far the sound heard at pNowNs
    /// lies behind pWritten; otherwise the latency given at construction is used.
    void Written(uint64_t pWritten, int64_t pNowNs, double pLatencyFrames = -1);
    /// Frames heard at pNowNs.
    uint64_t At(int64_t pNowNs);
    void Reset();

private:
    double rate_;
    double latency_;
    double writtenLatency_ = 0; ///< the latency of the latest hand-over
    uint64_t written_ = 0;
    int64_t writtenAtNs_ = 0;
    uint64_t heard_ = 0;
};

/// The wave-out service on PortAudio. Each open device is one output stream whose callback
/// plays the queued buffers in order from a fixed ring of header pointers, marks each one
/// done and gives silence when nothing is queued; the stream starts with the first buffer
/// written (or at Restart when it was paused before). Reset and Close abort the stream, so
/// no call waits for the device to drain. The position reported is what has been heard
/// (HeardPosition over the stream's output latency), so the head shows the sound the user
/// hears, not the sound handed over. Device 0 is PortAudio's default output.
class PortAudioWaveOut : public WaveOutService {
public:
    PortAudioWaveOut();
    ~PortAudioWaveOut() override;
    PortAudioWaveOut(const PortAudioWaveOut&) = delete;
    PortAudioWaveOut& operator=(const PortAudioWaveOut&) = delete;

    /// False when PortAudio could not be initialised (every open then fails).
    bool Available() const { return initialised_; }

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
    /// The stream's output latency as PortAudio reports it.
    double LatencySeconds(WaveHandle pHandle) override;

    struct Stream;

private:
    Stream* Find(WaveHandle pHandle);

    bool initialised_ = false;
    WaveHandle nextHandle_ = 1;
    std::map<WaveHandle, std::unique_ptr<Stream>> streams_;
};

/// The wave-in service on PortAudio: the input callback fills the added buffers in order
/// and marks each one done when it is full. Device 0 is PortAudio's default input.
class PortAudioWaveIn : public WaveInService {
public:
    PortAudioWaveIn();
    ~PortAudioWaveIn() override;
    PortAudioWaveIn(const PortAudioWaveIn&) = delete;
    PortAudioWaveIn& operator=(const PortAudioWaveIn&) = delete;

    bool Available() const { return initialised_; }

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
    /// The stream's input latency as PortAudio reports it.
    double LatencySeconds(WaveHandle pHandle) override;
    /// The frames of the latest callback run on with the clock since it came, never more
    /// than a quarter second ahead.
    double ClockFrames(WaveHandle pHandle) override;

    struct Stream;

private:
    Stream* Find(WaveHandle pHandle);

    bool initialised_ = false;
    WaveHandle nextHandle_ = 1;
    std::map<WaveHandle, std::unique_ptr<Stream>> streams_;
};

} // namespace tarvok
