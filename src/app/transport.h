#pragma once

#include "engine/play_mode.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarvok {

class MainLogic;
class PlaybackEngine;
class RecordingEngine;

/// Message shown when REC is pressed while this build has no recording engine.
inline constexpr const char* kRecordingUnavailable = "録音機能は使用できません";

/// Connects the transport to the engine's timers (STOP at the end of a range, the shuttle
/// refill, the head following) and the command dispatcher to the transport commands. Call
/// once after both exist; both must outlive the connection.
void AttachTransport(MainLogic& pLogic, PlaybackEngine& pEngine);

/// Connects a recording engine: REC, REC_NOW and PLAY while armed use it, its ticks run
/// in the engine's timers, and its block placement is one editing step. Call after
/// AttachTransport; the recorder must outlive the connection.
void AttachRecorder(MainLogic& pLogic, PlaybackEngine& pEngine, RecordingEngine& pRecorder);

/// Runs one transport command of the command table (IDs 14..22, 31..44); pLevel is the
/// level given with JOG_PLUS and JOG_MINUS. False when the ID is not a transport command
/// or the command was refused.
bool RunTransportCommand(
    MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pId, int32_t pLevel = 0);

// The transport buttons.
bool RecButton(MainLogic& pLogic, PlaybackEngine& pEngine, bool pRecordNow);
void StopButton(MainLogic& pLogic, PlaybackEngine& pEngine);
void PauseButton(MainLogic& pLogic, PlaybackEngine& pEngine);
bool PlayButton(MainLogic& pLogic, PlaybackEngine& pEngine);
/// The range plays, PlayMode 3..9.
bool RangePlay(MainLogic& pLogic, PlaybackEngine& pEngine, PlayMode pPlayMode);

// The head strip.
/// Sets the head from a click at pX pixels; the head is at least 0.
void SetHeadFromX(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX);
void HeadStripDown(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX);
void HeadStripMove(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX);
void HeadStripUp(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX);
/// Right button released: stops a run; false when stopped (the window then opens its menu).
bool HeadStripRightUp(MainLogic& pLogic, PlaybackEngine& pEngine);
void HeadStripDoubleClick(MainLogic& pLogic, PlaybackEngine& pEngine);
/// First item of the scale menu: ZeroPos at the head, as an editing step.
bool SetZeroAtHead(MainLogic& pLogic);

/// The view follows the head of a play run (TimerVU, PlayModes 1..9).
void FollowHead(MainLogic& pLogic, PlaybackEngine& pEngine);
/// Scrolls so that the head is at the middle when it lies outside the view.
void BringHeadIntoView(MainLogic& pLogic);

/// The three lines of the counter: state word, moving indicator, head time.
std::array<std::string, 3> CounterLines(const MainLogic& pLogic, const PlaybackEngine& pEngine);
/// Colour set of the counter: 2 recording, 1 playing, 0 stopped.
int32_t CounterColour(const MainLogic& pLogic, const PlaybackEngine& pEngine);

// Scrub and shuttle on the current track (output slot 0).

/// Fills ring buffer pIndex of the voice from timeline position pPosition at speed
/// pSpeed and queues it unless PlayMode is 0.
void FillVoiceBuffer(
    MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pIndex, int32_t pPosition, float pSpeed);
/// Moves the head to finished buffers and fills up to two free ones at pSpeed (limited to
/// -1..1) for the scale scrub and the key scrub.
void ScrubFill(MainLogic& pLogic, PlaybackEngine& pEngine, double pSpeed);
/// Key scrub: SCRUB_PLUS/MINUS (pWide false) and SCRUB_PLUSW/MINUSW.
void KeyScrub(MainLogic& pLogic, PlaybackEngine& pEngine, bool pForward, bool pWide);
void ShuttlePress(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pValue);
void ShuttleMove(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pValue);
void ShuttleRelease(MainLogic& pLogic, PlaybackEngine& pEngine);
/// One TimerProg tick of the shuttle: refills free buffers and moves the head.
void ShuttleTick(MainLogic& pLogic, PlaybackEngine& pEngine);
/// JOG_PLUS (pForward) and JOG_MINUS with a level: 0 stops, 1..6 and higher set the speed.
void Jog(MainLogic& pLogic, PlaybackEngine& pEngine, bool pForward, int32_t pLevel);
/// The slider value in percent that a JOG level selects (sign not included).
int32_t JogPercent(int32_t pLevel);
void ScaleScrubDown(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pXTwips);
void ScaleScrubMove(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pXTwips);
void ScaleScrubUp(MainLogic& pLogic, PlaybackEngine& pEngine);
/// Mark preview while a mark is dragged: begin, move to the mark at pMark (pX pixels), end.
bool MarkPreviewBegin(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX);
void MarkPreviewMove(MainLogic& pLogic, PlaybackEngine& pEngine, int32_t pX, int32_t pMark);
void MarkPreviewEnd(MainLogic& pLogic, PlaybackEngine& pEngine);

/// The head time as shown in status texts and the counter (Head - ZeroPos).
std::string HeadTimeText(const MainLogic& pLogic);

} // namespace tarvok
