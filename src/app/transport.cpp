#include "app/transport.h"

#include "app/automation_window.h"
#include "app/main_logic.h"
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

void DrawHead(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    Project& p = pLogic.Proj();
    const int64_t fpp = std::max<int64_t>(1, FramesPerPixel(p));
    pEngine.Transport.HeadX = static_cast<int32_t>(
        std::clamp<int64_t>((p.Head - p.ViewStart) / fpp, INT32_MIN, INT32_MAX));
    pLogic.Ui().RequestRedraw(RedrawArea::Tracks);
    pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
}

bool IsRunning(const PlaybackEngine& pEngine)
{
    return pEngine.PlayMode != kPlayStopped || pEngine.DeviceOpen;
}

void ShowPlayingDisplay(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    pLogic.ShowMessage(pLogic.Recording ? kRecordingText : kPlayingText);
    pLogic.Ui().RequestRedraw(RedrawArea::Menus);
    pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    pEngine.Transport.LastPlayMode = pEngine.PlayMode;
}

/// Starts the engine in its current PlayMode and shows the result.
bool StartRun(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    pEngine.PlaySpeed = 1.0f;
    // In automation mode the run plays with short buffers, so that written levels are
    // heard soon, and a new writing pass begins (the previous one saved first).
    pEngine.AutomationWriting = pLogic.Automation.Mode;
    EndAutomationPass(pLogic);
    BeginAutomationPass(pLogic);
    if (pEngine.StartPlayback()) {
        ShowPlayingDisplay(pLogic, pEngine);
        return true;
    }
    // A start given up for a newer one leaves that one playing.
    if (!pEngine.LastStartSuperseded)
        pEngine.StopPlay(true);
    return false;
}

std::string FormatSpeed(double pSpeed)
{
    const int64_t tenths = RoundHalfEven(pSpeed * 10.0);
    const int64_t whole = std::llabs(tenths) / 10;
    const int64_t frac = std::llabs(tenths) % 10;
    return std::string(tenths < 0 ? "-" : "") + std::to_string(whole) + "." + std::to_string(frac);
}

/// Opens the single-device voice for a scrub mode with PlaySpeed 0 at the head.
bool OpenScrubVoice(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pMode)
{
    Project& p = pLogic.Proj();
    if (IsRunning(pEngine))
        pEngine.StopPlay(false);
    DrawHead(pLogic, pEngine);
    pEngine.PlayStart = pEngine.NextFill = std::max(0, p.Head);
    pEngine.PlayEnd = 0;
    pEngine.PlaySpeed = 0.0f;
    if (!pEngine.OpenVoice(pMode)) {
        pEngine.StopPlay(true);
        return false;
    }
    pEngine.PrepareVoiceRing();
    ShowPlayingDisplay(pLogic, pEngine);
    pEngine.DeviceOpen = 1;
    return true;
}

} // namespace

std::string HeadTimeText(const MainLogic& pLogic)
{
    const Project& p = pLogic.Proj();
    return TimeText(FramesToMs(static_cast<int64_t>(p.Head) - p.ZeroPos, p.SampleRate), 0, true);
}

void AttachTransport(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    pEngine.OnPlayingChanged = [&pLogic](bool pPlaying) { pLogic.Playing = pPlaying; };
    pEngine.OnStopButton = [&pLogic, &pEngine] { StopButton(pLogic, pEngine); };
    pEngine.OnShuttleTick = [&pLogic, &pEngine] { ShuttleTick(pLogic, pEngine); };
    pEngine.OnAutomationTick
        = [&pLogic, &pEngine] { AutomationTick(pLogic, AutomationWritePosition(pLogic, pEngine)); };
    pEngine.OnHeadTick = [&pLogic, &pEngine] {
        if (pEngine.PlayMode >= 1 && pEngine.PlayMode <= 9)
            FollowHead(pLogic, pEngine);
        else
            pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    };
    pLogic.TransportHandler = [&pLogic, &pEngine](int32_t pId, int32_t pLevel) {
        return RunTransportCommand(pLogic, pEngine, pId, pLevel);
    };
}

