#include "app/transport/transport.h"

#include "app/shell/main_logic.h"
#include "app/transport/automation_window.h"
#include "base/numeric.h"
#include "core/command_ids.h"
#include "core/envelope_gain.h"
#include "core/project.h"
#include "core/time_text.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace tarvok {

namespace {

constexpr const char* kStopped = "停止";
constexpr const char* kPausedPrefix = "一時停止 ";
constexpr const char* kPlayingText = "再生中";
constexpr const char* kRecordingText = "録音中";
constexpr const char* kHeadPosition = "ヘッド位置  ";
constexpr const char* kHeadMoveError = "ヘッド移動エラー";
constexpr const char* kScrubOn = "スクラブON";
constexpr const char* kScrubOff = "スクラブOFF";
constexpr const char* kSearchTrack = "トラック";
constexpr const char* kSearchSuffix = "をサーチ  ";

int64_t FramesPerPixel(const Project& p) { return static_cast<int64_t>(p.Zoom) * p.SampleStep; }

int64_t ViewWidthFrames(const MainLogic& pLogic)
{
    return static_cast<int64_t>(pLogic.TrackAreaWidthPx) * FramesPerPixel(pLogic.Proj());
}

void SetViewStart(Project& p, int64_t pStart)
{
    p.ViewStart = static_cast<int32_t>(std::clamp<int64_t>(pStart, 0, kMaxLength));
}

bool HeadInView(const MainLogic& pLogic)
{
    const Project& p = pLogic.Proj();
    return p.Head >= p.ViewStart && p.Head < p.ViewStart + ViewWidthFrames(pLogic);
}

/// Puts the head at pFraction of the view's width.
void PlaceHead(MainLogic& pLogic, double pFraction)
{
    Project& p = pLogic.Proj();
    SetViewStart(p, p.Head - static_cast<int64_t>(ViewWidthFrames(pLogic) * pFraction));
}

std::string FormatSpeed(double pSpeed)
{
    const int64_t tenths = RoundHalfEven(pSpeed * 10.0);
    const int64_t whole = std::llabs(tenths) / 10;
    const int64_t frac = std::llabs(tenths) % 10;
    return std::string(tenths < 0 ? "-" : "") + std::to_string(whole) + "." + std::to_string(frac);
}

} // namespace

std::string HeadTimeText(const MainLogic& pLogic)
{
    const Project& p = pLogic.Proj();
    return TimeText(FramesToMs(static_cast<int64_t>(p.Head) - p.ZeroPos, p.SampleRate), 0, true);
}

Transport::Transport(MainLogic& pLogic, PlaybackEngine& pEngine)
    : logic_(pLogic)
    , engine_(pEngine)
{
    TransportHooks hooks;
    hooks.PlayingChanged = [&pLogic](bool pPlaying) { pLogic.Playing = pPlaying; };
    hooks.StopButton = [this] { Stop(); };
    hooks.ShuttleTick = [this] { ShuttleTick(); };
    hooks.AutomationTick
        = [this] { AutomationTick(logic_, AutomationWritePosition(logic_, engine_)); };
    hooks.HeadTick = [this] {
        if (IsTrackPlay(engine_.Mode()))
            FollowHead();
        else
            logic_.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    };
    engine_.AttachTransport(std::move(hooks));
    logic_.TransportHandler
        = [this](int32_t pId, int32_t pLevel) { return RunCommand(pId, pLevel); };
}

Transport::~Transport()
{
    engine_.DetachTransport();
    engine_.DetachRecorderTicks();
    logic_.TransportHandler = nullptr;
}

void Transport::AttachRecorder(RecordingEngine& pRecorder)
{
    logic_.Recorder = &pRecorder;
    engine_.AttachRecorderTicks([&pRecorder] { pRecorder.TimerProg(); },
        [this, &pRecorder] {
            if (!pRecorder.Recording || !pRecorder.RecStarted)
                return;
            pRecorder.TimerVU();
            // Without outputs nothing else moves the view with the head.
            if (!engine_.IsDeviceOpen())
                logic_.Ui().RequestRedraw(RedrawArea::TimeDisplay);
        });
    pRecorder.OnStopButton = [this] { Stop(); };
    // A take is placed even when its undo snapshot cannot be written: the audio is the
    // user's, and losing it would be worse than not being able to undo its placing.
    MainLogic& logic = logic_;
    pRecorder.BeginEditStep = [&logic] { return logic.StartProc(1, 0, false); };
    pRecorder.EndEditStep = [&logic] { logic.EndProc(); };
    pRecorder.LatencyStore = &logic.Store();
    pRecorder.OnWritten = [&logic] {
        logic.Ui().RequestRedraw(RedrawArea::Tracks);
        logic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    };
}

