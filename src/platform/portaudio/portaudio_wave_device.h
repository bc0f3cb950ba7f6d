#pragma once

#include "engine/wave_device.h"

#include <map>
#include <memory>

namespace tarvok {

/// The wave-out service on PortAudio. Each open device is one blocking output stream fed
/// by a writer thread that plays the queued buffers in order from a fixed ring of header
/// pointers and marks each one done; the stream starts with the first buffer written (or
/// at Restart when it was paused before). Device 0 is PortAudio's default output.
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

    struct Stream;

private:
    Stream* Find(WaveHandle pHandle);

    bool initialised_ = false;
    WaveHandle nextHandle_ = 1;
    std::map<WaveHandle, std::unique_ptr<Stream>> streams_;
};

} // namespace tarvok