void AttachRecorder(MainLogic& pLogic, PlaybackEngine& pEngine, RecordingEngine& pRecorder)
{
    pLogic.Recorder = &pRecorder;
    pEngine.OnRecordProgTick = [&pRecorder] { pRecorder.TimerProg(); };
    pEngine.OnRecordVUTick = [&pLogic, &pEngine, &pRecorder] {
        if (!pRecorder.Recording || !pRecorder.RecStarted)
            return;
        pRecorder.TimerVU();
        // Without outputs nothing else moves the view with the head.
        if (!pEngine.DeviceOpen)
            pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    };
    pRecorder.OnStopButton = [&pLogic, &pEngine] { StopButton(pLogic, pEngine); };
    // A take is placed even when its undo snapshot cannot be written: the audio is the
    // user's, and losing it would be worse than not being able to undo its placing.
    pRecorder.BeginEditStep = [&pLogic] { return pLogic.StartProc(1, 0, false); };
    pRecorder.EndEditStep = [&pLogic] { pLogic.EndProc(); };
    pRecorder.OnWritten = [&pLogic] {
        pLogic.Ui().RequestRedraw(RedrawArea::Tracks);
        pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    };
}

bool RecButton(MainLogic& pLogic, PlaybackEngine& pEngine, bool pRecordNow)
{
    Project& p = pLogic.Proj();
    if (pEngine.Transport.RecArmed) {
        pLogic.Ui().RequestRedraw(RedrawArea::Menus);
        return true;
    }
    if (pLogic.Busy)
        return false;
    RecordingEngine* rec = pLogic.Recorder;
    if (!rec) {
        pLogic.ShowMessage(kRecordingUnavailable);
        return false;
    }
    pEngine.ComputeDeviceSlots();
    if (!rec->PrepareRecording())
        return false;
    const bool wasPlaying
        = IsRunning(pEngine) && pEngine.PlayMode >= kPlayAll && pEngine.PlayMode <= kPlayFromOut;
    if (IsRunning(pEngine))
        pEngine.StopPlay(false);
    if (!rec->OpenArmedInputs())
        return false;
    pLogic.Recording = true;
    pEngine.Transport.RecArmed = true;
    pEngine.Transport.RecWriting = false;
    if (wasPlaying || pRecordNow) {
        pEngine.PlayMode = kPlayAll;
        p.Head = std::max(0, p.Head);
        pEngine.PlayStart = p.Head;
        pEngine.PlayEnd = 0;
        rec->RecOnly = false;
        pEngine.Transport.RecWriting = true;
        rec->StartAtFirstFrame();
        if (!StartRun(pLogic, pEngine))
            rec->RecOnly = true; // nothing to play: the recording goes on alone
        pLogic.ShowMessage(kRecordingText);
    } else {
        pLogic.ShowMessage(kRecPressPlayText);
    }
    pLogic.Ui().RequestRedraw(RedrawArea::Menus);
    pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    // The monitor shows the inputs while waiting for PLAY; a recording that writes at
    // once does not wait for it.
    if (!wasPlaying && !pRecordNow && rec->MonitorOpen == 0 && pLogic.Options().ShowRecMon == 1
        && pLogic.ShowRecordingMonitor)
        pLogic.ShowRecordingMonitor();
    return true;
}

/// PLAY while a recording is armed and nothing is written: starts playback of the playing
/// tracks (or records alone when none plays) and begins writing at the inputs' positions.
static bool StartArmedRecording(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    Project& p = pLogic.Proj();
    RecordingEngine& rec = *pLogic.Recorder;
    bool anyPlaying = false;
    for (const Track& t : p.Tracks)
        anyPlaying = anyPlaying || t.PlaySelected != 0;
    rec.RecOnly = !anyPlaying;
    pEngine.Transport.RecWriting = true;
    if (anyPlaying) {
        pEngine.PlayMode = kPlayAll;
        p.Head = std::max(0, p.Head);
        pEngine.PlayStart = p.Head;
        pEngine.PlayEnd = 0;
        if (!StartRun(pLogic, pEngine))
            rec.RecOnly = true;
    } else {
        EndAutomationPass(pLogic);
        BeginAutomationPass(pLogic);
    }
    pLogic.Ui().Yield();
    rec.StartAtCurrentPosition();
    pLogic.ShowMessage(kRecordingText);
    pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
    return true;
}