PlayMode Transport::Mode() const { return engine_.Mode(); }

bool Transport::IsRunning() const
{
    return engine_.Mode() != PlayMode::Stopped || engine_.IsDeviceOpen();
}

bool Transport::IsPaused() const { return engine_.IsPaused(); }

bool Transport::RecordingArmed() const { return engine_.RecordingArmed(); }

Motion Transport::State() const
{
    if (logic_.Recording || engine_.RecordingArmed())
        return Motion::Recording;
    if (engine_.IsPaused())
        return Motion::Paused;
    const PlayMode mode = engine_.Mode();
    if (mode == PlayMode::Stopped)
        return Motion::Stopped;
    if (mode == PlayMode::FilePreview)
        return Motion::Previewing;
    return IsVoiceMode(mode) ? Motion::Scrubbing : Motion::Rolling;
}

void Transport::RepeatCurrentModeOnPlay()
{
    if (engine_.Mode() != PlayMode::Stopped)
        lastPlayMode_ = engine_.Mode();
}

void Transport::DrawHead()
{
    logic_.Ui().RequestRedraw(RedrawArea::Tracks);
    logic_.Ui().RequestRedraw(RedrawArea::TimeDisplay);
}

void Transport::ShowPlayingDisplay()
{
    logic_.ShowMessage(logic_.Recording ? kRecordingText : kPlayingText);
    logic_.Ui().RequestRedraw(RedrawArea::Menus);
    logic_.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    lastPlayMode_ = engine_.Mode();
}

/// Starts the engine in its current PlayMode and shows the result.
bool Transport::StartRun()
{
    engine_.ChangeVoiceSpeed(1.0f);
    // In automation mode the run plays with short buffers, so that written levels are
    // heard soon, and a new writing pass begins (the previous one saved first).
    engine_.UseAutomationBuffers(logic_.Automation.Mode);
    EndAutomationPass(logic_);
    BeginAutomationPass(logic_);
    if (engine_.StartPlayback()) {
        ShowPlayingDisplay();
        return true;
    }
    // A start given up for a newer one leaves that one playing.
    if (!engine_.LastStartSuperseded())
        engine_.StopPlay(true);
    return false;
}

/// Opens the single-device voice for a scrub mode with PlaySpeed 0 at the head.
bool Transport::OpenScrubVoice(PlayMode pMode)
{
    Project& p = logic_.Proj();
    if (IsRunning())
        engine_.StopPlay(false);
    DrawHead();
    if (!engine_.OpenVoiceAt(pMode, std::max(0, p.Head), 0.0f)) {
        engine_.StopPlay(true);
        return false;
    }
    ShowPlayingDisplay();
    return true;
}

bool Transport::StartPreview(const std::string& pFile, int32_t pStart, int32_t pEnd)
{
    return engine_.StartFilePreview(pFile, pStart, pEnd);
}

bool Transport::PreviewPlaying() const
{
    return engine_.Mode() == PlayMode::FilePreview && engine_.IsDeviceOpen();
}

void Transport::TogglePreviewPause()
{
    if (!PreviewPlaying())
        return;
    if (engine_.IsPaused())
        engine_.Resume();
    else
        engine_.Pause();
}

int32_t Transport::RefillPreview() { return engine_.RefillFilePreview(); }

int64_t Transport::PreviewPosition()
{
    return static_cast<int64_t>(engine_.OutputPosition(0)) / kFrameBytes + engine_.PlayStart();
}

void Transport::StopPreview()
{
    if (engine_.Mode() != PlayMode::FilePreview)
        return;
    engine_.StopPlay(false);
    engine_.Resume();
}

void Transport::ForgetPreviewFile() { engine_.ForgetPreviewFile(); }

