#pragma once

#include "cd/cd_drive.h"
#include "cd/http_client.h"
#include "decode/decode_audio.h"
#include "engine/wave_device.h"
#include "fx/time_pitch_engine.h"
#include "platform/loader/module_loader.h"
#include "render/audio_file_encoder.h"
#include "render/loudness.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace tarvok {

/// The adapter behind a lazy proxy, made from its module at the first call. When the module
/// or its library cannot be loaded, or the factory refuses, Get gives null and Problem says
/// why: "<feature> is not available: <library> could not be loaded (<why>)". A module that
/// cannot be loaded is also told to the loader's notice sink, since many callers turn the
/// failure value into a message of their own ("wrong file format") that would hide it.
template <class I> class LazyAdapter {
public:
    using Factory = std::unique_ptr<I> (*)();

    LazyAdapter(ModuleLoader& pLoader, AdapterLib pLib, Factory AdapterModule::*pFactory,
        std::string_view pFeature)
        : loader_(pLoader)
        , lib_(pLib)
        , factory_(pFactory)
        , feature_(pFeature)
    {
    }

    /// The adapter, or null when it is unavailable; the first call loads the module.
    I* Get() const
    {
        std::call_once(once_, [this] { Make(); });
        if (!real_ && !loaded_)
            loader_.Notice(problem_);
        return real_.get();
    }
    /// Why Get gives null (empty before the first call and when it gives an adapter).
    const std::string& Problem() const
    {
        Get();
        return problem_;
    }

private:
    void Make() const
    {
        const std::string lead = std::string(feature_) + " is not available: ";
        Result<const AdapterModule*> module = loader_.Load(lib_);
        if (!module) {
            problem_ = lead + module.error().Message;
            return;
        }
        loaded_ = true;
        const Factory factory = (*module)->*factory_;
        if (factory != nullptr)
            real_ = factory();
        if (!real_)
            problem_ = lead + std::string(LibraryNameOf(lib_)) + " could not be started";
    }

    ModuleLoader& loader_;
    AdapterLib lib_;
    Factory AdapterModule::*factory_;
    std::string_view feature_;
    mutable std::once_flag once_;
    mutable std::unique_ptr<I> real_;
    mutable std::string problem_;
    mutable bool loaded_ = false;
};

/// The MediaBackend of the FFmpeg module, loaded at the first Open.
class LazyMediaBackend : public MediaBackend {
public:
    explicit LazyMediaBackend(ModuleLoader& pLoader = ProcessModules());
    Result<std::unique_ptr<MediaSource>> Open(
        const std::string& pPath, MediaContainer pContainer) override;

private:
    LazyAdapter<MediaBackend> real_;
};

/// The AudioFileEncoder (FLAC, Opus) of the FFmpeg module, loaded at the first call.
class LazyAudioFileEncoder : public AudioFileEncoder {
public:
    explicit LazyAudioFileEncoder(ModuleLoader& pLoader = ProcessModules());
    bool Available(AudioCodec pCodec) const override;
    Status Encode(AudioCodec pCodec, int32_t pKbps, std::string_view pSource, FileHandle& pOut,
        const Progress& pProgress) override;

private:
    LazyAdapter<AudioFileEncoder> real_;
};

/// The wave-out service of the PortAudio module, loaded at the first call. Without it there
/// are no devices, Open fails with kWaveErrFailed and ErrorText of that says why.
class LazyWaveOut : public WaveOutService {
public:
    explicit LazyWaveOut(ModuleLoader& pLoader = ProcessModules());

    /// False when the module could not be loaded or the sound system not started.
    bool Available() const { return real_.Get() != nullptr; }
    const std::string& Problem() const { return real_.Problem(); }

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
    double LatencySeconds(WaveHandle pHandle) override;

private:
    LazyAdapter<WaveOutService> real_;
};

/// The wave-in service of the PortAudio module, loaded at the first call (as LazyWaveOut).
class LazyWaveIn : public WaveInService {
public:
    explicit LazyWaveIn(ModuleLoader& pLoader = ProcessModules());

    bool Available() const { return real_.Get() != nullptr; }
    const std::string& Problem() const { return real_.Problem(); }

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
    double LatencySeconds(WaveHandle pHandle) override;
    double ClockFrames(WaveHandle pHandle) override;

private:
    LazyAdapter<WaveInService> real_;
};

/// The CdDriveService of the libcdio module, loaded at the first call; without it there are
/// no drives and nothing opens.
class LazyCdDriveService : public CdDriveService {
public:
    explicit LazyCdDriveService(ModuleLoader& pLoader = ProcessModules());
    std::vector<CdDriveEntry> PhysicalDrives() override;
    std::unique_ptr<CdDevice> Open(std::string_view pPath) override;

private:
    LazyAdapter<CdDriveService> real_;
};

/// The HttpClient of the libcurl module, loaded at the first request.
class LazyHttpClient : public HttpClient {
public:
    explicit LazyHttpClient(ModuleLoader& pLoader = ProcessModules());
    Result<std::string> Get(std::string_view pUrl, const HttpLimits& pLimits) override;

private:
    LazyAdapter<HttpClient> real_;
};

/// The LoudnessMeter of the libebur128 module, loaded at the first measurement.
class LazyLoudnessMeter : public LoudnessMeter {
public:
    explicit LazyLoudnessMeter(ModuleLoader& pLoader = ProcessModules());
    std::unique_ptr<LoudnessMeasurement> Start(int32_t pRate, int32_t pChannels) override;

private:
    LazyAdapter<LoudnessMeter> real_;
};

/// The TimePitchEngine of the Rubber Band module, loaded at the first stream.
class LazyTimePitchEngine : public TimePitchEngine {
public:
    explicit LazyTimePitchEngine(ModuleLoader& pLoader = ProcessModules());
    std::unique_ptr<TimePitchStream> Open(const TimePitchRequest& pRequest) override;

private:
    LazyAdapter<TimePitchEngine> real_;
};

} // namespace tarvok
