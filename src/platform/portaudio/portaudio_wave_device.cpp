#include "platform/portaudio/portaudio_wave_device.h"

#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

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

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

HeardPosition::HeardPosition(double pRate, double pLatencyFrames)
    : rate_(pRate > 0 ? pRate : 1)
    , latency_(std::max(0.0, pLatencyFrames))
{
}

void HeardPosition::Written(uint64_t pWritten, int64_t pNowNs)
{
    written_ = pWritten;
    writtenAtNs_ = pNowNs;
}

uint64_t HeardPosition::At(int64_t pNowNs)
{
    if (written_ == 0)
        return heard_;
    const double elapsed = static_cast<double>(std::max<int64_t>(0, pNowNs - writtenAtNs_)) * 1e-9;
    const double heard = static_cast<double>(written_) - latency_ + elapsed * rate_;
    const uint64_t now = heard <= 0              ? 0
        : heard >= static_cast<double>(written_) ? written_
                                                 : static_cast<uint64_t>(heard);
    heard_ = std::max(heard_, now);
    return heard_;
}

void HeardPosition::Reset()
{
    written_ = 0;
    writtenAtNs_ = 0;
    heard_ = 0;
}

/// One open device: a blocking output stream fed by its own writer thread from a
/// single-producer, single-consumer ring of headers. The user-interface thread appends at
/// Tail; the writer consumes at Head, hands the bytes to PortAudio and marks each header
/// done. Writing blocks until the device takes the data, so the device is fed at its own
/// pace and never gets silence between two queued buffers: a device that consumes faster
/// than real time (a file device) receives exactly the queued samples, back to back.
struct PortAudioWaveOut::Stream {
    PaStream* Pa = nullptr;
    std::array<WaveHeader*, kRingCapacity> Ring {};
    std::atomic<uint32_t> Head { 0 };
    std::atomic<uint32_t> Tail { 0 };
    uint32_t Consumed = 0; ///< bytes of the front buffer written; under Lock
    std::atomic<uint64_t> Position { 0 }; ///< bytes handed to PortAudio
    std::atomic<bool> Paused { false };
    bool Started = false;
    HeardPosition Heard { 1, 0 }; ///< under Lock

    std::thread Writer;
    std::mutex Lock; ///< guards the hand-over between the writer and Reset/Close
    std::condition_variable Wake;
    bool Quit = false; ///< under Lock
    bool Hold = false; ///< under Lock: the writer must stay away from the ring
    bool Writing = false; ///< under Lock: the writer is inside Pa_WriteStream

    void Run();
};

namespace {

/// Frames handed to PortAudio per write, so that pause and reset are noticed quickly.
constexpr uint32_t kWriteFrames = 1024;

/// Stops the writer touching the ring until the returned lock is released.
std::unique_lock<std::mutex> HoldWriter(PortAudioWaveOut::Stream& pStream)
{
    std::unique_lock<std::mutex> guard(pStream.Lock);
    pStream.Hold = true;
    pStream.Wake.wait(guard, [&] { return !pStream.Writing; });
    return guard;
}

void StopWriter(PortAudioWaveOut::Stream& pStream)
{
    {
        std::lock_guard<std::mutex> guard(pStream.Lock);
        pStream.Quit = true;
    }
    pStream.Wake.notify_all();
    if (pStream.Writer.joinable())
        pStream.Writer.join();
}

} // namespace

void PortAudioWaveOut::Stream::Run()
{
    std::unique_lock<std::mutex> guard(Lock);
    for (;;) {
        Wake.wait(guard, [this] {
            return Quit
                || (!Hold && !Paused.load(std::memory_order_acquire)
                    && Head.load(std::memory_order_relaxed)
                        != Tail.load(std::memory_order_acquire));
        });
        if (Quit)
            return;
        const uint32_t head = Head.load(std::memory_order_relaxed);
        WaveHeader* h = Ring[head % kRingCapacity];
        const uint32_t left = h->Length > Consumed ? h->Length - Consumed : 0;
        const uint32_t bytes = std::min<uint32_t>(left, kWriteFrames * 4);
        Writing = true;
        guard.unlock();
        if (bytes >= 4)
            Pa_WriteStream(Pa, h->Data + Consumed, bytes / 4); // an underflow is no error here
        guard.lock();
        Writing = false;
        Consumed += bytes;
        const uint64_t total = Position.fetch_add(bytes, std::memory_order_relaxed) + bytes;
        if (bytes >= 4)
            Heard.Written(total / 4, NowNs());
        if (Consumed >= h->Length || bytes < 4) {
            Consumed = 0;
            h->MarkDone();
            Head.store(head + 1, std::memory_order_release);
        }
        Wake.notify_all();
    }
}

