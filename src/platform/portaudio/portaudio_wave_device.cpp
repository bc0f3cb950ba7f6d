#include "platform/portaudio/portaudio_wave_device.h"

#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

namespace tarvok {

namespace {

/// Results above this carry a PortAudio error code (negated).
constexpr WaveResult kPortAudioBase = 9000;
/// Buffers a stream can hold queued at once; the engine's rings are far smaller.
constexpr uint32_t kRingCapacity = 64;

WaveResult FromPa(PaError pError)
{
    if (pError == paNoError)
        return kWaveOk;
    if (pError == paInvalidDevice)
        return kWaveErrBadDevice;
    if (pError == paSampleFormatNotSupported || pError == paInvalidSampleRate
        || pError == paInvalidChannelCount)
        return kWaveErrBadFormat;
    if (pError == paInsufficientMemory)
        return kWaveErrNoMemory;
    return -pError > kPortAudioBase ? -pError : kWaveErrFailed;
}

std::string TextOf(WaveResult pResult)
{
    if (pResult > kPortAudioBase)
        return Pa_GetErrorText(static_cast<PaError>(-pResult));
    return CommonWaveErrorText(pResult);
}

/// The PortAudio devices with at least two channels in the direction asked for, the
/// default device first.
std::vector<PaDeviceIndex> DeviceIndices(bool pOutput)
{
    std::vector<PaDeviceIndex> out;
    const PaDeviceIndex def = pOutput ? Pa_GetDefaultOutputDevice() : Pa_GetDefaultInputDevice();
    auto usable = [&](PaDeviceIndex pIndex) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(pIndex);
        return info && (pOutput ? info->maxOutputChannels : info->maxInputChannels) >= 2;
    };
    if (def != paNoDevice && usable(def))
        out.push_back(def);
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i)
        if (i != def && usable(i))
            out.push_back(i);
    return out;
}

std::vector<WaveDeviceInfo> DeviceList(bool pOutput)
{
    std::vector<WaveDeviceInfo> list;
    const std::vector<PaDeviceIndex> indices = DeviceIndices(pOutput);
    for (size_t i = 0; i < indices.size(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(indices[i]);
        list.push_back({ static_cast<int32_t>(i), info && info->name ? info->name : "" });
    }
    return list;
}

/// Marks a header played (or recorded) and no longer queued, in one store.
void MarkDone(WaveHeader& pHeader)
{
    const uint32_t flags = pHeader.Flags.load(std::memory_order_relaxed);
    pHeader.Flags.store((flags | kHeaderDone) & ~kHeaderQueued, std::memory_order_release);
}

} // namespace

/// One open device: the stream and a single-producer, single-consumer ring of headers.
/// The user-interface thread appends at Tail; the callback consumes at Head. Only Reset
/// and Close touch the ring from the other side, after the stream has been stopped.
struct PortAudioWaveOut::Stream {
    PaStream* Pa = nullptr;
    std::array<WaveHeader*, kRingCapacity> Ring {};
    std::atomic<uint32_t> Head { 0 };
    std::atomic<uint32_t> Tail { 0 };
    uint32_t Consumed = 0; ///< bytes of the front buffer played; callback only
    std::atomic<uint64_t> Position { 0 };
    std::atomic<bool> Paused { false };
    bool Started = false;
};

namespace {

/// Audio thread: no allocation, no locks; copies queued bytes and sets done flags.
int OutputCallback(const void*, void* pOutput, unsigned long pFrames,
    const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* pUser)
{
    auto* s = static_cast<PortAudioWaveOut::Stream*>(pUser);
    auto* out = static_cast<uint8_t*>(pOutput);
    const size_t need = static_cast<size_t>(pFrames) * 4;
    size_t written = 0;
    if (!s->Paused.load(std::memory_order_acquire)) {
        while (written < need) {
            const uint32_t head = s->Head.load(std::memory_order_relaxed);
            if (head == s->Tail.load(std::memory_order_acquire))
                break;
            WaveHeader* h = s->Ring[head % kRingCapacity];
            const size_t left = h->Length > s->Consumed ? h->Length - s->Consumed : 0;
            const size_t take = std::min(left, need - written);
            if (take > 0)
                std::memcpy(out + written, h->Data + s->Consumed, take);
            s->Consumed += static_cast<uint32_t>(take);
            written += take;
            if (s->Consumed >= h->Length) {
                s->Consumed = 0;
                MarkDone(*h);
                s->Head.store(head + 1, std::memory_order_release);
            }
        }
        s->Position.fetch_add(written, std::memory_order_relaxed);
    }
    if (written < need)
        std::memset(out + written, 0, need - written);
    return paContinue;
}

} // namespace