void StopButton(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    Project& p = pLogic.Proj();
    if (pLogic.Recording || IsRunning(pEngine)) {
        pLogic.ShowMessage(kStopped);
        if (IsRunning(pEngine))
            pEngine.StopPlay(true);
        if (pLogic.Recording) {
            pLogic.Recording = false;
            pEngine.RecordingStarted = false;
            pEngine.Transport.RecArmed = false;
            pEngine.Transport.RecWriting = false;
            if (pLogic.Recorder) {
                pLogic.Recorder->StopRecording();
                if (pLogic.Recorder->MonitorOpen == 1)
                    pLogic.Recorder->MonitorClose = true;
            }
        }
        EndAutomationPass(pLogic);
        pEngine.AutomationWriting = false;
        pLogic.ShowMessage(kStopped);
        return;
    }
    p.Head = p.Head != pEngine.PlayStart ? pEngine.PlayStart : 0;
    DrawHead(pLogic, pEngine);
    if (!HeadInView(pLogic))
        PlaceHead(pLogic, 0.5);
}

void PauseButton(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    if (pLogic.Recording || !pEngine.DeviceOpen || pEngine.PlayMode < 1 || pEngine.PlayMode > 9)
        return;
    if (!pEngine.Paused) {
        pEngine.PauseOutputs(false);
        pEngine.Paused = 1;
        pLogic.ShowMessage(std::string(kPausedPrefix) + HeadTimeText(pLogic));
    } else {
        pEngine.PauseOutputs(true);
        pEngine.Paused = 0;
        pLogic.ShowMessage(kPlayingText);
    }
    pLogic.Ui().RequestRedraw(RedrawArea::TimeDisplay);
}

bool PlayButton(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    Project& p = pLogic.Proj();
    if (pLogic.Busy)
        return false;
    if (pEngine.Paused) {
        pLogic.Ui().RequestRedraw(RedrawArea::Menus);
        return false;
    }
    if (IsRunning(pEngine))
        pEngine.StopPlay(false);
    if (!HeadInView(pLogic))
        PlaceHead(pLogic, 0.5);
    if (pEngine.Transport.RecArmed && !pEngine.Transport.RecWriting) {
        if (!pLogic.Recorder) {
            pLogic.ShowMessage(kRecordingUnavailable);
            return false;
        }
        return StartArmedRecording(pLogic, pEngine);
    }
    pEngine.PlayMode = kPlayAll;
    p.Head = std::max(0, p.Head);
    pEngine.PlayStart = p.Head;
    pEngine.PlayEnd = 0;
    return StartRun(pLogic, pEngine);
}

bool RangePlay(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pPlayMode)
{
    Project& p = pLogic.Proj();
    if (pLogic.Busy || pEngine.Paused || pLogic.Recording || pPlayMode < kPlaySelection
        || pPlayMode > kPlayFromOut)
        return false;
    const int32_t pre
        = static_cast<int32_t>(static_cast<int64_t>(kPreRollMs) * p.SampleRate / 1000);
    int64_t head = 0;
    int64_t end = 0;
    switch (pPlayMode) {
    case kPlaySelection:
    case kPlayLoop:
        head = p.MarkIn;
        end = static_cast<int64_t>(p.MarkOut) - 1;
        break;
    case kPlayAround:
        if (p.MarkIn == 0) {
            head = p.MarkOut;
            end = static_cast<int64_t>(p.MarkOut) + pre;
        } else {
            head = static_cast<int64_t>(p.MarkIn) - pre;
            end = p.MarkIn;
        }
        break;
    case kPlayToIn:
        head = static_cast<int64_t>(p.MarkIn) - pre;
        end = p.MarkIn;
        break;
    case kPlayToOut:
        head = static_cast<int64_t>(p.MarkOut) - pre;
        end = static_cast<int64_t>(p.MarkOut) - 1;
        break;
    case kPlayFromIn:
        head = p.MarkIn;
        break;
    default:
        head = p.MarkOut;
        break;
    }
    head = std::max<int64_t>(0, head);
    // A range that ends at or before its start would read as "no end" (0) or loop on
    // nothing: there is nothing to play.
    const bool bounded = pPlayMode <= kPlayToOut;
    if (bounded
        && (end <= 0 || end <= head || (pPlayMode == kPlayLoop && p.MarkOut - p.MarkIn < 2)))
        return false;
    if (IsRunning(pEngine))
        pEngine.StopPlay(false);
    pEngine.AutomationWriting = false;
    pEngine.PlayMode = pPlayMode;
    p.Head = static_cast<int32_t>(head);
    pEngine.PlayEnd = static_cast<int32_t>(end);
    pEngine.PlayStart = p.Head;
    DrawHead(pLogic, pEngine);
    if (!HeadInView(pLogic))
        PlaceHead(pLogic, 0.5);
    return StartRun(pLogic, pEngine);
}

