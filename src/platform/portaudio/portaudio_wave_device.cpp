#include "platform/portaudio/portaudio_wave_device.h"

#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
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
        const PaHostApiInfo* api = info ? Pa_GetHostApiInfo(info->hostApi) : nullptr;
        list.push_back({ static_cast<int32_t>(i), info && info->name ? info->name : "",
            api && api->name ? api->name : "" });
    }
    return list;
}

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/// How far apart two of the host's time stamps of one callback are, in seconds, when it
/// gave both and they are in order and plausible (under two seconds); else below zero. The
/// ALSA host derives them from the device's delay at the callback, which follows the
/// buffer's fill exactly where the arrival time of a block does not.
double StampedDelay(PaTime pEarlier, PaTime pLater)
{
    if (pEarlier <= 0 || pLater <= 0 || pLater < pEarlier || pLater - pEarlier > 2.0)
        return -1;
    return pLater - pEarlier;
}

} // namespace

HeardPosition::HeardPosition(double pRate, double pLatencyFrames)
    : rate_(pRate > 0 ? pRate : 1)
    , latency_(std::max(0.0, pLatencyFrames))
{
}

void HeardPosition::Written(uint64_t pWritten, int64_t pNowNs, double pLatencyFrames)
{
    written_ = pWritten;
    writtenAtNs_ = pNowNs;
    writtenLatency_ = pLatencyFrames >= 0 ? pLatencyFrames : latency_;
}

uint64_t HeardPosition::At(int64_t pNowNs)
{
    if (written_ == 0)
        return heard_;
    const double elapsed = static_cast<double>(std::max<int64_t>(0, pNowNs - writtenAtNs_)) * 1e-9;
    const double heard = static_cast<double>(written_) - writtenLatency_ + elapsed * rate_;
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

/// One open device: a callback-driven output stream fed from a single-producer,
/// single-consumer ring of headers. The user-interface thread appends at Tail; PortAudio's
/// callback consumes at Head, copies the bytes into the device's buffer and marks each header
/// done once it is used up. Queued buffers follow one another inside one callback, so they
/// play back to back; when nothing is queued (or the device is paused) the callback gives
/// silence. Reset and Close stop the stream with Pa_AbortStream first, so that the ring is
/// theirs alone afterwards and no stop waits for the device's buffer to drain.
struct PortAudioWaveOut::Stream {
    PaStream* Pa = nullptr;
    std::array<WaveHeader*, kRingCapacity> Ring {};
    std::atomic<uint32_t> Head { 0 };
    std::atomic<uint32_t> Tail { 0 };
    uint32_t Consumed = 0; ///< bytes of the front buffer played; the callback's own
    std::atomic<bool> Paused { false };
    bool Started = false; ///< user-interface thread
    HeardPosition Heard { 1, 0 }; ///< user-interface thread
    double LatencySec = 0; ///< as PortAudio reports it at the open

    /// The frames handed to the device and when, published by the callback under a
    /// sequence count (odd while it writes) so that the user-interface thread reads a pair
    /// that belongs together without a lock.
    std::atomic<uint32_t> Sequence { 0 };
    std::atomic<uint64_t> WrittenFrames { 0 };
    std::atomic<int64_t> WrittenAtNs { 0 };
    /// How far the sound heard at WrittenAtNs lies behind WrittenFrames, in frames, as the
    /// host's time stamps of that callback say; below zero when it gave none.
    std::atomic<double> WrittenLatency { -1 };
    double Rate = 44100; ///< frames per second

    /// Audio thread: no allocation, no locks. pDelaySec: from the callback's start until its
    /// first frame is heard, as the host stamps it (below zero when it does not).
    void Fill(uint8_t* pOut, size_t pBytes, double pDelaySec);
    /// The last hand-over the callback published.
    void ReadWritten(uint64_t& pFrames, int64_t& pAtNs, double& pLatency) const;
    /// User-interface thread, with the stream stopped: every queued buffer done, from 0.
    void Clear();
};

void PortAudioWaveOut::Stream::Fill(uint8_t* pOut, size_t pBytes, double pDelaySec)
{
    size_t given = 0;
    while (!Paused.load(std::memory_order_acquire) && given < pBytes) {
        const uint32_t head = Head.load(std::memory_order_relaxed);
        if (head == Tail.load(std::memory_order_acquire))
            break;
        WaveHeader* h = Ring[head % kRingCapacity];
        const size_t left = h->Length > Consumed ? h->Length - Consumed : 0;
        const size_t take = std::min(left, pBytes - given);
        if (take > 0)
            std::memcpy(pOut + given, h->Data + Consumed, take);
        given += take;
        Consumed += static_cast<uint32_t>(take);
        if (Consumed >= h->Length) {
            Consumed = 0;
            h->MarkDone();
            Head.store(head + 1, std::memory_order_release);
        }
    }
    if (given < pBytes)
        std::memset(pOut + given, 0, pBytes - given);
    if (given >= 4) {
        const uint32_t seq = Sequence.load(std::memory_order_relaxed);
        Sequence.store(seq + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        const size_t frames = given / 4;
        WrittenFrames.store(
            WrittenFrames.load(std::memory_order_relaxed) + frames, std::memory_order_relaxed);
        WrittenAtNs.store(NowNs(), std::memory_order_relaxed);
        // This callback's frames play after the delay, behind everything handed over.
        WrittenLatency.store(pDelaySec < 0 ? -1.0 : pDelaySec * Rate + static_cast<double>(frames),
            std::memory_order_relaxed);
        Sequence.store(seq + 2, std::memory_order_release);
    }
}

void PortAudioWaveOut::Stream::ReadWritten(
    uint64_t& pFrames, int64_t& pAtNs, double& pLatency) const
{
    for (;;) {
        const uint32_t before = Sequence.load(std::memory_order_acquire);
        pFrames = WrittenFrames.load(std::memory_order_relaxed);
        pAtNs = WrittenAtNs.load(std::memory_order_relaxed);
        pLatency = WrittenLatency.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1) == 0 && Sequence.load(std::memory_order_relaxed) == before)
            return;
    }
}

