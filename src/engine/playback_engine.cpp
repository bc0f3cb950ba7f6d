#include "engine/playback_engine.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "core/project.h"
#include "core/user_interface.h"

#include <algorithm>
#include <cmath>

namespace tarvok {

namespace {

constexpr const char* kPlaybackStopped = N_("再生停止");

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
    if (deviceOpen_ || slots_.AnyOpen())
        StopPlayback(false);
}

Project& PlaybackEngine::Proj() { return project_; }
UserInterface& PlaybackEngine::Ui() { return ui_; }

void PlaybackEngine::SetPlaying(bool pPlaying)
{
    playing_ = pPlaying;
    if (hooks_.PlayingChanged)
        hooks_.PlayingChanged(pPlaying);
}

void PlaybackEngine::AttachRecorderTicks(
    std::function<void()> pProgTick, std::function<void()> pVUTick)
{
    recordProgTick_ = std::move(pProgTick);
    recordVUTick_ = std::move(pVUTick);
}

void PlaybackEngine::DetachRecorderTicks()
{
    recordProgTick_ = nullptr;
    recordVUTick_ = nullptr;
}

void PlaybackEngine::RecordingBegan()
{
    recordingStarted_ = deviceOpen_;
    recording_ = RecordingState::Writing;
}

void PlaybackEngine::EndRecording()
{
    recordingStarted_ = false;
    recording_ = RecordingState::Off;
}

void PlaybackEngine::PrepareRun(PlayMode pMode, int32_t pStart, int32_t pEnd)
{
    mode_ = pMode;
    playStart_ = pStart;
    playEnd_ = pEnd;
}

uint64_t PlaybackEngine::NewStamp()
{
    fillStamp_ = ++stampCounter_;
    return fillStamp_;
}

int32_t PlaybackEngine::PreRollFrames() const
{
    return static_cast<int32_t>(static_cast<int64_t>(kPreRollMs) * project_.SampleRate / 1000);
}

void PlaybackEngine::ComputeDeviceSlots()
{
    if (binder_)
        binder_(true);
    outputEnabled_ = EnabledSlots(options_.DevOutID);
    inputEnabled_ = EnabledSlots(options_.DevInID);
}

void PlaybackEngine::SetupBuffers()
{
    const bool multi = !IsVoiceMode(mode_);
    if (multi)
        bufferSetup_ = automationWriting_ ? Setup { 3, 70, 5 } : Setup { 2, 500, 1 };
    else if (mode_ == PlayMode::Shuttle)
        bufferSetup_ = { 5, 50, 1 };
    else if (mode_ == PlayMode::ScaleScrub)
        bufferSetup_ = { 10, 50, 1 };
    else if (mode_ == PlayMode::ScrubBurst)
        bufferSetup_ = { 3, 50, 1 };
    else if (mode_ == PlayMode::MarkPreview)
        bufferSetup_ = { 0, 1000, 1 };
    else if (mode_ == PlayMode::FilePreview)
        bufferSetup_ = { 4, 150, 1 };
    bufferSamples_ = std::max(
        3, static_cast<int32_t>(static_cast<int64_t>(bufferSetup_.Ms) * Proj().SampleRate / 1000));
    const int32_t ring = RingSize();
    slots_.AllocateRings(outputUsed_, ring, bufferSamples_);
    bufferState_.assign(ring, 0);
    bufferSpeed_.assign(ring, 0.0f);
    bufferStart_.assign(ring, -1);
    bufferEnd_.assign(ring, -1);
    bufferPrevEnd_.assign(ring, -1);
    nextBuffer_.fill(0);
    mixer_.MarkDirty();
    if (multi)
        mixer_.SetUp(bufferSamples_ * bufferSetup_.CacheMultiple, bufferSamples_);
}

bool PlaybackEngine::OpenSlot(int32_t pSlot)
{
    const WaveResult result = slots_.Open(pSlot, options_.DevOutID[pSlot], Proj().SampleRate);
    if (result != kWaveOk) {
        ShowDeviceError(result, pSlot);
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
    for (int32_t i = 0; i <= bufferSetup_.LastIndex; ++i) {
        Ui().Yield();
        if (fillStamp_ != pStamp) {
            lastStartSuperseded_ = true;
            return false;
        }
        for (int32_t s = 0; s < kOutputSlots; ++s)
            if (RingCanPlay(s))
                slots_.Prepare(s, i);
        bufferSpeed_[i] = 1.0f;
        if (playEnd_ > 0 && pPosition >= playEnd_) {
            if (mode_ == PlayMode::Around) {
                const int32_t e = PreRollFrames() + p.MarkOut;
                if (playEnd_ == e)
                    break;
                pPosition = p.MarkOut;
                playEnd_ = e;
            } else if (mode_ == PlayMode::Loop && p.MarkIn < playEnd_) {
                pPosition = p.MarkIn;
            } else {
                break;
            }
        }
        if (!MixBuffer(i, pPosition, pStamp)) {
            lastStartSuperseded_ = fillStamp_ != pStamp;
            return false;
        }
        pPosition += bufferSamples_;
        pWritten += bufferSamples_;
    }
    return true;
}

bool PlaybackEngine::StartPlayback()
{
    Project& p = Proj();
    starting_ = true;
    lastStartSuperseded_ = false;
    const uint64_t stamp = NewStamp();
    if (binder_ && recording_ == RecordingState::Off) {
        binder_(false);
        outputEnabled_ = EnabledSlots(options_.DevOutID);
    }
    outputUsed_.fill(0);
    for (int32_t t = 0; t <= p.LastTrackNo && t < static_cast<int32_t>(p.Tracks.size()); ++t) {
        const int32_t ch = p.Tracks[t].PlayCh;
        if (ch >= 0 && ch < kOutputSlots && outputEnabled_[ch] == 1)
            outputUsed_[ch] = 1;
    }
    playSpeed_ = 1.0f;
    SetupBuffers();
    SetPlaying(true);
    // A slot that fails to open is reported and left out; the lowest slot that did open
    // is the clock of the run, so a failed lowest slot cannot leave the ring stuck.
    int32_t master = -1;
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        if (!outputUsed_[s])
            continue;
        if (OpenSlot(s) && master < 0)
            master = s;
    }
    if (master < 0) {
        masterSlot_ = 0;
        starting_ = false;
        return false;
    }
    masterSlot_ = master;

    playStart_ = std::max(0, p.Head);
    int32_t pos = playStart_;
    int32_t written = 0;
    if (!MixFirstBuffers(stamp, pos, written))
        return false;
    // The slots are paused while the ring goes in, so that all of them start together
    // and no device runs dry between two of the first writes. Headers of buffers left
    // unmixed by an early end are prepared too; they play silence.
    slots_.PauseAll(false);
    for (int32_t i = 0; i <= bufferSetup_.LastIndex; ++i) {
        for (int32_t s = 0; s < kOutputSlots; ++s)
            if (RingCanPlay(s))
                slots_.Prepare(s, i);
        QueueOnUsedSlots(i);
    }
    slots_.PauseAll(true);
    nextFill_ = pos;
    written_ = written;
    clockDrift_ = 0;
    deviceOpen_ = true;
    starting_ = false;
    return true;
}

int32_t PlaybackEngine::RefillBuffers()
{
    Project& p = Proj();
    starting_ = true;
    const uint64_t stamp = NewStamp();
    if (!deviceOpen_ || !slots_.IsOpen(masterSlot_) || !slots_.HasRing(masterSlot_)) {
        starting_ = false;
        return kRefillError;
    }
    const int32_t ring = RingSize();
    int32_t i = nextBuffer_[masterSlot_];
    if (i < 0 || i >= ring)
        i = 0;
    int32_t result = -1;
    bool endReached = false;
    bool busy = false;
    for (int32_t c = 0; c < ring; ++c, i = (i + 1) % ring) {
        if (fillStamp_ != stamp)
            return kRefillNothing;
        if (bufferState_[i] != 0 && !slots_.IsDone(masterSlot_, i)) {
            if (bufferState_[i] > 1)
                busy = true;
            continue;
        }
        nextBuffer_[masterSlot_] = (i + 1) % ring;
        bufferState_[i] = 1;
        if (playEnd_ > 0 && nextFill_ >= playEnd_) {
            if (mode_ == PlayMode::Around) {
                const int32_t e = PreRollFrames() + p.MarkOut;
                if (playEnd_ == e) {
                    endReached = true;
                    continue;
                }
                nextFill_ = p.MarkOut;
                playEnd_ = e;
            } else if (mode_ == PlayMode::Loop && p.MarkIn < playEnd_) {
                nextFill_ = p.MarkIn;
            } else {
                endReached = true;
                continue;
            }
        }
        if (!MixBuffer(i, nextFill_, stamp)) {
            if (fillStamp_ != stamp)
                return kRefillNothing;
            starting_ = false;
            return kRefillError;
        }
        QueueOnUsedSlots(i);
        written_ += bufferSamples_;
        if (recordingStarted_) {
            if (std::abs(clockDrift_ - appliedDrift_) > p.SampleRate * 0.02)
                appliedDrift_ = clockDrift_;
            nextFill_ = playStart_ + written_ + appliedDrift_;
        } else {
            nextFill_ += bufferSamples_;
        }
        result = i;
    }
    starting_ = false;
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
    if (mode_ == PlayMode::All)
        return t.PlaySelected != 0;
    if (IsTrackPlay(mode_))
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
        return ch >= 0 && ch < kOutputSlots && outputUsed_[ch];
    };
    // Reading a window can take a while: the window system gets its turn between blocks,
    // and a newer start or refill makes this one give up.
    if (options_.MaxPow == 1 && playing_)
        filter.BeforeBlock = [this, pStamp] {
            Ui().Yield();
            return fillStamp_ == pStamp;
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
    if (playEnd_ > 0 && pPosition >= playEnd_)
        return false;
    bufferState_[pIndex] = 2;
    const int32_t bs = bufferSamples_;
    if (!mixer_.Covers(pPosition, bs) && !ReloadCache(pPosition, pStamp))
        return false;
    const int32_t k = bs - 1;
    int32_t m = k;
    if (playEnd_ > 0 && playEnd_ < static_cast<int64_t>(pPosition) + bs)
        m = std::clamp(playEnd_ - pPosition, 2, k);
    const uint32_t length = static_cast<uint32_t>(m + 1) * kFrameBytes;
    const int32_t frames = m + 1;
    const bool silent = mixer_.Empty() || pPosition < 0;
    const double trim = DbToFactor(options_.PlayTrimDB);
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        if (!outputUsed_[s] || !slots_.HasRing(s))
            continue;
        int16_t* out = slots_.Samples(s, pIndex);
        if (silent)
            std::fill_n(out, static_cast<size_t>(frames) * 2, int16_t { 0 });
        else
            mixer_.MixSlot(p, s, pPosition, frames, trim, out);
    }
    if (fillStamp_ != pStamp)
        return false;
    bufferStart_[pIndex] = pPosition;
    bufferPrevEnd_[pIndex] = bufferEnd_[pIndex];
    bufferEnd_[pIndex] = pPosition + bs;
    bufferState_[pIndex] = 3;
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        if (!outputUsed_[s] || !slots_.HasRing(s))
            continue;
        WaveHeader* header = slots_.Header(s, pIndex);
        header->Data = reinterpret_cast<uint8_t*>(slots_.Samples(s, pIndex));
        header->Length = length;
    }
    return true;
}