void SetHeadFromX(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX)
{
    Project& p = pLogic.Proj();
    const int64_t head = static_cast<int64_t>(pX) * p.SampleStep * p.Zoom + p.ViewStart;
    if (head > kMaxLength) {
        pLogic.ShowMessage(kHeadMoveError);
        return;
    }
    if (head < 0) {
        p.Head = 0;
        DrawHead(pLogic, pEngine);
        pEngine.Transport.HeadX = -9;
    } else {
        p.Head = static_cast<int32_t>(head);
        DrawHead(pLogic, pEngine);
    }
    pLogic.ShowMessage(std::string(kHeadPosition) + HeadTimeText(pLogic));
}

void HeadStripDown(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX)
{
    if (pLogic.Recording)
        return;
    pEngine.Transport.HeadDrag = true;
    SetHeadFromX(pLogic, pEngine, pX);
}

void HeadStripMove(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX)
{
    if (pLogic.Recording || !pEngine.Transport.HeadDrag)
        return;
    SetHeadFromX(pLogic, pEngine, pX);
}

void HeadStripUp(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX)
{
    pEngine.Transport.HeadDrag = false;
    if (pLogic.Recording || !IsRunning(pEngine))
        return;
    SetHeadFromX(pLogic, pEngine, pX);
    const int32_t mode = pEngine.PlayMode == kPlayAll ? kPlayAll : kPlayFromClick;
    pEngine.StopPlay(false);
    pEngine.PlayMode = mode;
    pEngine.PlayStart = pLogic.Proj().Head;
    pEngine.PlayEnd = 0;
    StartRun(pLogic, pEngine);
}

bool HeadStripRightUp(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    if (pLogic.Recording)
        return true;
    if (IsRunning(pEngine)) {
        pEngine.StopPlay(true);
        return true;
    }
    return false;
}