void PortAudioWaveOut::Stream::Clear()
{
    const uint32_t tail = Tail.load(std::memory_order_acquire);
    for (uint32_t i = Head.load(std::memory_order_acquire); i != tail; ++i)
        Ring[i % kRingCapacity]->MarkDone();
    Head.store(tail, std::memory_order_release);
    Consumed = 0;
    WrittenFrames.store(0, std::memory_order_relaxed);
    WrittenAtNs.store(0, std::memory_order_relaxed);
    WrittenLatency.store(-1, std::memory_order_relaxed);
    Heard.Reset();
    Paused.store(false, std::memory_order_release);
}

namespace {

/// Audio thread: no allocation, no locks; plays queued bytes, silence when there are none.
int OutputCallback(const void*, void* pOutput, unsigned long pFrames,
    const PaStreamCallbackTimeInfo* pTime, PaStreamCallbackFlags, void* pUser)
{
    static_cast<PortAudioWaveOut::Stream*>(pUser)->Fill(static_cast<uint8_t*>(pOutput),
        static_cast<size_t>(pFrames) * 4,
        pTime ? StampedDelay(pTime->currentTime, pTime->outputBufferDacTime) : -1);
    return paContinue;
}

/// Stops a running stream without draining what the device holds.
void AbortIfStarted(PortAudioWaveOut::Stream& pStream)
{
    if (pStream.Started)
        Pa_AbortStream(pStream.Pa);
    pStream.Started = false;
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
    const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream->Pa);
    const double latency = streamInfo ? streamInfo->outputLatency : params.suggestedLatency;
    stream->Heard = HeardPosition(pFormat.SampleRate, latency * pFormat.SampleRate);
    stream->LatencySec = latency;
    stream->Rate = pFormat.SampleRate;
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
    pHeader.MarkQueued();
    s->Ring[tail % kRingCapacity] = &pHeader;
    s->Tail.store(tail + 1, std::memory_order_release);
    if (!s->Started && !s->Paused.load()) {
        const PaError err = Pa_StartStream(s->Pa);
        if (err != paNoError) {
            // The stream never ran, so the buffer was not touched: take it back.
            s->Tail.store(tail, std::memory_order_release);
            pHeader.Flags.fetch_and(~kHeaderQueued);
            return FromPa(err);
        }
        s->Started = true;
    }
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
    uint64_t frames = 0;
    int64_t atNs = 0;
    double latency = -1;
    s->ReadWritten(frames, atNs, latency);
    if (frames > 0)
        s->Heard.Written(frames, atNs, latency);
    pBytes = static_cast<uint32_t>(s->Heard.At(NowNs()) * 4);
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
    // With the stream aborted the callback is out of the ring, which is then ours.
    AbortIfStarted(*s);
    s->Clear();
    return kWaveOk;
}