bool Transport::Record(bool pRecordNow)
{
    Project& p = logic_.Proj();
    if (engine_.RecordingArmed()) {
        logic_.Ui().RequestRedraw(RedrawArea::Menus);
        return true;
    }
    if (logic_.Busy)
        return false;
    RecordingEngine* rec = logic_.Recorder;
    if (!rec) {
        logic_.ShowMessage(kRecordingUnavailable);
        return false;
    }
    engine_.ComputeDeviceSlots();
    if (!rec->PrepareRecording())
        return false;
    const bool wasPlaying = IsRunning() && IsTrackPlay(engine_.Mode());
    if (IsRunning())
        engine_.StopPlay(false);
    if (!rec->OpenArmedInputs())
        return false;
    logic_.Recording = true;
    engine_.ArmRecording();
    if (wasPlaying || pRecordNow) {
        p.Head = std::max(0, p.Head);
        engine_.PrepareRun(PlayMode::All, p.Head, 0);
        rec->RecOnly = false;
        engine_.MarkRecordingWriting();
        rec->StartAtFirstFrame();
        if (!StartRun())
            rec->RecOnly = true; // nothing to play: the recording goes on alone
        logic_.ShowMessage(kRecordingText);
    } else {
        logic_.ShowMessage(Tr(kRecPressPlayText));
    }
    logic_.Ui().RequestRedraw(RedrawArea::Menus);
    logic_.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    // The monitor shows the inputs while waiting for PLAY; a recording that writes at
    // once does not wait for it.
    if (!wasPlaying && !pRecordNow && rec->MonitorOpen == 0 && logic_.Options().ShowRecMon == 1
        && logic_.ShowRecordingMonitor)
        logic_.ShowRecordingMonitor();
    return true;
}

/// PLAY while a recording is armed and nothing is written: starts playback of the playing
/// tracks (or records alone when none plays) and begins writing at the inputs' positions.
bool Transport::StartArmedRecording()
{
    Project& p = logic_.Proj();
    RecordingEngine& rec = *logic_.Recorder;
    bool anyPlaying = false;
    for (const Track& t : p.Tracks)
        anyPlaying = anyPlaying || t.PlaySelected != 0;
    rec.RecOnly = !anyPlaying;
    engine_.MarkRecordingWriting();
    if (anyPlaying) {
        p.Head = std::max(0, p.Head);
        engine_.PrepareRun(PlayMode::All, p.Head, 0);
        if (!StartRun())
            rec.RecOnly = true;
    } else {
        EndAutomationPass(logic_);
        BeginAutomationPass(logic_);
    }
    logic_.Ui().Yield();
    rec.StartAtCurrentPosition();
    logic_.ShowMessage(kRecordingText);
    logic_.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    return true;
}

void Transport::Stop()
{
    Project& p = logic_.Proj();
    if (logic_.Recording || IsRunning()) {
        logic_.ShowMessage(kStopped);
        if (IsRunning())
            engine_.StopPlay(true);
        if (logic_.Recording) {
            logic_.Recording = false;
            engine_.EndRecording();
            if (logic_.Recorder) {
                logic_.Recorder->StopRecording();
                if (logic_.Recorder->MonitorOpen == 1)
                    logic_.Recorder->MonitorClose = true;
            }
        }
        EndAutomationPass(logic_);
        engine_.UseAutomationBuffers(false);
        logic_.ShowMessage(kStopped);
        return;
    }
    p.Head = p.Head != engine_.PlayStart() ? engine_.PlayStart() : 0;
    DrawHead();
    if (!HeadInView(logic_))
        PlaceHead(logic_, 0.5);
}

void Transport::Pause()
{
    if (logic_.Recording || !engine_.IsDeviceOpen() || !IsTrackPlay(engine_.Mode()))
        return;
    if (!engine_.IsPaused()) {
        engine_.Pause();
        logic_.ShowMessage(std::string(kPausedPrefix) + HeadTimeText(logic_));
    } else {
        engine_.Resume();
        logic_.ShowMessage(kPlayingText);
    }
    logic_.Ui().RequestRedraw(RedrawArea::TimeDisplay);
}

