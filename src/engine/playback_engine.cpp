#include "engine/playback_engine.h"

#include "base/numeric.h"
#include "core/file_io.h"
#include "core/project.h"
#include "core/user_interface.h"
#include "core/wave_info.h"
#include "render/mix_kernel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <span>
#include <thread>

namespace tarvok {

namespace {

constexpr int32_t kDayMs = 86400000;
constexpr const char* kPlaybackStopped = "再生停止";

} // namespace

int32_t SystemEngineClock::TimeOfDayMs()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local {};
    localtime_r(&t, &local);
    const auto ms
        = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count()
        % 1000;
    return static_cast<int32_t>(
        ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms);
}

void SystemEngineClock::Wait(int32_t pMs, UserInterface& pUi)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(pMs);
    while (std::chrono::steady_clock::now() < until) {
        pUi.Yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int32_t ElapsedMs(int32_t pEarlier, int32_t pLater)
{
    int32_t e = pLater - pEarlier;
    if (e < 0)
        e += kDayMs;
    return e;
}

PlaybackEngine::PlaybackEngine(WaveOutService& pOut, Project& pProject, UserInterface& pUi,
    const EngineOptions& pOptions, EngineClock& pClock)
    : out_(pOut)
    , project_(pProject)
    , ui_(pUi)
    , options_(pOptions)
    , clock_(pClock)
{
    ComputeDeviceSlots();
}

PlaybackEngine::~PlaybackEngine()
{
    if (DeviceOpen || std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) {
            return s.Handle != kNoWaveHandle;
        }))
        StopPlayback(false);
}

Project& PlaybackEngine::Proj() { return project_; }
UserInterface& PlaybackEngine::Ui() { return ui_; }

void PlaybackEngine::SetPlaying(bool pPlaying)
{
    Playing = pPlaying;
    if (OnPlayingChanged)
        OnPlayingChanged(pPlaying);
}

uint64_t PlaybackEngine::NewStamp()
{
    FillStamp = ++stampCounter_;
    return FillStamp;
}

int32_t PlaybackEngine::PreRollFrames() const
{
    return static_cast<int32_t>(static_cast<int64_t>(kPreRollMs) * project_.SampleRate / 1000);
}

void PlaybackEngine::ComputeDeviceSlots()
{
    const EngineOptions& o = options_;
    for (int32_t n = 0; n < kOutputSlots; ++n) {
        OutputEnabled[n] = o.DevOutID[n] == -1 ? 0 : 1;
        for (int32_t k = 0; k < n; ++k)
            if (o.DevOutID[k] == o.DevOutID[n])
                OutputEnabled[n] = 0;
    }
    for (int32_t n = 0; n < kInputSlots; ++n) {
        InputEnabled[n] = o.DevInID[n] == -1 ? 0 : 1;
        for (int32_t k = 0; k < n; ++k)
            if (o.DevInID[k] == o.DevInID[n])
                InputEnabled[n] = 0;
    }
}

void PlaybackEngine::SetupBuffers()
{
    const bool multi = PlayMode >= 0 && PlayMode <= 9;
    if (multi)
        BufferSetup = AutomationWriting ? Setup { 3, 70, 5 } : Setup { 2, 500, 1 };
    else if (PlayMode == kPlayShuttle)
        BufferSetup = { 5, 50, 1 };
    else if (PlayMode == kPlayScaleScrub)
        BufferSetup = { 10, 50, 1 };
    else if (PlayMode == kPlayScrubBurst)
        BufferSetup = { 3, 50, 1 };
    else if (PlayMode == kPlayMarkPreview)
        BufferSetup = { 0, 1000, 1 };
    else if (PlayMode == kPlayFilePreview)
        BufferSetup = { 4, 150, 1 };
    BufferSamples = std::max(
        3, static_cast<int32_t>(static_cast<int64_t>(BufferSetup.Ms) * Proj().SampleRate / 1000));
    const int32_t ring = RingSize();
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        Slot& slot = slots_[s];
        slot.Headers.reset();
        slot.Arrays.clear();
        if (!OutputUsed[s])
            continue;
        slot.Headers = std::make_unique<WaveHeader[]>(ring);
        slot.Arrays.assign(ring, std::vector<int16_t>(static_cast<size_t>(BufferSamples) * 2, 0));
        for (int32_t i = 0; i < ring; ++i) {
            slot.Headers[i].Data = reinterpret_cast<uint8_t*>(slot.Arrays[i].data());
            slot.Headers[i].Length = static_cast<uint32_t>(BufferSamples) * kFrameBytes;
        }
    }
    BufferState.assign(ring, 0);
    BufferSpeed.assign(ring, 0.0f);
    BufferStart.assign(ring, -1);
    BufferEnd.assign(ring, -1);
    BufferPrevEnd.assign(ring, -1);
    NextBuffer.fill(0);
    silence_.assign(static_cast<size_t>(BufferSamples) * 2, 0);
    cacheValid_ = false;
    cacheDirty_ = true;
    if (multi) {
        cacheLength_ = BufferSamples * BufferSetup.CacheMultiple;
        mix_.Reset(BufferSamples);
    }
}