WaveResult PortAudioWaveOut::Close(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (s->Tail.load() != s->Head.load())
        return kWaveErrStillPlaying;
    AbortIfStarted(*s);
    const PaError err = Pa_CloseStream(s->Pa);
    streams_.erase(pHandle);
    return FromPa(err);
}

std::string PortAudioWaveOut::ErrorText(WaveResult pResult)
{
    return TextOf(pResult).substr(0, 200);
}

double PortAudioWaveOut::LatencySeconds(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    return s ? s->LatencySec : 0;
}

/// Frames per input callback: 23 ms at 44.1 kHz, far below the engine's buffers.
constexpr unsigned long kInputBlockFrames = 1024;

/// One open input: the callback fills the queued headers in order from the ring (as the
/// output's, with the roles of the threads swapped) and counts what it was handed.
struct PortAudioWaveIn::Stream {
    PaStream* Pa = nullptr;
    std::array<WaveHeader*, kRingCapacity> Ring {};
    std::atomic<uint32_t> Head { 0 };
    std::atomic<uint32_t> Tail { 0 };
    std::atomic<uint64_t> Position { 0 };
    bool Started = false;
    double Rate = 44100; ///< frames per second
    /// The callback's own: when the run's first frame was captured, and frames since.
    int64_t FirstFrameNs = 0;
    uint64_t Frames = 0;
    double LatencySec = 0; ///< as PortAudio reports it at the open
    /// When the latest callback came, published with Position under a sequence count (odd
    /// while it writes), as the output's written frames are.
    std::atomic<uint32_t> Sequence { 0 };
    std::atomic<uint64_t> DeliveredFrames { 0 };
    std::atomic<int64_t> DeliveredAtNs { 0 };
    /// The input's clock at DeliveredAtNs in frames delivered: where the host stamps when
    /// a block's first frame was captured, the frames captured by then less the latency
    /// reported at the open (which callers add back); else DeliveredFrames. A block arrives
    /// whenever enough of the server's fragments are in, so the arrival times wander by a
    /// fragment while the stamps do not.
    std::atomic<double> ClockAtDelivery { 0 };

    /// Audio thread. Waits while the device runs more than kMaxAheadNs ahead of the clock.
    void PaceToClock(unsigned long pFrames);
};

namespace {

/// How far ahead of the clock an input may deliver. A device captures in real time and
/// cannot run ahead of the clock by more than what it had buffered (a period or two); a
/// device that reads a file or hands out silence (ALSA's "file" over "null") delivers as
/// fast as it is read, and would fill every queued buffer at once and drop the rest.
constexpr int64_t kMaxAheadNs = 250'000'000;

} // namespace