void PlaybackEngine::StopPlayback(bool pFlush)
{
    if (pFlush && slots_.QueueSilence(outputUsed_))
        clock_.Wait(50, Ui());
    for (int32_t s = 0; s < kOutputSlots; ++s)
        slots_.Close(s);
    deviceOpen_ = false;
    starting_ = false;
    SetPlaying(false);
}

void PlaybackEngine::StopPlay(bool pUpdateDisplay)
{
    mode_ = PlayMode::Stopped;
    StopPlayback(pUpdateDisplay);
    // Any start or refill still yielding must give up now.
    NewStamp();
    std::fill(bufferSpeed_.begin(), bufferSpeed_.end(), 0.0f);
    if (pUpdateDisplay) {
        paused_ = false;
        if (hooks_.StopDisplay)
            hooks_.StopDisplay();
        Ui().ShowMessage(Tr(kPlaybackStopped));
        Ui().RequestRedraw(RedrawArea::Tracks);
    }
}

void PlaybackEngine::Pause()
{
    slots_.PauseAll(false);
    paused_ = true;
}

void PlaybackEngine::Resume()
{
    slots_.PauseAll(true);
    paused_ = false;
}

int32_t PlaybackEngine::ShowDeviceError(WaveResult pResult, int32_t pSlot)
{
    if (pResult == kWaveOk)
        return 0;
    WaveOutService& out = slots_.Service();
    std::string why = out.ErrorText(pResult);
    if (why.size() > 200)
        why.resize(200);
    Ui().MessageBox(
        DeviceErrorMessage(true, pSlot, options_.DevOutID[pSlot], out.Devices(), pResult, why),
        MsgButtons::Ok, MsgIcon::Error);
    return 1;
}