bool Transport::Play()
{
    Project& p = logic_.Proj();
    if (logic_.Busy)
        return false;
    if (engine_.IsPaused()) {
        logic_.Ui().RequestRedraw(RedrawArea::Menus);
        return false;
    }
    if (IsRunning())
        engine_.StopPlay(false);
    if (!HeadInView(logic_))
        PlaceHead(logic_, 0.5);
    if (engine_.RecordingArmed() && !engine_.RecordingWriting()) {
        if (!logic_.Recorder) {
            logic_.ShowMessage(kRecordingUnavailable);
            return false;
        }
        return StartArmedRecording();
    }
    p.Head = std::max(0, p.Head);
    engine_.PrepareRun(PlayMode::All, p.Head, 0);
    return StartRun();
}

bool Transport::PlayRange(PlayMode pPlayMode)
{
    Project& p = logic_.Proj();
    if (logic_.Busy || engine_.IsPaused() || logic_.Recording || !IsRangePlay(pPlayMode))
        return false;
    const int32_t pre
        = static_cast<int32_t>(static_cast<int64_t>(kPreRollMs) * p.SampleRate / 1000);
    int64_t head = 0;
    int64_t end = 0;
    switch (pPlayMode) {
    case PlayMode::Selection:
    case PlayMode::Loop:
        head = p.MarkIn;
        end = static_cast<int64_t>(p.MarkOut) - 1;
        break;
    case PlayMode::Around:
        if (p.MarkIn == 0) {
            head = p.MarkOut;
            end = static_cast<int64_t>(p.MarkOut) + pre;
        } else {
            head = static_cast<int64_t>(p.MarkIn) - pre;
            end = p.MarkIn;
        }
        break;
    case PlayMode::ToIn:
        head = static_cast<int64_t>(p.MarkIn) - pre;
        end = p.MarkIn;
        break;
    case PlayMode::ToOut:
        head = static_cast<int64_t>(p.MarkOut) - pre;
        end = static_cast<int64_t>(p.MarkOut) - 1;
        break;
    case PlayMode::FromIn:
        head = p.MarkIn;
        break;
    default:
        head = p.MarkOut;
        break;
    }
    head = std::max<int64_t>(0, head);
    // A range that ends at or before its start would read as "no end" (0) or loop on
    // nothing: there is nothing to play.
    const bool bounded = IsBoundedRangePlay(pPlayMode);
    if (bounded
        && (end <= 0 || end <= head || (pPlayMode == PlayMode::Loop && p.MarkOut - p.MarkIn < 2)))
        return false;
    if (IsRunning())
        engine_.StopPlay(false);
    engine_.UseAutomationBuffers(false);
    p.Head = static_cast<int32_t>(head);
    engine_.PrepareRun(pPlayMode, p.Head, static_cast<int32_t>(end));
    DrawHead();
    if (!HeadInView(logic_))
        PlaceHead(logic_, 0.5);
    return StartRun();
}

void Transport::SetHeadFromX(int32_t pX)
{
    Project& p = logic_.Proj();
    const int64_t head = static_cast<int64_t>(pX) * p.SampleStep * p.Zoom + p.ViewStart;
    if (head > kMaxLength) {
        logic_.ShowMessage(kHeadMoveError);
        return;
    }
    p.Head = static_cast<int32_t>(std::max<int64_t>(0, head));
    DrawHead();
    logic_.ShowMessage(std::string(kHeadPosition) + HeadTimeText(logic_));
}

void Transport::HeadStripDown(int32_t pX)
{
    if (logic_.Recording)
        return;
    headDrag_ = true;
    SetHeadFromX(pX);
}

void Transport::HeadStripMove(int32_t pX)
{
    if (logic_.Recording || !headDrag_)
        return;
    SetHeadFromX(pX);
}

void Transport::HeadStripUp(int32_t pX)
{
    headDrag_ = false;
    if (logic_.Recording || !IsRunning())
        return;
    SetHeadFromX(pX);
    const PlayMode mode = engine_.Mode() == PlayMode::All ? PlayMode::All : PlayMode::FromClick;
    engine_.StopPlay(false);
    engine_.PrepareRun(mode, logic_.Proj().Head, 0);
    StartRun();
}