bool PlaybackEngine::OpenSlot(int32_t pSlot)
{
    Slot& slot = slots_[pSlot];
    WaveFormat format;
    format.SampleRate = Proj().SampleRate;
    WaveHandle handle = kNoWaveHandle;
    const WaveResult result = out_.Open(options_.DevOutID[pSlot], format, handle);
    if (result != kWaveOk) {
        ShowDeviceError(result, true);
        slot.Handle = kNoWaveHandle;
        return false;
    }
    slot.Handle = handle;
    return true;
}

void PlaybackEngine::QueueOnUsedSlots(int32_t pIndex)
{
    for (int32_t s = 0; s < kOutputSlots; ++s)
        if (OutputUsed[s] && slots_[s].Handle != kNoWaveHandle)
            out_.Write(slots_[s].Handle, slots_[s].Headers[pIndex]);
}

bool PlaybackEngine::StartPlayback()
{
    Project& p = Proj();
    Starting = 1;
    LastStartSuperseded = false;
    const uint64_t stamp = NewStamp();
    OutputUsed.fill(0);
    for (int32_t t = 0; t <= p.LastTrackNo && t < static_cast<int32_t>(p.Tracks.size()); ++t) {
        const int32_t ch = p.Tracks[t].PlayCh;
        if (ch >= 0 && ch < kOutputSlots && OutputEnabled[ch] == 1)
            OutputUsed[ch] = 1;
    }
    PlaySpeed = 1.0f;
    SetupBuffers();
    SetPlaying(true);
    // A slot that fails to open is reported and left out; the lowest slot that did open
    // is the clock of the run, so a failed lowest slot cannot leave the ring stuck.
    int32_t master = -1;
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        if (!OutputUsed[s])
            continue;
        if (OpenSlot(s) && master < 0)
            master = s;
    }
    if (master < 0) {
        MasterSlot = 0;
        Starting = 0;
        return false;
    }
    MasterSlot = master;

    int32_t pos = std::max(0, p.Head);
    int32_t written = 0;
    PlayStart = pos;
    for (int32_t i = 0; i <= BufferSetup.LastIndex; ++i) {
        Ui().Yield();
        if (FillStamp != stamp) {
            LastStartSuperseded = true;
            return false;
        }
        for (int32_t s = 0; s < kOutputSlots; ++s)
            if (OutputUsed[s] && slots_[s].Handle != kNoWaveHandle)
                out_.Prepare(slots_[s].Handle, slots_[s].Headers[i]);
        BufferSpeed[i] = 1.0f;
        if (PlayEnd > 0 && pos >= PlayEnd) {
            if (PlayMode == kPlayAround) {
                const int32_t e = PreRollFrames() + p.MarkOut;
                if (PlayEnd == e)
                    break;
                pos = p.MarkOut;
                PlayEnd = e;
            } else if (PlayMode == kPlayLoop && p.MarkIn < PlayEnd) {
                pos = p.MarkIn;
            } else {
                break;
            }
        }
        if (!MixBuffer(i, pos, stamp)) {
            LastStartSuperseded = FillStamp != stamp;
            return false;
        }
        pos += BufferSamples;
        written += BufferSamples;
    }
    // Headers of buffers left unmixed by an early end are prepared too; they play silence.
    // The slots are paused while the ring goes in, so that all of them start together
    // and no device runs dry between two of the first writes.
    PauseOutputs(false);
    for (int32_t i = 0; i <= BufferSetup.LastIndex; ++i) {
        for (int32_t s = 0; s < kOutputSlots; ++s)
            if (OutputUsed[s] && slots_[s].Handle != kNoWaveHandle)
                out_.Prepare(slots_[s].Handle, slots_[s].Headers[i]);
        QueueOnUsedSlots(i);
    }
    PauseOutputs(true);
    NextFill = pos;
    Written = written;
    ClockDrift = 0;
    DeviceOpen = 1;
    Starting = 0;
    return true;
}