uint32_t PlaybackEngine::OutputPosition(int32_t pSlot) { return slots_.Position(pSlot); }

void PlaybackEngine::StopAsButton()
{
    if (hooks_.StopButton)
        hooks_.StopButton();
    else
        StopPlay(true);
}

void PlaybackEngine::UpdateHead()
{
    Project& p = Proj();
    const int64_t d = RoundHalfEven(static_cast<double>(OutputPosition(masterSlot_)) / kFrameBytes);
    int64_t head = p.Head;
    if (mode_ == PlayMode::Around) {
        int64_t base = playStart_;
        if (p.Head > p.MarkIn && playStart_ < p.MarkIn)
            base = static_cast<int64_t>(playStart_) + p.MarkOut - p.MarkIn;
        head = base + d;
    } else if (mode_ == PlayMode::Loop) {
        const int64_t span = static_cast<int64_t>(p.MarkOut) - p.MarkIn;
        if (span > 1)
            head = p.MarkIn + d % span;
    } else if (IsTrackPlay(mode_)) {
        head = playStart_ + d;
    }
    const bool beyondLimit = head > kMaxLength;
    p.Head = static_cast<int32_t>(std::min<int64_t>(head, kMaxLength + int64_t { 1 }));
    if (beyondLimit
        || (!recordingStarted_ && p.ProjectLength > 0 && p.Head > 1.2 * p.ProjectLength))
        StopAsButton();
}