bool Transport::HeadStripRightUp()
{
    if (logic_.Recording)
        return true;
    if (IsRunning()) {
        engine_.StopPlay(true);
        return true;
    }
    return false;
}

void Transport::HeadStripDoubleClick()
{
    if (!IsRunning() && !logic_.Recording)
        engine_.SelectMode(PlayMode::FromClick);
}

bool SetZeroAtHead(MainLogic& pLogic)
{
    if (!pLogic.StartProc(1, 0))
        return false;
    pLogic.Proj().ZeroPos = pLogic.Proj().Head;
    pLogic.EndProc();
    return true;
}

void BringHeadIntoView(MainLogic& pLogic)
{
    if (!HeadInView(pLogic))
        PlaceHead(pLogic, 0.5);
}

void Transport::FollowHead()
{
    Project& p = logic_.Proj();
    const int32_t viewStart = p.ViewStart;
    if (!logic_.ScrollBarDragging && !headDrag_) {
        const int64_t width = ViewWidthFrames(logic_);
        if (scrubMode_ == 1) {
            SetViewStart(
                p, p.Head - static_cast<int64_t>(logic_.TrackAreaWidthPx / 2) * FramesPerPixel(p));
        } else if (p.Head >= p.ViewStart + width && engine_.PlaySpeed() > 0) {
            if (logic_.Options().ScrollMode == 1)
                scrubMode_ = 1;
            else
                PlaceHead(logic_, 0.1);
        } else if (p.Head < p.ViewStart && engine_.PlaySpeed() < 0) {
            if (logic_.Options().ScrollMode == 1)
                scrubMode_ = 1;
            else
                PlaceHead(logic_, 0.9);
        }
    }
    // While the view stays, only the head, the scale and the counter change: the track
    // picture is kept.
    if (p.ViewStart != viewStart)
        DrawHead();
    else
        logic_.Ui().RequestRedraw(RedrawArea::TimeDisplay);
}

std::array<std::string, 3> Transport::CounterLines() const
{
    const Project& p = logic_.Proj();
    std::array<std::string, 3> lines;
    const double speed = engine_.PlaySpeed();
    if (logic_.Recording)
        lines[0] = "REC";
    else if (engine_.IsPaused())
        lines[0] = "PAUSE";
    else if (engine_.Mode() == PlayMode::Stopped)
        lines[0] = "STOP";
    else if (engine_.Mode() == PlayMode::Shuttle)
        lines[0] = speed >= 0 ? "JOG × +" + FormatSpeed(speed) : "JOG × " + FormatSpeed(speed);
    else if (engine_.Mode() == PlayMode::ScaleScrub || engine_.Mode() == PlayMode::ScrubBurst)
        lines[0] = "SCRUB";
    else
        lines[0] = "PLAY";
    if (engine_.Mode() != PlayMode::Stopped && p.SampleRate > 0) {
        const int64_t spaces = (std::llabs(static_cast<int64_t>(p.Head)) / p.SampleRate) % 6;
        lines[1] = std::string(static_cast<size_t>(spaces), ' ');
        if (speed <= -1)
            lines[1] += "<<";
        else if (speed >= 1)
            lines[1] += ">>";
        else if (speed >= 0)
            lines[1] += ">";
        else
            lines[1] += "<";
    }
    lines[2] = HeadTimeText(logic_);
    return lines;
}

int32_t Transport::CounterColour() const
{
    if (logic_.Recording)
        return 2;
    return engine_.Mode() != PlayMode::Stopped ? 1 : 0;
}

void Transport::ScrubFill(double pSpeed)
{
    if (const std::optional<int32_t> heard = engine_.TakeHeardScrubEnd()) {
        logic_.Proj().Head = std::clamp(*heard, 0, kMaxLength);
        DrawHead();
    }
    engine_.FillScrubBuffers(pSpeed);
}