void PortAudioWaveIn::Stream::PaceToClock(unsigned long pFrames)
{
    const int64_t now = NowNs();
    const auto framesNs = [this](uint64_t pCount) {
        return static_cast<int64_t>(static_cast<double>(pCount) * 1e9 / Rate);
    };
    // The first block was captured over the time just before its callback.
    if (Frames == 0)
        FirstFrameNs = now - framesNs(pFrames);
    Frames += pFrames;
    const int64_t aheadNs = FirstFrameNs + framesNs(Frames) - now;
    // Only a device that is not a real-time device gets here: waiting in its callback reads
    // it at the clock's pace, so the engine's buffers keep up and nothing is lost.
    if (aheadNs > kMaxAheadNs)
        std::this_thread::sleep_for(std::chrono::nanoseconds(aheadNs - kMaxAheadNs));
}

namespace {

/// Audio thread: no allocation, no locks; copies recorded bytes into queued buffers. It
/// waits only for an input that runs ahead of the clock (PaceToClock).
int InputCallback(const void* pInput, void*, unsigned long pFrames,
    const PaStreamCallbackTimeInfo* pTime, PaStreamCallbackFlags, void* pUser)
{
    auto* s = static_cast<PortAudioWaveIn::Stream*>(pUser);
    s->PaceToClock(pFrames);
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
    const uint64_t position = s->Position.fetch_add(have, std::memory_order_relaxed) + have;
    const uint64_t delivered = position / 4;
    const double age = pTime ? StampedDelay(pTime->inputBufferAdcTime, pTime->currentTime) : -1;
    const double clock = age < 0
        ? static_cast<double>(delivered)
        : static_cast<double>(delivered - pFrames) + (age - s->LatencySec) * s->Rate;
    const uint32_t seq = s->Sequence.load(std::memory_order_relaxed);
    s->Sequence.store(seq + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    s->DeliveredFrames.store(delivered, std::memory_order_relaxed);
    s->DeliveredAtNs.store(NowNs(), std::memory_order_relaxed);
    s->ClockAtDelivery.store(clock, std::memory_order_relaxed);
    s->Sequence.store(seq + 2, std::memory_order_release);
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
    stream->Rate = pFormat.SampleRate;
    // Whole blocks of kInputBlockFrames: left to the host, PulseAudio's ALSA device hands out
    // tiny blocks and its capture thread spends a third of a core waking for them.
    const PaError err = Pa_OpenStream(&stream->Pa, &params, nullptr, pFormat.SampleRate,
        kInputBlockFrames, paClipOff | paDitherOff, InputCallback, stream.get());
    if (err != paNoError)
        return FromPa(err);
    const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream->Pa);
    stream->LatencySec = streamInfo ? streamInfo->inputLatency : params.suggestedLatency;
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
    // The stream is stopped, so the callback's clock is ours: each run paces from its start.
    s->Frames = 0;
    const PaError err = Pa_StartStream(s->Pa);
    s->Started = err == paNoError;
    return FromPa(err);
}

WaveResult PortAudioWaveIn::Stop(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    // Aborted, not drained: stopping never waits for the device's buffers to play out.
    if (s->Started)
        Pa_AbortStream(s->Pa);
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
    s->DeliveredFrames.store(0);
    s->DeliveredAtNs.store(0);
    s->ClockAtDelivery.store(0);
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

double PortAudioWaveIn::LatencySeconds(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    return s ? s->LatencySec : 0;
}

double PortAudioWaveIn::ClockFrames(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return 0;
    uint64_t frames = 0;
    int64_t atNs = 0;
    double clock = 0;
    for (;;) {
        const uint32_t before = s->Sequence.load(std::memory_order_acquire);
        frames = s->DeliveredFrames.load(std::memory_order_relaxed);
        atNs = s->DeliveredAtNs.load(std::memory_order_relaxed);
        clock = s->ClockAtDelivery.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1) == 0 && s->Sequence.load(std::memory_order_relaxed) == before)
            break;
    }
    if (frames == 0 || !s->Started)
        return static_cast<double>(frames);
    const double elapsed = static_cast<double>(std::max<int64_t>(0, NowNs() - atNs)) * 1e-9;
    return clock + std::min(elapsed, 0.25) * s->Rate;
}

} // namespace tarvok
