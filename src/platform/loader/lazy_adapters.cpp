#include "platform/loader/lazy_adapters.h"

namespace tarvok {

LazyMediaBackend::LazyMediaBackend(ModuleLoader& pLoader)
    : real_(pLoader, AdapterLib::Ffmpeg, &AdapterModule::NewMediaBackend,
        "Decoding of compressed audio")
{
}

Result<std::unique_ptr<MediaSource>> LazyMediaBackend::Open(
    const std::string& pPath, MediaContainer pContainer)
{
    if (MediaBackend* real = real_.Get())
        return real->Open(pPath, pContainer);
    return Fail(real_.Problem());
}

LazyAudioFileEncoder::LazyAudioFileEncoder(ModuleLoader& pLoader)
    : real_(
        pLoader, AdapterLib::Ffmpeg, &AdapterModule::NewAudioFileEncoder, "FLAC and Opus output")
{
}

bool LazyAudioFileEncoder::Available(AudioCodec pCodec) const
{
    const AudioFileEncoder* real = real_.Get();
    return real != nullptr && real->Available(pCodec);
}

Status LazyAudioFileEncoder::Encode(AudioCodec pCodec, int32_t pKbps, std::string_view pSource,
    FileHandle& pOut, const Progress& pProgress)
{
    if (AudioFileEncoder* real = real_.Get())
        return real->Encode(pCodec, pKbps, pSource, pOut, pProgress);
    return Fail(real_.Problem());
}

// A wave service that is not there has no devices and no open handles: Open fails with a
// reason that ErrorText gives, every other call finds no such handle.

LazyWaveOut::LazyWaveOut(ModuleLoader& pLoader)
    : real_(pLoader, AdapterLib::PortAudio, &AdapterModule::NewWaveOut, "Sound output")
{
}

std::vector<WaveDeviceInfo> LazyWaveOut::Devices()
{
    WaveOutService* real = real_.Get();
    return real ? real->Devices() : std::vector<WaveDeviceInfo> {};
}

WaveResult LazyWaveOut::Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle)
{
    WaveOutService* real = real_.Get();
    return real ? real->Open(pDeviceId, pFormat, pHandle) : kWaveErrFailed;
}

WaveResult LazyWaveOut::Prepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    WaveOutService* real = real_.Get();
    return real ? real->Prepare(pHandle, pHeader) : kWaveErrBadHandle;
}

WaveResult LazyWaveOut::Write(WaveHandle pHandle, WaveHeader& pHeader)
{
    WaveOutService* real = real_.Get();
    return real ? real->Write(pHandle, pHeader) : kWaveErrBadHandle;
}

WaveResult LazyWaveOut::Unprepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    WaveOutService* real = real_.Get();
    return real ? real->Unprepare(pHandle, pHeader) : kWaveErrBadHandle;
}

WaveResult LazyWaveOut::GetPosition(WaveHandle pHandle, uint32_t& pBytes)
{
    WaveOutService* real = real_.Get();
    return real ? real->GetPosition(pHandle, pBytes) : kWaveErrBadHandle;
}

WaveResult LazyWaveOut::Pause(WaveHandle pHandle)
{
    WaveOutService* real = real_.Get();
    return real ? real->Pause(pHandle) : kWaveErrBadHandle;
}

WaveResult LazyWaveOut::Restart(WaveHandle pHandle)
{
    WaveOutService* real = real_.Get();
    return real ? real->Restart(pHandle) : kWaveErrBadHandle;
}

WaveResult LazyWaveOut::Reset(WaveHandle pHandle)
{
    WaveOutService* real = real_.Get();
    return real ? real->Reset(pHandle) : kWaveErrBadHandle;
}

WaveResult LazyWaveOut::Close(WaveHandle pHandle)
{
    WaveOutService* real = real_.Get();
    return real ? real->Close(pHandle) : kWaveErrBadHandle;
}

std::string LazyWaveOut::ErrorText(WaveResult pResult)
{
    if (WaveOutService* real = real_.Get())
        return real->ErrorText(pResult);
    return pResult == kWaveErrFailed ? real_.Problem() : CommonWaveErrorText(pResult);
}

double LazyWaveOut::LatencySeconds(WaveHandle pHandle)
{
    WaveOutService* real = real_.Get();
    return real ? real->LatencySeconds(pHandle) : 0;
}

LazyWaveIn::LazyWaveIn(ModuleLoader& pLoader)
    : real_(pLoader, AdapterLib::PortAudio, &AdapterModule::NewWaveIn, "Sound input")
{
}

std::vector<WaveDeviceInfo> LazyWaveIn::Devices()
{
    WaveInService* real = real_.Get();
    return real ? real->Devices() : std::vector<WaveDeviceInfo> {};
}

