#include "engine/playback_engine.h"

#include "base/numeric.h"
#include "core/project.h"
#include "core/user_interface.h"

#include <algorithm>
#include <cmath>

namespace tarvok {

namespace {

constexpr const char* kPlaybackStopped = "再生停止";

} // namespace

PlaybackEngine::PlaybackEngine(WaveOutService& pOut, Project& pProject, UserInterface& pUi,
    const EngineOptions& pOptions, EngineClock& pClock)
    : project_(pProject)
    , ui_(pUi)
    , options_(pOptions)
    , clock_(pClock)
    , slots_(pOut)
{
    ComputeDeviceSlots();
}

PlaybackEngine::~PlaybackEngine()
{
    if (DeviceOpen || slots_.AnyOpen())
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
    OutputEnabled = EnabledSlots(options_.DevOutID);
    InputEnabled = EnabledSlots(options_.DevInID);
}

void PlaybackEngine::SetupBuffers()
{
    const bool multi = !IsVoiceMode(Mode);
    if (multi)
        BufferSetup = AutomationWriting ? Setup { 3, 70, 5 } : Setup { 2, 500, 1 };
    else if (Mode == PlayMode::Shuttle)
        BufferSetup = { 5, 50, 1 };
    else if (Mode == PlayMode::ScaleScrub)
        BufferSetup = { 10, 50, 1 };
    else if (Mode == PlayMode::ScrubBurst)
        BufferSetup = { 3, 50, 1 };
    else if (Mode == PlayMode::MarkPreview)
        BufferSetup = { 0, 1000, 1 };
    else if (Mode == PlayMode::FilePreview)
        BufferSetup = { 4, 150, 1 };
    BufferSamples = std::max(
        3, static_cast<int32_t>(static_cast<int64_t>(BufferSetup.Ms) * Proj().SampleRate / 1000));
    const int32_t ring = RingSize();
    slots_.AllocateRings(OutputUsed, ring, BufferSamples);
    BufferState.assign(ring, 0);
    BufferSpeed.assign(ring, 0.0f);
    BufferStart.assign(ring, -1);
    BufferEnd.assign(ring, -1);
    BufferPrevEnd.assign(ring, -1);
    NextBuffer.fill(0);
    mixer_.MarkDirty();
    if (multi)
        mixer_.SetUp(BufferSamples * BufferSetup.CacheMultiple, BufferSamples);
}

bool PlaybackEngine::OpenSlot(int32_t pSlot)
{
    const WaveResult result = slots_.Open(pSlot, options_.DevOutID[pSlot], Proj().SampleRate);
    if (result != kWaveOk) {
        ShowDeviceError(result, true);
        return false;
    }
    return true;
}

void PlaybackEngine::QueueOnUsedSlots(int32_t pIndex)
{
    for (int32_t s = 0; s < kOutputSlots; ++s)
        if (RingCanPlay(s))
            slots_.Write(s, pIndex);
}

bool PlaybackEngine::MixFirstBuffers(uint64_t pStamp, int32_t& pPosition, int32_t& pWritten)
{
    Project& p = Proj();
    for (int32_t i = 0; i <= BufferSetup.LastIndex; ++i) {
        Ui().Yield();
        if (FillStamp != pStamp) {
            LastStartSuperseded = true;
            return false;
        }
        for (int32_t s = 0; s < kOutputSlots; ++s)
            if (RingCanPlay(s))
                slots_.Prepare(s, i);
        BufferSpeed[i] = 1.0f;
        if (PlayEnd > 0 && pPosition >= PlayEnd) {
            if (Mode == PlayMode::Around) {
                const int32_t e = PreRollFrames() + p.MarkOut;
                if (PlayEnd == e)
                    break;
                pPosition = p.MarkOut;
                PlayEnd = e;
            } else if (Mode == PlayMode::Loop && p.MarkIn < PlayEnd) {
                pPosition = p.MarkIn;
            } else {
                break;
            }
        }
        if (!MixBuffer(i, pPosition, pStamp)) {
            LastStartSuperseded = FillStamp != pStamp;
            return false;
        }
        pPosition += BufferSamples;
        pWritten += BufferSamples;
    }
    return true;
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

    PlayStart = std::max(0, p.Head);
    int32_t pos = PlayStart;
    int32_t written = 0;
    if (!MixFirstBuffers(stamp, pos, written))
        return false;
    // The slots are paused while the ring goes in, so that all of them start together
    // and no device runs dry between two of the first writes. Headers of buffers left
    // unmixed by an early end are prepared too; they play silence.
    PauseOutputs(false);
    for (int32_t i = 0; i <= BufferSetup.LastIndex; ++i) {
        for (int32_t s = 0; s < kOutputSlots; ++s)
            if (RingCanPlay(s))
                slots_.Prepare(s, i);
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
    if (!DeviceOpen || !slots_.IsOpen(MasterSlot) || !slots_.HasRing(MasterSlot)) {
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
        if (BufferState[i] != 0 && !slots_.IsDone(MasterSlot, i)) {
            if (BufferState[i] > 1)
                busy = true;
            continue;
        }
        NextBuffer[MasterSlot] = (i + 1) % ring;
        BufferState[i] = 1;
        if (PlayEnd > 0 && NextFill >= PlayEnd) {
            if (Mode == PlayMode::Around) {
                const int32_t e = PreRollFrames() + p.MarkOut;
                if (PlayEnd == e) {
                    endReached = true;
                    continue;
                }
                NextFill = p.MarkOut;
                PlayEnd = e;
            } else if (Mode == PlayMode::Loop && p.MarkIn < PlayEnd) {
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
    if (Mode == PlayMode::All)
        return t.PlaySelected != 0;
    if (IsTrackPlay(Mode))
        return t.Selected != 0;
    return true;
}

bool PlaybackEngine::ReloadCache(int32_t pPosition, uint64_t pStamp)
{
    TrackWindow::Filter filter;
    filter.Qualifies = [this](int32_t pTrack) {
        if (!TrackQualifies(pTrack))
            return false;
        const int32_t ch = project_.Tracks[static_cast<size_t>(pTrack)].PlayCh;
        return ch >= 0 && ch < kOutputSlots && OutputUsed[ch];
    };
    // Reading a window can take a while: the window system gets its turn between blocks,
    // and a newer start or refill makes this one give up.
    if (options_.MaxPow == 1 && Playing)
        filter.BeforeBlock = [this, pStamp] {
            Ui().Yield();
            return FillStamp == pStamp;
        };
    // A working file that cannot be read plays as silence.
    filter.StopOnReadError = false;
    const bool read = mixer_.Reload(project_, pPosition, filter);
    // So does one that lost its tail on the disk; the user is told once per file.
    for (const std::string& damaged : mixer_.TakeDamaged())
        Ui().ShowMessage(DamagedFileText(damaged));
    return read;
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
    if (!mixer_.Covers(pPosition, bs) && !ReloadCache(pPosition, pStamp))
        return false;
    const int32_t k = bs - 1;
    int32_t m = k;
    if (PlayEnd > 0 && PlayEnd < static_cast<int64_t>(pPosition) + bs)
        m = std::clamp(PlayEnd - pPosition, 2, k);
    const uint32_t length = static_cast<uint32_t>(m + 1) * kFrameBytes;
    const int32_t frames = m + 1;
    const bool silent = mixer_.Empty() || pPosition < 0;
    const double trim = DbToFactor(options_.PlayTrimDB);
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        if (!OutputUsed[s] || !slots_.HasRing(s))
            continue;
        int16_t* out = slots_.Samples(s, pIndex);
        if (silent)
            std::fill_n(out, static_cast<size_t>(frames) * 2, int16_t { 0 });
        else
            mixer_.MixSlot(p, s, pPosition, frames, trim, out);
    }
    if (FillStamp != pStamp)
        return false;
    BufferStart[pIndex] = pPosition;
    BufferPrevEnd[pIndex] = BufferEnd[pIndex];
    BufferEnd[pIndex] = pPosition + bs;
    BufferState[pIndex] = 3;
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        if (!OutputUsed[s] || !slots_.HasRing(s))
            continue;
        WaveHeader* header = slots_.Header(s, pIndex);
        header->Data = reinterpret_cast<uint8_t*>(slots_.Samples(s, pIndex));
        header->Length = length;
    }
    return true;
}

void PlaybackEngine::StopPlayback(bool pFlush)
{
    if (pFlush && slots_.QueueSilence(OutputUsed))
        clock_.Wait(50, Ui());
    for (int32_t s = 0; s < kOutputSlots; ++s)
        slots_.Close(s);
    DeviceOpen = 0;
    Starting = 0;
    SetPlaying(false);
}

void PlaybackEngine::StopPlay(bool pUpdateDisplay)
{
    Mode = PlayMode::Stopped;
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

void PlaybackEngine::PauseOutputs(bool pResume) { slots_.PauseAll(pResume); }

int32_t PlaybackEngine::ShowDeviceError(WaveResult pResult, bool pIsOutput)
{
    (void)pIsOutput;
    if (pResult == kWaveOk)
        return 0;
    std::string text = slots_.Service().ErrorText(pResult);
    if (text.size() > 200)
        text.resize(200);
    if (text.empty())
        text = CommonWaveErrorText(pResult);
    Ui().MessageBox(text, MsgButtons::Ok, MsgIcon::Error);
    return 1;
}

uint32_t PlaybackEngine::OutputPosition(int32_t pSlot) { return slots_.Position(pSlot); }

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
    if (Mode == PlayMode::Around) {
        int64_t base = PlayStart;
        if (p.Head > p.MarkIn && PlayStart < p.MarkIn)
            base = static_cast<int64_t>(PlayStart) + p.MarkOut - p.MarkIn;
        head = base + d;
    } else if (Mode == PlayMode::Loop) {
        const int64_t span = static_cast<int64_t>(p.MarkOut) - p.MarkIn;
        if (span > 1)
            head = p.MarkIn + d % span;
    } else if (IsTrackPlay(Mode)) {
        head = PlayStart + d;
    }
    const bool beyondLimit = head > kMaxLength;
    p.Head = static_cast<int32_t>(std::min<int64_t>(head, kMaxLength + int64_t { 1 }));
    if (beyondLimit || (!RecordingStarted && p.ProjectLength > 0 && p.Head > 1.2 * p.ProjectLength))
        StopAsButton();
}

void PlaybackEngine::UpdateClockDrift(uint32_t pInputBytes, int32_t pStartOffset)
{
    ClockDrift
        = Drift.Update(pInputBytes, OutputPosition(MasterSlot), pStartOffset, Proj().SampleRate);
}

void PlaybackEngine::TimerProg()
{
    if (OnRecordProgTick && !Paused)
        OnRecordProgTick();
    if (OnAutomationTick)
        OnAutomationTick();
    if (!DeviceOpen || Starting || Paused)
        return;
    switch (Mode) {
    case PlayMode::Stopped:
    case PlayMode::ScaleScrub:
    case PlayMode::MarkPreview: // refilled by its own drag events
    case PlayMode::FilePreview:
        return;
    case PlayMode::Shuttle:
        if (OnShuttleTick)
            OnShuttleTick();
        return;
    case PlayMode::ScrubBurst:
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
    if ((result == kRefillEndIdle || result == kRefillError) && Mode != PlayMode::Stopped)
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
    if (IsTrackPlay(Mode)) {
        UpdateHead();
        if (!DeviceOpen)
            return;
    }
    if (Mode != PlayMode::Stopped && OnHeadTick)
        OnHeadTick();
}

} // namespace tarvok