int32_t PlaybackEngine::RefillBuffers()
{
    Project& p = Proj();
    Starting = 1;
    const uint64_t stamp = NewStamp();
    const Slot& master = slots_[MasterSlot];
    if (!DeviceOpen || master.Handle == kNoWaveHandle || !master.Headers) {
        Starting = 0;
        return kRefillError;
    }
    const int32_t ring = RingSize();
    int32_t i = NextBuffer[MasterSlot];
    if (i < 0 || i >= ring)
        i = 0;
    int32_t result = -1;
    bool endReached = false;
    bool busy = false;
    for (int32_t c = 0; c < ring; ++c, i = (i + 1) % ring) {
        if (FillStamp != stamp)
            return kRefillNothing;
        if (BufferState[i] != 0 && !master.Headers[i].IsDone()) {
            if (BufferState[i] > 1)
                busy = true;
            continue;
        }
        NextBuffer[MasterSlot] = (i + 1) % ring;
        BufferState[i] = 1;
        if (PlayEnd > 0 && NextFill >= PlayEnd) {
            if (PlayMode == kPlayAround) {
                const int32_t e = PreRollFrames() + p.MarkOut;
                if (PlayEnd == e) {
                    endReached = true;
                    continue;
                }
                NextFill = p.MarkOut;
                PlayEnd = e;
            } else if (PlayMode == kPlayLoop && p.MarkIn < PlayEnd) {
                NextFill = p.MarkIn;
            } else {
                endReached = true;
                continue;
            }
        }
        if (!MixBuffer(i, NextFill, stamp)) {
            if (FillStamp != stamp)
                return kRefillNothing;
            Starting = 0;
            return kRefillError;
        }
        QueueOnUsedSlots(i);
        Written += BufferSamples;
        if (RecordingStarted) {
            if (std::abs(ClockDrift - AppliedDrift) > p.SampleRate * 0.02)
                AppliedDrift = ClockDrift;
            NextFill = PlayStart + Written + AppliedDrift;
        } else {
            NextFill += BufferSamples;
        }
        result = i;
    }
    Starting = 0;
    if (result >= 0)
        return result;
    if (endReached)
        return busy ? kRefillEndBusy : kRefillEndIdle;
    return kRefillNothing;
}

bool PlaybackEngine::TrackQualifies(int32_t pTrack) const
{
    const Project& p = project_;
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(p.Tracks.size()))
        return false;
    const Track& t = p.Tracks[pTrack];
    if (PlayMode == kPlayAll)
        return t.PlaySelected != 0;
    if (PlayMode >= 2 && PlayMode <= 9)
        return t.Selected != 0;
    return true;
}

bool PlaybackEngine::ReloadCache(int32_t pPosition, int32_t pLength, uint64_t pStamp)
{
    cacheDirty_ = false;
    cacheValid_ = false;
    const bool yield = options_.MaxPow == 1 && Playing;
    TrackWindow::Filter filter;
    filter.Qualifies = [this](int32_t pTrack) {
        if (!TrackQualifies(pTrack))
            return false;
        const int32_t ch = project_.Tracks[static_cast<size_t>(pTrack)].PlayCh;
        return ch >= 0 && ch < kOutputSlots && OutputUsed[ch];
    };
    if (yield)
        filter.BeforeBlock = [this, pStamp] {
            Ui().Yield();
            return FillStamp == pStamp;
        };
    // A working file that cannot be read plays as silence.
    filter.StopOnReadError = false;
    if (!cache_.Read(project_, pPosition, pLength, filter))
        return false;
    cacheValid_ = true;
    return true;
}

