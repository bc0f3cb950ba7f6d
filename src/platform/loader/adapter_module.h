#pragma once

#include <cstdint>
#include <memory>

namespace tarvok {

class AudioFileEncoder;
class CdDriveService;
class HttpClient;
class LoudnessMeter;
class MediaBackend;
class TimePitchEngine;
class WaveInService;
class WaveOutService;

/// Changes whenever AdapterModule changes, so that a module of another build is refused.
inline constexpr uint32_t kAdapterModuleAbi = 1;

/// What an adapter module hands out: one factory per core interface it implements, null for
/// the others. A factory returns null when its library is there but cannot start (a sound
/// system that does not initialise).
struct AdapterModule {
    uint32_t Abi = kAdapterModuleAbi;
    uint32_t Size = sizeof(AdapterModule);
    std::unique_ptr<MediaBackend> (*NewMediaBackend)() = nullptr;
    std::unique_ptr<AudioFileEncoder> (*NewAudioFileEncoder)() = nullptr;
    std::unique_ptr<WaveOutService> (*NewWaveOut)() = nullptr;
    std::unique_ptr<WaveInService> (*NewWaveIn)() = nullptr;
    std::unique_ptr<CdDriveService> (*NewCdDriveService)() = nullptr;
    std::unique_ptr<HttpClient> (*NewHttpClient)() = nullptr;
    std::unique_ptr<LoudnessMeter> (*NewLoudnessMeter)() = nullptr;
    std::unique_ptr<TimePitchEngine> (*NewTimePitchEngine)() = nullptr;
};

/// The one function a module exports, by this name.
inline constexpr const char* kAdapterModuleEntry = "tarvok_adapter_module";
using AdapterModuleEntry = const AdapterModule* (*)();

} // namespace tarvok

/// Defines the entry of an adapter module: the body returns its AdapterModule, which lives as
/// long as the module (modules are never unloaded).
#define TARVOK_ADAPTER_MODULE_ENTRY                                                                \
    extern "C" __attribute__((visibility("default"))) const tarvok::AdapterModule*                 \
    tarvok_adapter_module()