void Transport::KeyScrub(bool pForward, bool pWide)
{
    Project& p = logic_.Proj();
    if (logic_.Busy || logic_.Recording)
        return;
    const int32_t now = engine_.Clock().TimeOfDayMs();
    const int32_t e = std::min(800, ElapsedMs(engine_.ScrubCommandMs(), now));
    engine_.NoteScrubCommand(now);
    if (e == 0)
        return;
    if (scrubMode_ == 1) {
        if (engine_.Mode() != PlayMode::ScrubBurst && !OpenScrubVoice(PlayMode::ScrubBurst))
            return;
        const double r = 50.0 / e;
        const double push = (pWide ? 0.1 : 0.05) * r;
        double speed = engine_.PlaySpeed();
        if (pForward) {
            if (speed < 0)
                speed = -speed;
            ScrubFill(push + speed * 0.95);
        } else {
            if (speed > 0)
                speed = -speed;
            ScrubFill(speed * 0.95 - push);
        }
        return;
    }
    logic_.Ui().Yield();
    if (IsRunning())
        return;
    if (e > 500)
        scrubStep_ = 0;
    const double base = 0.5 / e * p.SampleRate;
    scrubStep_ = static_cast<int32_t>(RoundHalfEven(0.2 * base * base + 0.8 * scrubStep_));
    int64_t step = pForward ? scrubStep_ : -static_cast<int64_t>(scrubStep_);
    if (pWide)
        step *= 2;
    p.Head = static_cast<int32_t>(
        std::clamp<int64_t>(static_cast<int64_t>(p.Head) + step, 0, kMaxLength));
    DrawHead();
    if (!HeadInView(logic_))
        PlaceHead(logic_, pForward ? 0.2 : 0.8);
    logic_.ShowMessage(std::string(kHeadPosition) + HeadTimeText(logic_));
}

int32_t JogPercent(int32_t pLevel)
{
    static constexpr int32_t kLevels[] = { 0, 20, 40, 80, 100, 150, 200 };
    if (pLevel <= 0)
        return 0;
    return pLevel <= 6 ? kLevels[pLevel] : 300;
}

void Transport::ShuttlePress(int32_t pValue)
{
    Project& p = logic_.Proj();
    if (logic_.Busy || logic_.Recording)
        return;
    if (IsRunning())
        engine_.StopPlay(false);
    BringHeadIntoView(logic_);
    p.Head = std::max(0, p.Head);
    shuttleValue_ = pValue;
    if (!engine_.OpenVoiceAt(PlayMode::Shuttle, p.Head, static_cast<float>(pValue / 100.0))) {
        engine_.StopPlay(true);
        return;
    }
    ShuttleTick();
    ShowPlayingDisplay();
}

void Transport::ShuttleMove(int32_t pValue)
{
    shuttleValue_ = pValue;
    engine_.ChangeVoiceSpeed(static_cast<float>(pValue / 100.0));
}

void Transport::ShuttleRelease()
{
    if (engine_.Mode() == PlayMode::Shuttle || engine_.IsDeviceOpen())
        engine_.StopPlay(true);
    engine_.ChangeVoiceSpeed(1.0f);
    shuttleValue_ = 0;
}

void Transport::ShuttleTick()
{
    engine_.FillShuttleBuffers([this](int32_t pHeard) {
        logic_.Proj().Head = std::clamp(pHeard, 0, kMaxLength);
        if (!HeadInView(logic_))
            PlaceHead(logic_, engine_.PlaySpeed() >= 0 ? 0.2 : 0.8);
        DrawHead();
    });
}

void Transport::Jog(bool pForward, int32_t pLevel)
{
    if (pLevel <= 0) {
        if (engine_.Mode() == PlayMode::Shuttle)
            ShuttleRelease();
        return;
    }
    const int32_t value = pForward ? JogPercent(pLevel) : -JogPercent(pLevel);
    if (engine_.Mode() != PlayMode::Shuttle)
        ShuttlePress(value);
    else
        ShuttleMove(value);
}

bool Transport::ScaleScrubDown()
{
    if (logic_.Busy || logic_.Recording)
        return false;
    return OpenScrubVoice(PlayMode::ScaleScrub);
}

bool Transport::ScaleScrubMove(int32_t pDeltaTwips)
{
    if (engine_.Mode() != PlayMode::ScaleScrub || pDeltaTwips == 0)
        return false;
    ScrubFill(pDeltaTwips / 30.0 * 0.5 + engine_.PlaySpeed() * 0.5);
    return true;
}

void Transport::ScaleScrubUp()
{
    if (engine_.Mode() == PlayMode::ScaleScrub)
        engine_.StopPlay(true);
    engine_.ChangeVoiceSpeed(1.0f);
}