std::array<double, 2> PlaybackEngine::TrackGains(int32_t pTrack) const
{
    return tarvok::TrackGains(project_, pTrack, DbToFactor(options_.PlayTrimDB));
}

bool PlaybackEngine::MixBuffer(int32_t pIndex, int32_t pPosition, uint64_t pStamp)
{
    Project& p = Proj();
    if (PlayEnd > 0 && pPosition >= PlayEnd)
        return false;
    BufferState[pIndex] = 2;
    const int32_t bs = BufferSamples;
    if (cacheDirty_ || !cacheValid_ || pPosition < cache_.Start()
        || static_cast<int64_t>(pPosition) + bs > cache_.Start() + cacheLength_) {
        if (!ReloadCache(pPosition, cacheLength_, pStamp))
            return false;
    }
    const int32_t k = bs - 1;
    int32_t m = k;
    if (PlayEnd > 0 && PlayEnd < static_cast<int64_t>(pPosition) + bs)
        m = std::clamp(PlayEnd - pPosition, 2, k);
    const uint32_t length = static_cast<uint32_t>(m + 1) * kFrameBytes;
    const int32_t frames = m + 1;
    const bool silent = cache_.TrackCount() == 0 || pPosition < 0;
    const int64_t offset = pPosition - cache_.Start();
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        if (!OutputUsed[s] || !slots_[s].Headers)
            continue;
        int16_t* out = slots_[s].Arrays[pIndex].data();
        if (silent) {
            std::fill_n(out, static_cast<size_t>(frames) * 2, int16_t { 0 });
            continue;
        }
        mix_.Reset(frames);
        for (size_t c = 0; c < cache_.TrackCount(); ++c) {
            const int32_t t = cache_.TrackAt(c);
            if (p.Tracks[t].PlayCh == s)
                mix_.AddTrack(p, t, pPosition, cache_.Frames(c, offset), TrackGains(t));
        }
        mix_.WriteSamples(out);
    }
    if (FillStamp != pStamp)
        return false;
    BufferStart[pIndex] = pPosition;
    BufferPrevEnd[pIndex] = BufferEnd[pIndex];
    BufferEnd[pIndex] = pPosition + bs;
    BufferState[pIndex] = 3;
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        if (!OutputUsed[s] || !slots_[s].Headers)
            continue;
        slots_[s].Headers[pIndex].Data
            = reinterpret_cast<uint8_t*>(slots_[s].Arrays[pIndex].data());
        slots_[s].Headers[pIndex].Length = length;
    }
    return true;
}

void PlaybackEngine::StopPlayback(bool pFlush)
{
    if (pFlush) {
        bool flushed = false;
        for (int32_t s = 0; s < kOutputSlots; ++s) {
            Slot& slot = slots_[s];
            if (!OutputUsed[s] || slot.Handle == kNoWaveHandle || !slot.Headers)
                continue;
            out_.Reset(slot.Handle);
            for (int32_t i = 0; i < static_cast<int32_t>(slot.Arrays.size()); ++i) {
                WaveHeader& h = slot.Headers[i];
                if (!h.Data)
                    continue;
                const size_t bytes = std::min<size_t>(h.Length, silence_.size() * 2);
                std::memcpy(h.Data, silence_.data(), bytes);
                out_.Write(slot.Handle, h);
                flushed = true;
            }
        }
        if (flushed)
            clock_.Wait(50, Ui());
    }
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        Slot& slot = slots_[s];
        if (slot.Handle == kNoWaveHandle)
            continue;
        out_.Reset(slot.Handle);
        for (int32_t i = 0; slot.Headers && i < static_cast<int32_t>(slot.Arrays.size()); ++i)
            out_.Unprepare(slot.Handle, slot.Headers[i]);
        out_.Close(slot.Handle);
        slot.Handle = kNoWaveHandle;
    }
    DeviceOpen = 0;
    Starting = 0;
    SetPlaying(false);
}