WaveResult LazyWaveIn::Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle)
{
    WaveInService* real = real_.Get();
    return real ? real->Open(pDeviceId, pFormat, pHandle) : kWaveErrFailed;
}

WaveResult LazyWaveIn::Prepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    WaveInService* real = real_.Get();
    return real ? real->Prepare(pHandle, pHeader) : kWaveErrBadHandle;
}

WaveResult LazyWaveIn::AddBuffer(WaveHandle pHandle, WaveHeader& pHeader)
{
    WaveInService* real = real_.Get();
    return real ? real->AddBuffer(pHandle, pHeader) : kWaveErrBadHandle;
}

WaveResult LazyWaveIn::Unprepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    WaveInService* real = real_.Get();
    return real ? real->Unprepare(pHandle, pHeader) : kWaveErrBadHandle;
}

WaveResult LazyWaveIn::Start(WaveHandle pHandle)
{
    WaveInService* real = real_.Get();
    return real ? real->Start(pHandle) : kWaveErrBadHandle;
}

WaveResult LazyWaveIn::Stop(WaveHandle pHandle)
{
    WaveInService* real = real_.Get();
    return real ? real->Stop(pHandle) : kWaveErrBadHandle;
}

WaveResult LazyWaveIn::GetPosition(WaveHandle pHandle, uint32_t& pBytes)
{
    WaveInService* real = real_.Get();
    return real ? real->GetPosition(pHandle, pBytes) : kWaveErrBadHandle;
}

WaveResult LazyWaveIn::Reset(WaveHandle pHandle)
{
    WaveInService* real = real_.Get();
    return real ? real->Reset(pHandle) : kWaveErrBadHandle;
}

WaveResult LazyWaveIn::Close(WaveHandle pHandle)
{
    WaveInService* real = real_.Get();
    return real ? real->Close(pHandle) : kWaveErrBadHandle;
}

std::string LazyWaveIn::ErrorText(WaveResult pResult)
{
    if (WaveInService* real = real_.Get())
        return real->ErrorText(pResult);
    return pResult == kWaveErrFailed ? real_.Problem() : CommonWaveErrorText(pResult);
}

double LazyWaveIn::LatencySeconds(WaveHandle pHandle)
{
    WaveInService* real = real_.Get();
    return real ? real->LatencySeconds(pHandle) : 0;
}

double LazyWaveIn::ClockFrames(WaveHandle pHandle)
{
    WaveInService* real = real_.Get();
    return real ? real->ClockFrames(pHandle) : 0;
}

LazyCdDriveService::LazyCdDriveService(ModuleLoader& pLoader)
    : real_(pLoader, AdapterLib::Cdio, &AdapterModule::NewCdDriveService, "CD access")
{
}

std::vector<CdDriveEntry> LazyCdDriveService::PhysicalDrives()
{
    CdDriveService* real = real_.Get();
    return real ? real->PhysicalDrives() : std::vector<CdDriveEntry> {};
}

std::unique_ptr<CdDevice> LazyCdDriveService::Open(std::string_view pPath)
{
    CdDriveService* real = real_.Get();
    return real ? real->Open(pPath) : nullptr;
}

LazyHttpClient::LazyHttpClient(ModuleLoader& pLoader)
    : real_(pLoader, AdapterLib::Curl, &AdapterModule::NewHttpClient, "HTTP")
{
}

Result<std::string> LazyHttpClient::Get(std::string_view pUrl, const HttpLimits& pLimits)
{
    if (HttpClient* real = real_.Get())
        return real->Get(pUrl, pLimits);
    return Fail(real_.Problem());
}

LazyLoudnessMeter::LazyLoudnessMeter(ModuleLoader& pLoader)
    : real_(pLoader, AdapterLib::Ebur128, &AdapterModule::NewLoudnessMeter, "Loudness measurement")
{
}

std::unique_ptr<LoudnessMeasurement> LazyLoudnessMeter::Start(int32_t pRate, int32_t pChannels)
{
    LoudnessMeter* real = real_.Get();
    return real ? real->Start(pRate, pChannels) : nullptr;
}

LazyTimePitchEngine::LazyTimePitchEngine(ModuleLoader& pLoader)
    : real_(pLoader, AdapterLib::RubberBand, &AdapterModule::NewTimePitchEngine,
        "The high-quality time stretch and pitch shift")
{
}

std::unique_ptr<TimePitchStream> LazyTimePitchEngine::Open(const TimePitchRequest& pRequest)
{
    TimePitchEngine* real = real_.Get();
    return real ? real->Open(pRequest) : nullptr;
}

} // namespace tarvok