void PlaybackEngine::UpdateClockDrift(uint32_t pInputBytes, int32_t pStartOffset)
{
    clockDrift_
        = drift_.Update(pInputBytes, OutputPosition(masterSlot_), pStartOffset, Proj().SampleRate);
}

void PlaybackEngine::TimerProg()
{
    if (recordProgTick_ && !paused_)
        recordProgTick_();
    if (hooks_.AutomationTick)
        hooks_.AutomationTick();
    if (!deviceOpen_ || starting_ || paused_)
        return;
    switch (mode_) {
    case PlayMode::Stopped:
    case PlayMode::ScaleScrub:
    case PlayMode::MarkPreview: // refilled by its own drag events
    case PlayMode::FilePreview:
        return;
    case PlayMode::Shuttle:
        if (hooks_.ShuttleTick)
            hooks_.ShuttleTick();
        return;
    case PlayMode::ScrubBurst:
        if (ElapsedMs(scrubCommandMs_, clock_.TimeOfDayMs()) >= 500)
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
        if (!deviceOpen_)
            return;
    }
    if ((result == kRefillEndIdle || result == kRefillError) && mode_ != PlayMode::Stopped)
        StopAsButton();
}

void PlaybackEngine::TimerVU()
{
    if (recordVUTick_ && !paused_)
        recordVUTick_();
    if (!deviceOpen_ || paused_)
        return;
    if (recordingStarted_)
        return; // the recording engine moves the head from the input clock
    if (IsTrackPlay(mode_)) {
        UpdateHead();
        if (!deviceOpen_)
            return;
    }
    if (mode_ != PlayMode::Stopped && hooks_.HeadTick)
        hooks_.HeadTick();
}

} // namespace tarvok