void PlaybackEngine::StopPlay(bool pUpdateDisplay)
{
    PlayMode = kPlayStopped;
    StopPlayback(pUpdateDisplay);
    // Any start or refill still yielding must give up now.
    NewStamp();
    std::fill(BufferSpeed.begin(), BufferSpeed.end(), 0.0f);
    if (pUpdateDisplay) {
        Paused = 0;
        if (OnStopDisplay)
            OnStopDisplay();
        Ui().ShowMessage(kPlaybackStopped);
        Ui().RequestRedraw(RedrawArea::Tracks);
    }
}

void PlaybackEngine::PauseOutputs(bool pResume)
{
    for (Slot& slot : slots_) {
        if (slot.Handle == kNoWaveHandle)
            continue;
        if (pResume)
            out_.Restart(slot.Handle);
        else
            out_.Pause(slot.Handle);
    }
}

int32_t PlaybackEngine::ShowDeviceError(WaveResult pResult, bool pIsOutput)
{
    (void)pIsOutput;
    if (pResult == kWaveOk)
        return 0;
    std::string text = out_.ErrorText(pResult);
    if (text.size() > 200)
        text.resize(200);
    if (text.empty())
        text = CommonWaveErrorText(pResult);
    Ui().MessageBox(text, MsgButtons::Ok, MsgIcon::Error);
    return 1;
}

uint32_t PlaybackEngine::OutputPosition(int32_t pSlot)
{
    if (pSlot < 0 || pSlot >= kOutputSlots || slots_[pSlot].Handle == kNoWaveHandle)
        return 0;
    uint32_t bytes = 0;
    if (out_.GetPosition(slots_[pSlot].Handle, bytes) != kWaveOk)
        return 0;
    return bytes;
}

void PlaybackEngine::StopAsButton()
{
    if (OnStopButton)
        OnStopButton();
    else
        StopPlay(true);
}

void PlaybackEngine::UpdateHead()
{
    Project& p = Proj();
    const int64_t d = RoundHalfEven(static_cast<double>(OutputPosition(MasterSlot)) / kFrameBytes);
    int64_t head = p.Head;
    if (PlayMode == kPlayAround) {
        int64_t base = PlayStart;
        if (p.Head > p.MarkIn && PlayStart < p.MarkIn)
            base = static_cast<int64_t>(PlayStart) + p.MarkOut - p.MarkIn;
        head = base + d;
    } else if (PlayMode == kPlayLoop) {
        const int64_t span = static_cast<int64_t>(p.MarkOut) - p.MarkIn;
        if (span > 1)
            head = p.MarkIn + d % span;
    } else if (PlayMode >= 1 && PlayMode <= 9) {
        head = PlayStart + d;
    }
    const bool beyondLimit = head > kMaxLength;
    p.Head = static_cast<int32_t>(std::min<int64_t>(head, kMaxLength + int64_t { 1 }));
    if (beyondLimit || (!RecordingStarted && p.ProjectLength > 0 && p.Head > 1.2 * p.ProjectLength))
        StopAsButton();
}

void PlaybackEngine::UpdateClockDrift(uint32_t pInputBytes, int32_t pStartOffset)
{
    const uint32_t outBytes = OutputPosition(MasterSlot);
    ClockDrift = 0;
    if (static_cast<int64_t>(outBytes) / kFrameBytes <= 2 * static_cast<int64_t>(Proj().SampleRate))
        return;
    const double diff
        = (static_cast<double>(pInputBytes) - static_cast<double>(outBytes)) / kFrameBytes
        - pStartOffset;
    const int64_t u = RoundHalfEven(diff);
    int64_t sum = u;
    for (int32_t i = 0; i < 16; ++i)
        sum += DriftHistory[i];
    // Seventeen values over eighteen: the correction slightly under-shoots on purpose.
    ClockDrift = static_cast<int32_t>(RoundHalfEven(static_cast<double>(sum) / 18.0));
    for (int32_t i = 0; i < 16; ++i)
        DriftHistory[i] = DriftHistory[i + 1];
    DriftHistory[16] = static_cast<int32_t>(u);
}