bool Transport::MarkPreviewBegin()
{
    if (logic_.Busy || logic_.Recording)
        return false;
    if (IsRunning())
        engine_.StopPlay(false);
    if (!engine_.OpenVoiceRing(PlayMode::MarkPreview)) {
        engine_.StopPlay(false);
        return false;
    }
    engine_.QueueVoiceBuffer(0);
    return true;
}

bool Transport::MarkPreviewMove(int32_t pDeltaPx, int32_t pMark)
{
    if (engine_.Mode() != PlayMode::MarkPreview || std::abs(pDeltaPx) <= 1)
        return false;
    engine_.ReplayMarkPreview(pDeltaPx < 0 ? pMark - engine_.BufferSamples() : pMark);
    Project& p = logic_.Proj();
    logic_.ShowMessage(std::string(kSearchTrack) + std::to_string(p.CurrentTrack + 1)
        + kSearchSuffix
        + TimeText(FramesToMs(static_cast<int64_t>(pMark) - p.ZeroPos, p.SampleRate), 0, true));
    return true;
}

void Transport::MarkPreviewEnd()
{
    if (engine_.Mode() != PlayMode::MarkPreview)
        return;
    engine_.StopVoice();
    logic_.ShowMessage("");
}

bool Transport::RunCommand(int32_t pId, int32_t pLevel)
{
    Project& p = logic_.Proj();
    switch (pId) {
    case kCmdScrubPlus:
    case kCmdScrubMinus:
    case kCmdScrubPlusw:
    case kCmdScrubMinusw:
        if (logic_.Busy || logic_.Recording)
            return false;
        KeyScrub(pId == kCmdScrubPlus || pId == kCmdScrubPlusw,
            pId == kCmdScrubPlusw || pId == kCmdScrubMinusw);
        return true;
    case kCmdJogPlus:
    case kCmdJogMinus:
        if (logic_.Busy || logic_.Recording)
            return false;
        Jog(pId == kCmdJogPlus, pLevel);
        return true;
    case kCmdScrubOnoff:
        scrubMode_ = scrubMode_ ? 0 : 1;
        logic_.ShowMessage(scrubMode_ ? kScrubOn : kScrubOff);
        return true;
    case kCmdMoveLeft:
    case kCmdMoveRight: {
        const int64_t half = ViewWidthFrames(logic_) / 2;
        SetViewStart(p, static_cast<int64_t>(p.ViewStart) + (pId == kCmdMoveLeft ? -half : half));
        logic_.Ui().RequestRedraw(RedrawArea::All);
        return true;
    }
    case kCmdRec:
    case kCmdRecNow:
        return Record(pId == kCmdRecNow);
    case kCmdStop:
        if (logic_.Busy) {
            logic_.CancelRequest = true;
            return true;
        }
        Stop();
        return true;
    case kCmdPause:
        if (logic_.Busy)
            return false;
        Pause();
        return true;
    case kCmdPlay: {
        if (logic_.Busy)
            return false;
        if (engine_.RecordingArmed() && !engine_.RecordingWriting())
            return Play();
        const PlayMode last = lastPlayMode_;
        if (last == PlayMode::All)
            return Play();
        if (IsRangePlay(last))
            return PlayRange(last);
        if (engine_.IsPaused() || logic_.Recording)
            return false;
        if (IsRunning())
            engine_.StopPlay(false);
        p.Head = std::max(0, p.Head);
        engine_.PrepareRun(PlayMode::FromClick, p.Head, 0);
        return StartRun();
    }
    case kCmdPlayWhole:
        return Play();
    case kCmdMoveHome:
        if (logic_.Recording || IsRunning())
            return false;
        p.Head = 0;
        p.ViewStart = 0;
        DrawHead();
        return true;
    case kCmdPlaySelected:
    case kCmdPlaySelectedEx:
    case kCmdPlaySelectedLoop:
    case kCmdPlayToin:
    case kCmdPlayToend:
    case kCmdPlayFromin:
    case kCmdPlayFromout:
        return PlayRange(RangePlayOfItem(pId - kCmdPlaySelected));
    default:
        return false;
    }
}

} // namespace tarvok