PortAudioWaveOut::PortAudioWaveOut()
    : initialised_(Pa_Initialize() == paNoError)
{
}

PortAudioWaveOut::~PortAudioWaveOut()
{
    for (auto& [handle, s] : streams_) {
        if (s->Pa) {
            Pa_AbortStream(s->Pa);
            Pa_CloseStream(s->Pa);
        }
    }
    streams_.clear();
    if (initialised_)
        Pa_Terminate();
}

PortAudioWaveOut::Stream* PortAudioWaveOut::Find(WaveHandle pHandle)
{
    auto it = streams_.find(pHandle);
    return it == streams_.end() ? nullptr : it->second.get();
}

std::vector<WaveDeviceInfo> PortAudioWaveOut::Devices()
{
    if (!initialised_)
        return {};
    return DeviceList(true);
}

WaveResult PortAudioWaveOut::Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle)
{
    pHandle = kNoWaveHandle;
    if (!initialised_)
        return kWaveErrFailed;
    if (pFormat.Channels != 2 || pFormat.Bits != 16 || pFormat.SampleRate <= 0)
        return kWaveErrBadFormat;
    const std::vector<PaDeviceIndex> indices = DeviceIndices(true);
    if (pDeviceId < 0 || pDeviceId >= static_cast<int32_t>(indices.size()))
        return kWaveErrBadDevice;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(indices[pDeviceId]);
    PaStreamParameters params {};
    params.device = indices[pDeviceId];
    params.channelCount = 2;
    params.sampleFormat = paInt16;
    params.suggestedLatency = info ? info->defaultHighOutputLatency : 0.1;
    auto stream = std::make_unique<Stream>();
    const PaError err = Pa_OpenStream(&stream->Pa, nullptr, &params, pFormat.SampleRate,
        paFramesPerBufferUnspecified, paClipOff | paDitherOff, OutputCallback, stream.get());
    if (err != paNoError)
        return FromPa(err);
    pHandle = nextHandle_++;
    streams_[pHandle] = std::move(stream);
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Prepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    pHeader.Flags.fetch_or(kHeaderPrepared);
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Write(WaveHandle pHandle, WaveHeader& pHeader)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    const uint32_t flags = pHeader.Flags.load(std::memory_order_acquire);
    if (!(flags & kHeaderPrepared))
        return kWaveErrUnprepared;
    if (flags & kHeaderQueued)
        return kWaveErrStillPlaying;
    const uint32_t tail = s->Tail.load(std::memory_order_relaxed);
    if (tail - s->Head.load(std::memory_order_acquire) >= kRingCapacity)
        return kWaveErrNoMemory;
    pHeader.Flags.store((flags | kHeaderQueued) & ~kHeaderDone, std::memory_order_relaxed);
    s->Ring[tail % kRingCapacity] = &pHeader;
    s->Tail.store(tail + 1, std::memory_order_release);
    if (!s->Started && !s->Paused.load()) {
        const PaError err = Pa_StartStream(s->Pa);
        if (err != paNoError)
            return FromPa(err);
        s->Started = true;
    }
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Unprepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    if (pHeader.Flags.load() & kHeaderQueued)
        return kWaveErrStillPlaying;
    pHeader.Flags.fetch_and(~kHeaderPrepared);
    return kWaveOk;
}