void PlaybackEngine::TimerProg()
{
    if (OnRecordProgTick && !Paused)
        OnRecordProgTick();
    if (!DeviceOpen || Starting || Paused)
        return;
    switch (PlayMode) {
    case kPlayStopped:
    case kPlayScaleScrub:
    case kPlayMarkPreview: // refilled by its own drag events
    case kPlayFilePreview:
        return;
    case kPlayShuttle:
        if (OnShuttleTick)
            OnShuttleTick();
        return;
    case kPlayScrubBurst:
        if (ElapsedMs(Transport.ScrubTime, clock_.TimeOfDayMs()) >= 500)
            StopPlay(true);
        return;
    default:
        break;
    }
    int32_t result = kRefillNothing;
    for (;;) {
        result = RefillBuffers();
        if (result < 0)
            break;
        Ui().Yield();
        if (!DeviceOpen)
            return;
    }
    if ((result == kRefillEndIdle || result == kRefillError) && PlayMode != kPlayStopped)
        StopAsButton();
}

void PlaybackEngine::TimerVU()
{
    if (OnRecordVUTick && !Paused)
        OnRecordVUTick();
    if (!DeviceOpen || Paused)
        return;
    if (RecordingStarted)
        return; // the recording engine moves the head from the input clock
    if (PlayMode >= 1 && PlayMode <= 9) {
        UpdateHead();
        if (!DeviceOpen)
            return;
    }
    if (PlayMode != kPlayStopped && OnHeadTick)
        OnHeadTick();
}

bool PlaybackEngine::OpenVoice(int32_t pPlayMode)
{
    PlayMode = pPlayMode;
    OutputUsed.fill(0);
    OutputUsed[0] = 1;
    MasterSlot = 0;
    SetupBuffers();
    if (!OpenSlot(0))
        return false;
    SetPlaying(true);
    return true;
}

void PlaybackEngine::PrepareVoiceRing()
{
    Slot& slot = slots_[0];
    if (slot.Handle == kNoWaveHandle || !slot.Headers)
        return;
    for (int32_t i = 0; i < RingSize(); ++i)
        out_.Prepare(slot.Handle, slot.Headers[i]);
}

void PlaybackEngine::QueueVoiceBuffer(int32_t pIndex)
{
    Slot& slot = slots_[0];
    if (slot.Handle == kNoWaveHandle || !slot.Headers || pIndex < 0 || pIndex >= RingSize())
        return;
    out_.Write(slot.Handle, slot.Headers[pIndex]);
}

bool PlaybackEngine::IsBufferFree(int32_t pIndex) const
{
    if (pIndex < 0 || pIndex >= static_cast<int32_t>(BufferState.size()))
        return false;
    const Slot& master = slots_[MasterSlot];
    return BufferState[pIndex] == 0 || (master.Headers && master.Headers[pIndex].IsDone());
}

int16_t* PlaybackEngine::Samples(int32_t pSlot, int32_t pIndex)
{
    if (pSlot < 0 || pSlot >= kOutputSlots || pIndex < 0
        || pIndex >= static_cast<int32_t>(slots_[pSlot].Arrays.size()))
        return nullptr;
    return slots_[pSlot].Arrays[pIndex].data();
}

WaveHeader* PlaybackEngine::Header(int32_t pSlot, int32_t pIndex)
{
    if (pSlot < 0 || pSlot >= kOutputSlots || !slots_[pSlot].Headers || pIndex < 0
        || pIndex >= static_cast<int32_t>(slots_[pSlot].Arrays.size()))
        return nullptr;
    return &slots_[pSlot].Headers[pIndex];
}

void PlaybackEngine::ResetSlot(int32_t pSlot)
{
    if (pSlot >= 0 && pSlot < kOutputSlots && slots_[pSlot].Handle != kNoWaveHandle)
        out_.Reset(slots_[pSlot].Handle);
}