PortAudioWaveOut::PortAudioWaveOut()
    : initialised_(Pa_Initialize() == paNoError)
{
}

PortAudioWaveOut::~PortAudioWaveOut()
{
    for (auto& [handle, s] : streams_) {
        StopWriter(*s);
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
        paFramesPerBufferUnspecified, paClipOff | paDitherOff, nullptr, nullptr);
    if (err != paNoError)
        return FromPa(err);
    const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream->Pa);
    const double latency = streamInfo ? streamInfo->outputLatency : params.suggestedLatency;
    stream->Heard = HeardPosition(pFormat.SampleRate, latency * pFormat.SampleRate);
    Stream* raw = stream.get();
    stream->Writer = std::thread([raw] { raw->Run(); });
    pHandle = nextHandle_++;
    streams_[pHandle] = std::move(stream);
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Prepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    pHeader.MarkPrepared();
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Write(WaveHandle pHandle, WaveHeader& pHeader)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (const WaveResult check = pHeader.CheckQueueable(); check != kWaveOk)
        return check;
    const uint32_t tail = s->Tail.load(std::memory_order_relaxed);
    if (tail - s->Head.load(std::memory_order_acquire) >= kRingCapacity)
        return kWaveErrNoMemory;
    if (!s->Started && !s->Paused.load()) {
        const PaError err = Pa_StartStream(s->Pa);
        if (err != paNoError)
            return FromPa(err);
        s->Started = true;
    }
    pHeader.MarkQueued();
    {
        std::lock_guard<std::mutex> guard(s->Lock);
        s->Ring[tail % kRingCapacity] = &pHeader;
        s->Tail.store(tail + 1, std::memory_order_release);
    }
    s->Wake.notify_all();
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Unprepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    return pHeader.Unprepare();
}

WaveResult PortAudioWaveOut::GetPosition(WaveHandle pHandle, uint32_t& pBytes)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    std::lock_guard<std::mutex> guard(s->Lock);
    pBytes = static_cast<uint32_t>(s->Heard.At(NowNs()) * 4);
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Pause(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    {
        std::lock_guard<std::mutex> guard(s->Lock);
        s->Paused.store(true, std::memory_order_release);
    }
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Restart(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (!s->Started && s->Tail.load() != s->Head.load()) {
        const PaError err = Pa_StartStream(s->Pa);
        if (err != paNoError)
            return FromPa(err);
        s->Started = true;
    }
    {
        std::lock_guard<std::mutex> guard(s->Lock);
        s->Paused.store(false, std::memory_order_release);
    }
    s->Wake.notify_all();
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Reset(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    // With the writer held outside PortAudio the ring and the stream are ours.
    std::unique_lock<std::mutex> guard = HoldWriter(*s);
    if (s->Started)
        Pa_AbortStream(s->Pa);
    s->Started = false;
    const uint32_t tail = s->Tail.load(std::memory_order_acquire);
    for (uint32_t i = s->Head.load(std::memory_order_acquire); i != tail; ++i)
        s->Ring[i % kRingCapacity]->MarkDone();
    s->Head.store(tail, std::memory_order_release);
    s->Consumed = 0;
    s->Position.store(0);
    s->Heard.Reset();
    s->Paused.store(false);
    s->Hold = false;
    guard.unlock();
    s->Wake.notify_all();
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Close(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (s->Tail.load() != s->Head.load())
        return kWaveErrStillPlaying;
    StopWriter(*s);
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
            h->MarkDone();
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
    pHeader.MarkPrepared();
    return kWaveOk;
}

WaveResult PortAudioWaveIn::AddBuffer(WaveHandle pHandle, WaveHeader& pHeader)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (const WaveResult check = pHeader.CheckQueueable(); check != kWaveOk)
        return check;
    const uint32_t tail = s->Tail.load(std::memory_order_relaxed);
    if (tail - s->Head.load(std::memory_order_acquire) >= kRingCapacity)
        return kWaveErrNoMemory;
    pHeader.BytesRecorded.store(0, std::memory_order_relaxed);
    pHeader.MarkQueued();
    s->Ring[tail % kRingCapacity] = &pHeader;
    s->Tail.store(tail + 1, std::memory_order_release);
    return kWaveOk;
}

WaveResult PortAudioWaveIn::Unprepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    return pHeader.Unprepare();
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
        s->Ring[i % kRingCapacity]->MarkDone();
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