void HeadStripDoubleClick(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    if (!IsRunning(pEngine) && !pLogic.Recording)
        pEngine.PlayMode = kPlayFromClick;
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

void FollowHead(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    Project& p = pLogic.Proj();
    if (!pEngine.Transport.ScrollDragging && !pEngine.Transport.HeadDrag) {
        const int64_t width = ViewWidthFrames(pLogic);
        if (pEngine.Transport.ScrubMode == 1) {
            SetViewStart(
                p, p.Head - static_cast<int64_t>(pLogic.TrackAreaWidthPx / 2) * FramesPerPixel(p));
        } else if (p.Head >= p.ViewStart + width && pEngine.PlaySpeed > 0) {
            if (pLogic.Options().ScrollMode == 1)
                pEngine.Transport.ScrubMode = 1;
            else
                PlaceHead(pLogic, 0.1);
        } else if (p.Head < p.ViewStart && pEngine.PlaySpeed < 0) {
            if (pLogic.Options().ScrollMode == 1)
                pEngine.Transport.ScrubMode = 1;
            else
                PlaceHead(pLogic, 0.9);
        }
    }
    DrawHead(pLogic, pEngine);
}

std::array<std::string, 3> CounterLines(const MainLogic& pLogic, const PlaybackEngine& pEngine)
{
    const Project& p = pLogic.Proj();
    std::array<std::string, 3> lines;
    const double speed = pEngine.PlaySpeed;
    if (pLogic.Recording)
        lines[0] = "REC";
    else if (pEngine.Paused)
        lines[0] = "PAUSE";
    else if (pEngine.PlayMode == kPlayStopped)
        lines[0] = "STOP";
    else if (pEngine.PlayMode == kPlayShuttle)
        lines[0] = speed >= 0 ? "JOG × +" + FormatSpeed(speed) : "JOG × " + FormatSpeed(speed);
    else if (pEngine.PlayMode == kPlayScaleScrub || pEngine.PlayMode == kPlayScrubBurst)
        lines[0] = "SCRUB";
    else
        lines[0] = "PLAY";
    if (pEngine.PlayMode != kPlayStopped && p.SampleRate > 0) {
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
    lines[2] = HeadTimeText(pLogic);
    return lines;
}

int32_t CounterColour(const MainLogic& pLogic, const PlaybackEngine& pEngine)
{
    if (pLogic.Recording)
        return 2;
    return pEngine.PlayMode != kPlayStopped ? 1 : 0;
}

void FillVoiceBuffer(
    MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pIndex, int32_t pPosition, float pSpeed)
{
    Project& p = pLogic.Proj();
    int16_t* out = pEngine.Samples(0, pIndex);
    WaveHeader* header = pEngine.Header(0, pIndex);
    if (!out || !header)
        return;
    const int32_t bs = pEngine.BufferSamples;
    const double s = pSpeed;
    pEngine.BufferSpeed[pIndex] = pSpeed;
    const int32_t n = static_cast<int32_t>(RoundHalfEven(std::fabs(s) * bs + 100));
    const int64_t winStart
        = s >= 0 ? static_cast<int64_t>(pPosition) : static_cast<int64_t>(pPosition) - n;
    const int32_t track = std::clamp(p.CurrentTrack, 0, std::max(0, p.TrackCount() - 1));
    std::vector<int16_t> src;
    const bool any = pEngine.ReadTrackFrames(track, winStart, n, src);
    const std::array<double, 2> g = pEngine.TrackGains(track);
    // The envelope by steps: frames before 0 and beyond the envelope are silent.
    auto env = [&](int64_t pIndexInWindow, int32_t pChannel) -> double {
        const int64_t q = winStart + pIndexInWindow;
        if (q < 0 || q / kEnvelopeFrameSamples >= p.EnvelopeLength)
            return 0.0;
        return EnvelopeStepGain(p, track, pChannel, q);
    };
    auto at = [&](int64_t pI, int32_t pChannel) -> double {
        if (pI < 0 || pI >= n)
            return 0.0;
        return src[static_cast<size_t>(pI) * 2 + pChannel];
    };
    const double absS = std::fabs(s);
    const int32_t k = absS > 2 ? std::max(0, static_cast<int32_t>(absS) - 1) : 0;
    for (int32_t j = 0; j < bs; ++j) {
        for (int32_t ch = 0; ch < 2; ++ch) {
            double value = 0.0;
            int64_t envIndex = 0;
            if (!any || s == 0.0) {
                value = 0.0;
            } else if (s == 1.0) {
                value = at(j, ch);
                envIndex = j;
            } else if (s == -1.0) {
                value = at(static_cast<int64_t>(n) - (j + 1), ch);
                envIndex = static_cast<int64_t>(n) - (j + 1);
            } else {
                double h = s * j;
                if (s <= 0)
                    h += n - k - 2;
                const int64_t i0 = static_cast<int64_t>(std::floor(h));
                const double f = h - static_cast<double>(i0);
                const int64_t i1 = i0 + k + 1;
                value = static_cast<double>(RoundHalfEven(at(i1, ch) * f + at(i0, ch) * (1 - f)));
                if (k > 0) {
                    for (int64_t i = i0 + 1; i <= i1 - 1; ++i)
                        value += at(i, ch);
                    value = static_cast<double>(RoundHalfEven(value / (k + 1)));
                }
                envIndex = i0;
            }
            out[2 * j + ch]
                = value == 0.0 ? int16_t { 0 } : Saturate16(value * g[ch] * env(envIndex, ch));
        }
    }
    header->Data = reinterpret_cast<uint8_t*>(out);
    header->Length = static_cast<uint32_t>(bs) * kFrameBytes;
    if (pEngine.PlayMode != kPlayStopped) {
        pEngine.BufferState[pIndex] = 3;
        pEngine.QueueVoiceBuffer(pIndex);
        pEngine.BufferStart[pIndex] = pPosition;
        pEngine.BufferPrevEnd[pIndex] = pEngine.BufferEnd[pIndex];
        pEngine.BufferEnd[pIndex] = static_cast<int32_t>(RoundHalfEven(s * bs + pPosition));
    }
}

void ScrubFill(MainLogic& pLogic, PlaybackEngine& pEngine, double pSpeed)
{
    Project& p = pLogic.Proj();
    const int32_t ring = pEngine.RingSize();
    bool moved = false;
    for (int32_t i = 0; i < ring; ++i) {
        WaveHeader* h = pEngine.Header(0, i);
        if (h && h->IsDone() && pEngine.BufferEnd[i] != -1) {
            p.Head = std::clamp(pEngine.BufferEnd[i], 0, kMaxLength);
            pEngine.BufferEnd[i] = -1;
            moved = true;
        }
    }
    if (moved)
        DrawHead(pLogic, pEngine);
    double speed = pSpeed;
    const double previous = pEngine.PlaySpeed;
    for (int32_t filled = 0; filled < 2; ++filled) {
        int32_t index = -1;
        for (int32_t c = 0; c < ring && index < 0; ++c) {
            const int32_t i = (pEngine.NextBuffer[0] + c) % ring;
            if (pEngine.IsBufferFree(i))
                index = i;
        }
        if (index < 0)
            return;
        if (std::fabs(speed) > 1)
            speed = previous > 0 ? 1.0 : (previous < 0 ? -1.0 : 0.0);
        pEngine.PlaySpeed = static_cast<float>(speed);
        pEngine.NextBuffer[0] = (index + 1) % ring;
        FillVoiceBuffer(pLogic, pEngine, index, pEngine.NextFill, pEngine.PlaySpeed);
        pEngine.NextFill
            = static_cast<int32_t>(RoundHalfEven(speed * pEngine.BufferSamples + pEngine.NextFill));
        pEngine.BufferEnd[index] = pEngine.NextFill;
    }
}

void KeyScrub(MainLogic& pLogic, PlaybackEngine& pEngine, bool pForward, bool pWide)
{
    Project& p = pLogic.Proj();
    TransportState& t = pEngine.Transport;
    if (pLogic.Busy || pLogic.Recording)
        return;
    const int32_t now = pEngine.Clock().TimeOfDayMs();
    const int32_t e = std::min(800, ElapsedMs(t.ScrubTime, now));
    t.ScrubTime = now;
    if (e == 0)
        return;
    if (t.ScrubMode == 1) {
        if (pEngine.PlayMode != kPlayScrubBurst
            && !OpenScrubVoice(pLogic, pEngine, kPlayScrubBurst))
            return;
        const double r = 50.0 / e;
        const double push = (pWide ? 0.1 : 0.05) * r;
        double speed = pEngine.PlaySpeed;
        if (pForward) {
            if (speed < 0)
                speed = -speed;
            ScrubFill(pLogic, pEngine, push + speed * 0.95);
        } else {
            if (speed > 0)
                speed = -speed;
            ScrubFill(pLogic, pEngine, speed * 0.95 - push);
        }
        return;
    }
    pLogic.Ui().Yield();
    if (IsRunning(pEngine))
        return;
    if (e > 500)
        t.ScrubStep = 0;
    const double base = 0.5 / e * p.SampleRate;
    t.ScrubStep = static_cast<int32_t>(RoundHalfEven(0.2 * base * base + 0.8 * t.ScrubStep));
    int64_t step = pForward ? t.ScrubStep : -static_cast<int64_t>(t.ScrubStep);
    if (pWide)
        step *= 2;
    p.Head = static_cast<int32_t>(
        std::clamp<int64_t>(static_cast<int64_t>(p.Head) + step, 0, kMaxLength));
    DrawHead(pLogic, pEngine);
    if (!HeadInView(pLogic))
        PlaceHead(pLogic, pForward ? 0.2 : 0.8);
    pLogic.ShowMessage(std::string(kHeadPosition) + HeadTimeText(pLogic));
}

int32_t JogPercent(int32_t pLevel)
{
    static constexpr int32_t kLevels[] = { 0, 20, 40, 80, 100, 150, 200 };
    if (pLevel <= 0)
        return 0;
    return pLevel <= 6 ? kLevels[pLevel] : 300;
}

void ShuttlePress(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pValue)
{
    Project& p = pLogic.Proj();
    if (pLogic.Busy || pLogic.Recording)
        return;
    if (IsRunning(pEngine))
        pEngine.StopPlay(false);
    BringHeadIntoView(pLogic);
    p.Head = std::max(0, p.Head);
    pEngine.PlayStart = p.Head;
    pEngine.PlayEnd = 0;
    pEngine.Transport.ShuttleValue = pValue;
    pEngine.PlaySpeed = static_cast<float>(pValue / 100.0);
    if (!pEngine.OpenVoice(kPlayShuttle)) {
        pEngine.StopPlay(true);
        return;
    }
    pEngine.PrepareVoiceRing();
    pEngine.NextFill = p.Head;
    pEngine.DeviceOpen = 1;
    ShuttleTick(pLogic, pEngine);
    ShowPlayingDisplay(pLogic, pEngine);
}

void ShuttleMove(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pValue)
{
    (void)pLogic;
    pEngine.Transport.ShuttleValue = pValue;
    pEngine.PlaySpeed = static_cast<float>(pValue / 100.0);
}

void ShuttleRelease(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    (void)pLogic;
    if (pEngine.PlayMode == kPlayShuttle || pEngine.DeviceOpen)
        pEngine.StopPlay(true);
    pEngine.PlaySpeed = 1.0f;
    pEngine.Transport.ShuttleValue = 0;
}

void ShuttleTick(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    Project& p = pLogic.Proj();
    const int32_t ring = pEngine.RingSize();
    for (int32_t c = 0; c < ring; ++c) {
        const int32_t i = (pEngine.NextBuffer[0] + c) % ring;
        if (!pEngine.IsBufferFree(i))
            continue;
        FillVoiceBuffer(pLogic, pEngine, i, pEngine.NextFill, pEngine.PlaySpeed);
        pEngine.NextFill = static_cast<int32_t>(
            RoundHalfEven(static_cast<double>(pEngine.BufferSpeed[i]) * pEngine.BufferSamples
                + pEngine.NextFill));
        if (pEngine.BufferPrevEnd[i] != -1) {
            p.Head = std::clamp(pEngine.BufferPrevEnd[i], 0, kMaxLength);
            if (!HeadInView(pLogic))
                PlaceHead(pLogic, pEngine.PlaySpeed >= 0 ? 0.2 : 0.8);
            DrawHead(pLogic, pEngine);
        }
    }
}

void Jog(MainLogic& pLogic, PlaybackEngine& pEngine, bool pForward, int32_t pLevel)
{
    if (pLevel <= 0) {
        if (pEngine.PlayMode == kPlayShuttle)
            ShuttleRelease(pLogic, pEngine);
        return;
    }
    const int32_t value = pForward ? JogPercent(pLevel) : -JogPercent(pLevel);
    if (pEngine.PlayMode != kPlayShuttle)
        ShuttlePress(pLogic, pEngine, value);
    else
        ShuttleMove(pLogic, pEngine, value);
}

void ScaleScrubDown(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pXTwips)
{
    if (pLogic.Busy || pLogic.Recording)
        return;
    if (OpenScrubVoice(pLogic, pEngine, kPlayScaleScrub))
        pEngine.Transport.ScaleScrubX = pXTwips;
}

void ScaleScrubMove(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pXTwips)
{
    if (pEngine.PlayMode != kPlayScaleScrub)
        return;
    const int32_t d = pXTwips - pEngine.Transport.ScaleScrubX;
    if (d == 0)
        return;
    pEngine.Transport.ScaleScrubX = pXTwips;
    ScrubFill(pLogic, pEngine, d / 30.0 * 0.5 + pEngine.PlaySpeed * 0.5);
}

void ScaleScrubUp(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    (void)pLogic;
    if (pEngine.PlayMode == kPlayScaleScrub)
        pEngine.StopPlay(true);
    pEngine.PlaySpeed = 1.0f;
}

bool MarkPreviewBegin(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX)
{
    if (pLogic.Busy || pLogic.Recording)
        return false;
    if (IsRunning(pEngine))
        pEngine.StopPlay(false);
    if (!pEngine.OpenVoice(kPlayMarkPreview)) {
        pEngine.StopPlay(false);
        return false;
    }
    pEngine.PrepareVoiceRing();
    pEngine.DeviceOpen = 1;
    pEngine.QueueVoiceBuffer(0);
    pEngine.Transport.MarkPreviewX = pX;
    return true;
}

void MarkPreviewMove(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX, int32_t pMark)
{
    if (pEngine.PlayMode != kPlayMarkPreview)
        return;
    const int32_t dx = pX - pEngine.Transport.MarkPreviewX;
    if (std::abs(dx) <= 1)
        return;
    pEngine.Transport.MarkPreviewX = pX;
    const int32_t position = dx < 0 ? pMark - pEngine.BufferSamples : pMark;
    // The one buffer may still be playing: stop it before its samples are rewritten.
    if (WaveHeader* h = pEngine.Header(0, 0); h && !h->IsDone())
        pEngine.ResetSlot(0);
    FillVoiceBuffer(pLogic, pEngine, 0, position, 1.0f);
    Project& p = pLogic.Proj();
    pLogic.ShowMessage(std::string(kSearchTrack) + std::to_string(p.CurrentTrack + 1)
        + kSearchSuffix
        + TimeText(FramesToMs(static_cast<int64_t>(pMark) - p.ZeroPos, p.SampleRate), 0, true));
}

void MarkPreviewEnd(MainLogic& pLogic, PlaybackEngine& pEngine)
{
    if (pEngine.PlayMode != kPlayMarkPreview)
        return;
    pEngine.CloseVoice();
    pEngine.PlayMode = kPlayStopped;
    pLogic.ShowMessage("");
}

bool RunTransportCommand(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pId, int32_t pLevel)
{
    Project& p = pLogic.Proj();
    switch (pId) {
    case kCmdScrubPlus:
    case kCmdScrubMinus:
    case kCmdScrubPlusw:
    case kCmdScrubMinusw:
        if (pLogic.Busy || pLogic.Recording)
            return false;
        KeyScrub(pLogic, pEngine, pId == kCmdScrubPlus || pId == kCmdScrubPlusw,
            pId == kCmdScrubPlusw || pId == kCmdScrubMinusw);
        return true;
    case kCmdJogPlus:
    case kCmdJogMinus:
        if (pLogic.Busy || pLogic.Recording)
            return false;
        Jog(pLogic, pEngine, pId == kCmdJogPlus, pLevel);
        return true;
    case kCmdScrubOnoff:
        pEngine.Transport.ScrubMode = pEngine.Transport.ScrubMode ? 0 : 1;
        pLogic.ShowMessage(pEngine.Transport.ScrubMode ? kScrubOn : kScrubOff);
        return true;
    case kCmdMoveLeft:
    case kCmdMoveRight: {
        const int64_t half = ViewWidthFrames(pLogic) / 2;
        SetViewStart(p, static_cast<int64_t>(p.ViewStart) + (pId == kCmdMoveLeft ? -half : half));
        pLogic.Ui().RequestRedraw(RedrawArea::All);
        return true;
    }
    case kCmdRec:
    case kCmdRecNow:
        return RecButton(pLogic, pEngine, pId == kCmdRecNow);
    case kCmdStop:
        if (pLogic.Busy) {
            pLogic.CancelRequest = true;
            return true;
        }
        StopButton(pLogic, pEngine);
        return true;
    case kCmdPause:
        if (pLogic.Busy)
            return false;
        PauseButton(pLogic, pEngine);
        return true;
    case kCmdPlay: {
        if (pLogic.Busy)
            return false;
        if (pEngine.Transport.RecArmed && !pEngine.Transport.RecWriting)
            return PlayButton(pLogic, pEngine);
        const int32_t last = pEngine.Transport.LastPlayMode;
        if (last == kPlayAll)
            return PlayButton(pLogic, pEngine);
        if (last >= kPlaySelection && last <= kPlayFromOut)
            return RangePlay(pLogic, pEngine, last);
        if (pEngine.Paused || pLogic.Recording)
            return false;
        if (IsRunning(pEngine))
            pEngine.StopPlay(false);
        pEngine.PlayMode = kPlayFromClick;
        p.Head = std::max(0, p.Head);
        pEngine.PlayStart = p.Head;
        pEngine.PlayEnd = 0;
        return StartRun(pLogic, pEngine);
    }
    case kCmdPlayWhole:
        return PlayButton(pLogic, pEngine);
    case kCmdMoveHome:
        if (pLogic.Recording || IsRunning(pEngine))
            return false;
        p.Head = 0;
        p.ViewStart = 0;
        DrawHead(pLogic, pEngine);
        return true;
    case kCmdPlaySelected:
    case kCmdPlaySelectedEx:
    case kCmdPlaySelectedLoop:
    case kCmdPlayToin:
    case kCmdPlayToend:
    case kCmdPlayFromin:
    case kCmdPlayFromout:
        return RangePlay(pLogic, pEngine, kPlaySelection + (pId - kCmdPlaySelected));
    default:
        return false;
    }
}

} // namespace tarvok