void PlaybackEngine::CloseVoice()
{
    Slot& slot = slots_[0];
    if (slot.Handle != kNoWaveHandle) {
        out_.Reset(slot.Handle);
        for (int32_t i = 0; slot.Headers && i < static_cast<int32_t>(slot.Arrays.size()); ++i)
            out_.Unprepare(slot.Handle, slot.Headers[i]);
        out_.Close(slot.Handle);
        slot.Handle = kNoWaveHandle;
    }
    DeviceOpen = 0;
    SetPlaying(false);
}

bool PlaybackEngine::ReadTrackFrames(
    int32_t pTrack, int64_t pStart, int32_t pFrames, std::vector<int16_t>& pOut)
{
    const Project& p = Proj();
    pOut.assign(static_cast<size_t>(std::max(0, pFrames)) * 2, 0);
    bool any = false;
    for (const Block& b : p.Blocks) {
        if (b.TrackNo != pTrack)
            continue;
        if (const std::optional<BlockOverlap> overlap = OverlapOf(b, pStart, pFrames))
            if (ReadBlockFrames(p, b, overlap->BlockOffset, overlap->Count,
                    pOut.data() + overlap->WindowOffset * 2))
                any = true;
    }
    return any;
}

void PlaybackEngine::FillPreviewBuffer(int32_t pIndex, int32_t pPosition)
{
    WaveHeader* h = Header(0, pIndex);
    int16_t* data = Samples(0, pIndex);
    if (!h || !data || pPosition >= PlayEnd)
        return;
    const int32_t frames = std::min(BufferSamples, PlayEnd - pPosition);
    const int64_t offset = previewDataOffset_ + static_cast<int64_t>(pPosition) * kFrameBytes;
    std::fill_n(data, static_cast<size_t>(frames) * 2, int16_t { 0 });
    ReadBytes(data, static_cast<int64_t>(frames) * kFrameBytes, 0, PreviewFile, offset, 0);
    h->Data = reinterpret_cast<uint8_t*>(data);
    h->Length = static_cast<uint32_t>(frames) * kFrameBytes;
    BufferStart[pIndex] = pPosition;
    BufferPrevEnd[pIndex] = BufferEnd[pIndex];
    BufferEnd[pIndex] = pPosition + frames;
    BufferState[pIndex] = 3;
    QueueVoiceBuffer(pIndex);
}

bool PlaybackEngine::StartFilePreview()
{
    // The file's own header gives where the samples start and how many there are.
    const WaveInfo info = ReadWaveInfo(PreviewFile);
    if (!info.Valid || info.Bits != 16 || info.Channels != 2)
        return false;
    previewDataOffset_ = info.DataOffset;
    PlayEnd = info.Frames;
    PlayStart = std::max(0, PlayStart);
    if (!OpenPreviewDevice())
        return false;
    PrepareVoiceRing();
    std::fill(BufferSpeed.begin(), BufferSpeed.end(), 1.0f);
    FillPreviewBuffer(0, PlayStart);
    NextBuffer[0] = RingSize() > 1 ? 1 : 0;
    NextFill = PlayStart + BufferSamples;
    DeviceOpen = 1;
    RefillFilePreview();
    return true;
}

int32_t PlaybackEngine::RefillFilePreview()
{
    const int32_t ring = RingSize();
    if (!DeviceOpen || !slots_[0].Headers)
        return kRefillError;
    int32_t i = NextBuffer[0] % ring;
    int32_t result = -1;
    bool endReached = false;
    bool busy = false;
    for (int32_t c = 0; c < ring; ++c, i = (i + 1) % ring) {
        if (BufferState[i] != 0 && !slots_[0].Headers[i].IsDone()) {
            if (BufferState[i] > 1)
                busy = true;
            continue;
        }
        NextBuffer[0] = (i + 1) % ring;
        BufferState[i] = 1;
        if (NextFill >= PlayEnd) {
            endReached = true;
            continue;
        }
        FillPreviewBuffer(i, NextFill);
        NextFill += BufferSamples;
        result = i;
    }
    if (result >= 0)
        return result;
    if (endReached)
        return busy ? kRefillEndBusy : kRefillEndIdle;
    return kRefillNothing;
}

} // namespace tarvok