WaveResult PortAudioWaveOut::GetPosition(WaveHandle pHandle, uint32_t& pBytes)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    pBytes = static_cast<uint32_t>(s->Position.load(std::memory_order_relaxed));
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Pause(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    s->Paused.store(true, std::memory_order_release);
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Restart(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    s->Paused.store(false, std::memory_order_release);
    if (!s->Started && s->Tail.load() != s->Head.load()) {
        const PaError err = Pa_StartStream(s->Pa);
        if (err != paNoError)
            return FromPa(err);
        s->Started = true;
    }
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Reset(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    // Once the stream is stopped the callback no longer runs, so the ring is ours.
    if (s->Started)
        Pa_AbortStream(s->Pa);
    s->Started = false;
    const uint32_t tail = s->Tail.load(std::memory_order_acquire);
    for (uint32_t i = s->Head.load(std::memory_order_acquire); i != tail; ++i)
        MarkDone(*s->Ring[i % kRingCapacity]);
    s->Head.store(tail, std::memory_order_release);
    s->Consumed = 0;
    s->Position.store(0);
    s->Paused.store(false);
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Close(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (s->Tail.load() != s->Head.load())
        return kWaveErrStillPlaying;
    if (s->Started)
        Pa_AbortStream(s->Pa);
    const PaError err = Pa_CloseStream(s->Pa);
    streams_.erase(pHandle);
    return FromPa(err);
}

std::string PortAudioWaveOut::ErrorText(WaveResult pResult)
{
    return TextOf(pResult).substr(0, 200);
}

struct PortAudioWaveIn::Stream {
    PaStream* Pa = nullptr;
    std::array<WaveHeader*, kRingCapacity> Ring {};
    std::atomic<uint32_t> Head { 0 };
    std::atomic<uint32_t> Tail { 0 };
    std::atomic<uint64_t> Position { 0 };
    bool Started = false;
};

namespace {

/// Audio thread: no allocation, no locks; copies recorded bytes into queued buffers.
int InputCallback(const void* pInput, void*, unsigned long pFrames, const PaStreamCallbackTimeInfo*,
    PaStreamCallbackFlags, void* pUser)
{
    auto* s = static_cast<PortAudioWaveIn::Stream*>(pUser);
    const auto* in = static_cast<const uint8_t*>(pInput);
    const size_t have = static_cast<size_t>(pFrames) * 4;
    size_t taken = 0;
    while (in && taken < have) {
        const uint32_t head = s->Head.load(std::memory_order_relaxed);
        if (head == s->Tail.load(std::memory_order_acquire))
            break;
        WaveHeader* h = s->Ring[head % kRingCapacity];
        const uint32_t filled = h->BytesRecorded.load(std::memory_order_relaxed);
        const size_t room = h->Length > filled ? h->Length - filled : 0;
        const size_t take = std::min(room, have - taken);
        if (take > 0)
            std::memcpy(h->Data + filled, in + taken, take);
        taken += take;
        h->BytesRecorded.store(filled + static_cast<uint32_t>(take), std::memory_order_release);
        if (filled + take >= h->Length) {
            MarkDone(*h);
            s->Head.store(head + 1, std::memory_order_release);
        }
    }
    s->Position.fetch_add(have, std::memory_order_relaxed);
    return paContinue;
}

} // namespace

PortAudioWaveIn::PortAudioWaveIn()
    : initialised_(Pa_Initialize() == paNoError)
{
}

PortAudioWaveIn::~PortAudioWaveIn()
{
    for (auto& [handle, s] : streams_) {
        if (s->Pa) {
            Pa_AbortStream(s->Pa);
            Pa_CloseStream(s->Pa);
        }
    }
    streams_.clear();
    if (initialised_)
        Pa_Terminate();
}

PortAudioWaveIn::Stream* PortAudioWaveIn::Find(WaveHandle pHandle)
{
    auto it = streams_.find(pHandle);
    return it == streams_.end() ? nullptr : it->second.get();
}

std::vector<WaveDeviceInfo> PortAudioWaveIn::Devices()
{
    if (!initialised_)
        return {};
    return DeviceList(false);
}

WaveResult PortAudioWaveIn::Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle)
{
    pHandle = kNoWaveHandle;
    if (!initialised_)
        return kWaveErrFailed;
    if (pFormat.Channels != 2 || pFormat.Bits != 16 || pFormat.SampleRate <= 0)
        return kWaveErrBadFormat;
    const std::vector<PaDeviceIndex> indices = DeviceIndices(false);
    if (pDeviceId < 0 || pDeviceId >= static_cast<int32_t>(indices.size()))
        return kWaveErrBadDevice;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(indices[pDeviceId]);
    PaStreamParameters params {};
    params.device = indices[pDeviceId];
    params.channelCount = 2;
    params.sampleFormat = paInt16;
    params.suggestedLatency = info ? info->defaultHighInputLatency : 0.1;
    auto stream = std::make_unique<Stream>();
    const PaError err = Pa_OpenStream(&stream->Pa, &params, nullptr, pFormat.SampleRate,
        paFramesPerBufferUnspecified, paClipOff | paDitherOff, InputCallback, stream.get());
    if (err != paNoError)
        return FromPa(err);
    pHandle = nextHandle_++;
    streams_[pHandle] = std::move(stream);
    return kWaveOk;
}

WaveResult PortAudioWaveIn::Prepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    pHeader.Flags.fetch_or(kHeaderPrepared);
    return kWaveOk;
}

WaveResult PortAudioWaveIn::AddBuffer(WaveHandle pHandle, WaveHeader& pHeader)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    const uint32_t flags = pHeader.Flags.load(std::memory_order_acquire);
    if (!(flags & kHeaderPrepared))
        return kWaveErrUnprepared;
    if (flags & kHeaderQueued)
        return kWaveErrStillPlaying;
    const uint32_t tail = s->Tail.load(std::memory_order_relaxed);
    if (tail - s->Head.load(std::memory_order_acquire) >= kRingCapacity)
        return kWaveErrNoMemory;
    pHeader.BytesRecorded.store(0, std::memory_order_relaxed);
    pHeader.Flags.store((flags | kHeaderQueued) & ~kHeaderDone, std::memory_order_relaxed);
    s->Ring[tail % kRingCapacity] = &pHeader;
    s->Tail.store(tail + 1, std::memory_order_release);
    return kWaveOk;
}

