#pragma once

#include "base/text_marks.h"
#include "engine/play_mode.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarvok {

class MainLogic;
class PlaybackEngine;
class RecordingEngine;

/// Message shown when REC is pressed while this build has no recording engine.
inline constexpr const char* kRecordingUnavailable = N_("録音機能は使用できません");

/// What the transport is doing, as the buttons and the counter show it.
enum class Motion {
    Stopped,
    Rolling, ///< a play run of the project's tracks (PlayMode All .. FromOut)
    Paused, ///< a play run whose outputs are paused
    Recording, ///< a recording is armed, waiting or writing
    Scrubbing, ///< the voice plays the current track: shuttle, scale or key scrub, mark preview
    Previewing, ///< the voice plays a file (effect and sample-editor preview)
};

/// The one owner of the run state of playback, recording, scrub and preview: every play,
/// stop, pause, record, scrub, shuttle and preview of the windows, the command dispatcher
/// and the command line goes through it. It drives the engine's runs and keeps what the
/// transport itself remembers (the last play mode, the scrub mode and step, the head drag,
/// the shuttle value). Built after the engine and the main-window logic, it connects the
/// engine's timers (STOP at the end of a range, the shuttle refill, the head following) and
/// the command dispatcher to itself; destroy it before either of them. User-interface
/// thread only.
class Transport {
public:
    Transport(MainLogic& pLogic, PlaybackEngine& pEngine);
    ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    /// Connects a recording engine: REC, REC_NOW and PLAY while armed use it, its ticks run
    /// in the engine's timers, and its block placement is one editing step. The recorder
    /// must outlive the connection.
    void AttachRecorder(RecordingEngine& pRecorder);

    /// Runs one transport command of the command table (IDs 14..22, 31..44); pLevel is the
    /// level given with JOG_PLUS and JOG_MINUS. False when the ID is not a transport
    /// command or the command was refused.
    bool RunCommand(int32_t pId, int32_t pLevel = 0);

    // The transport buttons.
    bool Record(bool pRecordNow);
    void Stop();
    void Pause();
    bool Play();
    /// The range plays, Selection .. FromOut.
    bool PlayRange(PlayMode pMode);
    /// The PLAY command repeats the mode of the run going now (after a mark moved under it).
    void RepeatCurrentModeOnPlay();

    // Queries.
    Motion State() const;
    PlayMode Mode() const;
    /// The mode the PLAY command repeats.
    PlayMode LastPlayMode() const { return lastPlayMode_; }
    /// A run or the voice is going, or the outputs are still open.
    bool IsRunning() const;
    bool IsPaused() const;
    /// A recording is armed (waiting for PLAY or writing).
    bool RecordingArmed() const;
    /// The scrub commands play sound (SCRUB_ONOFF on) instead of moving the head silently.
    bool ScrubWithSound() const { return scrubMode_ == 1; }
    /// Smoothed step of silent scrubbing, frames.
    int32_t ScrubStep() const { return scrubStep_; }
    /// The shuttle slider's value in percent (0 when released).
    int32_t ShuttleValue() const { return shuttleValue_; }

    // The head strip.
    /// Sets the head from a click at pX pixels; the head is at least 0.
    void SetHeadFromX(int32_t pX);
    void HeadStripDown(int32_t pX);
    void HeadStripMove(int32_t pX);
    void HeadStripUp(int32_t pX);
    /// Right button released: stops a run; false when stopped (the window then opens its
    /// menu).
    bool HeadStripRightUp();
    void HeadStripDoubleClick();
    /// The view follows the head of a play run (TimerVU, PlayModes All .. FromOut).
    void FollowHead();

    /// The three lines of the counter: state word, moving indicator, head time.
    std::array<std::string, 3> CounterLines() const;
    /// Colour set of the counter: 2 recording, 1 playing, 0 stopped.
    int32_t CounterColour() const;

    // Scrub and shuttle on the current track (output slot 0).

    /// Key scrub: SCRUB_PLUS/MINUS (pWide false) and SCRUB_PLUSW/MINUSW.
    void KeyScrub(bool pForward, bool pWide);
    void ShuttlePress(int32_t pValue);
    void ShuttleMove(int32_t pValue);
    void ShuttleRelease();
    /// JOG_PLUS (pForward) and JOG_MINUS with a level: 0 stops, 1..6 and higher set the
    /// speed.
    void Jog(bool pForward, int32_t pLevel);
    /// Scrub by dragging on the time scale: press (false when the voice did not open), a
    /// move by pDeltaTwips from where the drag last counted (false when nothing was
    /// scrubbed: the drag keeps its anchor), release.
    bool ScaleScrubDown();
    bool ScaleScrubMove(int32_t pDeltaTwips);
    void ScaleScrubUp();
    /// Mark preview while a mark is dragged: begin, the drag moved by pDeltaPx pixels to
    /// the mark at frame pMark (false for a move of a pixel or less: the drag keeps its
    /// anchor), end.
    bool MarkPreviewBegin();
    bool MarkPreviewMove(int32_t pDeltaPx, int32_t pMark);
    void MarkPreviewEnd();

    // The file preview of the effect and sample-editor windows.

    /// Plays the 16-bit stereo WAV file pFile from frame pStart up to pEnd (exclusive; 0 or
    /// beyond the file: to its end), after stopping any run. False when it cannot start.
    bool StartPreview(const std::string& pFile, int32_t pStart, int32_t pEnd = 0);
    /// The file preview is playing (paused or not).
    bool PreviewPlaying() const;
    /// Pauses or resumes the file preview.
    void TogglePreviewPause();
    /// Refills the file preview's free buffers: a kRefill code below 0 at its end.
    int32_t RefillPreview();
    /// The frame of the previewed file that is being heard.
    int64_t PreviewPosition();
    /// Ends the file preview (and clears the pause); nothing else is stopped.
    void StopPreview();
    /// Forgets the previewed file (the file is about to go).
    void ForgetPreviewFile();

private:
    /// One TimerProg tick of the shuttle: refills free buffers and moves the head.
    void ShuttleTick();
    /// Moves the head to finished buffers and fills up to two free ones at pSpeed (limited
    /// to -1..1) for the scale scrub and the key scrub.
    void ScrubFill(double pSpeed);
    bool OpenScrubVoice(PlayMode pMode);
    bool StartRun();
    bool StartArmedRecording();
    void ShowPlayingDisplay();
    void DrawHead();

    MainLogic& logic_;
    PlaybackEngine& engine_;
    PlayMode lastPlayMode_ = PlayMode::All;
    int32_t scrubMode_ = 0;
    int32_t scrubStep_ = 0;
    bool headDrag_ = false;
    int32_t shuttleValue_ = 0; ///< slider position in percent
};

/// The slider value in percent that a JOG level selects (sign not included).
int32_t JogPercent(int32_t pLevel);
/// First item of the scale menu: ZeroPos at the head, as an editing step.
bool SetZeroAtHead(MainLogic& pLogic);
/// Scrolls so that the head is at the middle when it lies outside the view.
void BringHeadIntoView(MainLogic& pLogic);
/// The head time as shown in status texts and the counter (Head - ZeroPos).
std::string HeadTimeText(const MainLogic& pLogic);

} // namespace tarvok