WaveResult PortAudioWaveIn::Unprepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    if (pHeader.Flags.load() & kHeaderQueued)
        return kWaveErrStillPlaying;
    pHeader.Flags.fetch_and(~kHeaderPrepared);
    return kWaveOk;
}

WaveResult PortAudioWaveIn::Start(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (s->Started)
        return kWaveOk;
    const PaError err = Pa_StartStream(s->Pa);
    s->Started = err == paNoError;
    return FromPa(err);
}

WaveResult PortAudioWaveIn::Stop(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (s->Started)
        Pa_StopStream(s->Pa);
    s->Started = false;
    return kWaveOk;
}

WaveResult PortAudioWaveIn::GetPosition(WaveHandle pHandle, uint32_t& pBytes)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    pBytes = static_cast<uint32_t>(s->Position.load(std::memory_order_relaxed));
    return kWaveOk;
}

WaveResult PortAudioWaveIn::Reset(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (s->Started)
        Pa_AbortStream(s->Pa);
    s->Started = false;
    const uint32_t tail = s->Tail.load(std::memory_order_acquire);
    for (uint32_t i = s->Head.load(std::memory_order_acquire); i != tail; ++i)
        MarkDone(*s->Ring[i % kRingCapacity]);
    s->Head.store(tail, std::memory_order_release);
    s->Position.store(0);
    return kWaveOk;
}

WaveResult PortAudioWaveIn::Close(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (s->Tail.load() != s->Head.load())
        return kWaveErrStillPlaying;
    if (s->Started)
        Pa_AbortStream(s->Pa);
    const PaError err = Pa_CloseStream(s->Pa);
    streams_.erase(pHandle);
    return FromPa(err);
}

std::string PortAudioWaveIn::ErrorText(WaveResult pResult)
{
    return TextOf(pResult).substr(0, 200);
}

} // namespace tarvok
