#pragma once

#include "engine/clock_drift.h"
#include "engine/engine_clock.h"
#include "engine/engine_options.h"
#include "engine/output_slots.h"
#include "engine/play_mode.h"
#include "engine/track_mixer.h"
#include "engine/wave_device.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvok {

class Project;
class UserInterface;

/// Pre-roll and post-roll of the range plays.
inline constexpr int32_t kPreRollMs = 2000;

/// Results of RefillBuffers below 0.
inline constexpr int32_t kRefillNothing = -1; ///< nothing to do, or superseded
inline constexpr int32_t kRefillError = -2;
inline constexpr int32_t kRefillEndBusy = -3; ///< end of range, buffers still playing
inline constexpr int32_t kRefillEndIdle = -4; ///< end of range, nothing playing

/// What the owner of the engine does at the engine's moments; every entry may be empty.
struct TransportHooks {
    /// Told whenever Playing changes, so the owner can refuse edits while it is set.
    std::function<void(bool)> PlayingChanged;
    /// Called where a run must end as the STOP button ends it (end of range, head limits,
    /// refill errors). Without it the engine calls StopPlay(true).
    std::function<void()> StopButton;
    /// TimerProg work of the shuttle (PlayMode Shuttle).
    std::function<void()> ShuttleTick;
    /// TimerVU work after the head moved: view following and counter (track plays), and
    /// the head of the voice modes.
    std::function<void()> HeadTick;
    /// Called by StopPlay when it resets the display.
    std::function<void()> StopDisplay;
    /// Automation writing's share of TimerProg, run after the recording's share and before
    /// the refill, whether or not anything plays, so that the buffers mixed next read the
    /// levels it wrote.
    std::function<void()> AutomationTick;
};

/// Plays the project's blocks on up to eight wave-out slots at once and offers the
/// single-device voice on slot 0 (file preview, scrub, shuttle, mark preview). Everything
/// runs on the user-interface thread; the two timers TimerProg and TimerVU drive it.
/// While a run is going IsPlaying() is true and the hooks tell the owner, so that edits
/// are refused. The engine runs the ring of buffers (which buffer is free, filled, queued,
/// from where the next is mixed); the devices are OutputSlots, the mix is TrackMixer, the
/// recording-clock correction is ClockDriftFilter; the voice lives in playback_voice.cpp.
/// The transport (app/transport.h) decides what runs; the engine keeps the run's state.
class PlaybackEngine {
public:
    PlaybackEngine(WaveOutService& pOut, Project& pProject, UserInterface& pUi,
        const EngineOptions& pOptions, EngineClock& pClock);
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    struct Setup {
        int32_t LastIndex = 2;
        int32_t Ms = 500;
        int32_t CacheMultiple = 1;
    };

    /// Connects the transport's share of the timers; DetachTransport empties it again.
    void AttachTransport(TransportHooks pHooks) { hooks_ = std::move(pHooks); }
    void DetachTransport() { hooks_ = {}; }
    /// The recording engine's share of the two timers, run first in each tick whether or
    /// not anything plays (the progress tick not while paused).
    void AttachRecorderTicks(std::function<void()> pProgTick, std::function<void()> pVUTick);
    void DetachRecorderTicks();

    // The state of the run.

    /// What the current run plays (Stopped when none).
    PlayMode Mode() const { return mode_; }
    /// A playback run (or the single-device voice) is going.
    bool IsPlaying() const { return playing_; }
    /// Output handles are open.
    bool IsDeviceOpen() const { return deviceOpen_; }
    /// A start or refill is running (it yields to the window system).
    bool IsStarting() const { return starting_; }
    bool IsPaused() const { return paused_; }
    /// Speed of the single-device voice (1.0 when idle).
    float PlaySpeed() const { return playSpeed_; }
    /// Start of the run, its fill limit (0: none) and the next position to mix.
    int32_t PlayStart() const { return playStart_; }
    int32_t PlayEnd() const { return playEnd_; }
    int32_t NextFill() const { return nextFill_; }
    /// True when the latest StartPlayback gave up because a newer start or refill began;
    /// the newer run then owns the devices and must not be stopped.
    bool LastStartSuperseded() const { return lastStartSuperseded_; }
    /// The WAV file the file preview plays.
    const std::string& PreviewFile() const { return previewFile_; }
    /// The clock correction while recording with playback (frames), and the part applied.
    int32_t ClockDrift() const { return clockDrift_; }
    int32_t AppliedDrift() const { return appliedDrift_; }
    const ClockDriftFilter& Drift() const { return drift_; }

    /// The slots the settings enable ("DevOutID_n", "DevInID_n") and the slots of this run.
    const std::array<int32_t, kOutputSlots>& OutputEnabled() const { return outputEnabled_; }
    const std::array<int32_t, kInputSlots>& InputEnabled() const { return inputEnabled_; }
    const std::array<int32_t, kOutputSlots>& OutputUsed() const { return outputUsed_; }
    /// The ring: its setup, frames per buffer, and the timeline span of buffer pIndex
    /// (-1 when it holds none) for the BufferCount() buffers set up.
    const Setup& BufferSetup() const { return bufferSetup_; }
    int32_t BufferSamples() const { return bufferSamples_; }
    int32_t BufferCount() const { return static_cast<int32_t>(bufferStart_.size()); }
    int32_t BufferStart(int32_t pIndex) const { return bufferStart_[pIndex]; }
    int32_t BufferEnd(int32_t pIndex) const { return bufferEnd_[pIndex]; }
    /// Generation of the latest start or refill; an older one that sees it change gives up.
    uint64_t FillStamp() const { return fillStamp_; }

    // The recording's share of the run.

    /// A recording is armed (waiting for PLAY or writing) / writing.
    bool RecordingArmed() const { return recording_ != RecordingState::Off; }
    bool RecordingWriting() const { return recording_ == RecordingState::Writing; }
    /// A recording with playback has started: the recording engine moves the head.
    bool RecordingStarted() const { return recordingStarted_; }
    void ArmRecording() { recording_ = RecordingState::Armed; }
    void MarkRecordingWriting() { recording_ = RecordingState::Writing; }
    /// The recording began writing; with outputs open, playback follows its clock.
    void RecordingBegan();
    /// The recording ended (or was never written): nothing is armed any more.
    void EndRecording();

    // Starting and ending runs.

    /// Recomputes OutputEnabled and InputEnabled from "DevOutID_n" and "DevInID_n": a slot
    /// is enabled unless its ID is -1 or a lower slot has the same ID.
    void ComputeDeviceSlots();
    /// Finds the slots' remembered devices in today's lists (BindDeviceSlots): called with
    /// true (inputs too) at the start of ComputeDeviceSlots, and with false before a playback
    /// that no recording started opens its outputs. It lists devices, so the construction,
    /// which comes before it is set, lists none.
    void SetDeviceBinder(std::function<void(bool pInputsToo)> pBinder)
    {
        binder_ = std::move(pBinder);
    }
    /// Chooses what the next StartPlayback plays: pMode from pStart, mixing up to pEnd
    /// (0: no end).
    void PrepareRun(PlayMode pMode, int32_t pStart, int32_t pEnd);
    /// Chooses the mode alone (a double-click readies a play from the click).
    void SelectMode(PlayMode pMode) { mode_ = pMode; }
    /// Short buffers and a wider cache window while automation writes.
    void UseAutomationBuffers(bool pOn) { automationWriting_ = pOn; }
    /// Chooses the ring by PlayMode and allocates it for every used slot.
    void SetupBuffers();
    /// Starts a run from Head in the current PlayMode. False when no slot could be opened,
    /// a mix failed or a newer start superseded this one; the caller then calls StopPlay.
    bool StartPlayback();
    /// Refills and queues every finished buffer: the last index queued, or a kRefill code.
    int32_t RefillBuffers();
    /// Mixes ring buffer pIndex of every used slot from timeline position pPosition.
    bool MixBuffer(int32_t pIndex, int32_t pPosition, uint64_t pStamp);
    /// Ends the run on every used slot; with pFlush the slots play silence for 50 ms first.
    void StopPlayback(bool pFlush);
    /// PlayMode Stopped and StopPlayback; with pUpdateDisplay also clears the pause and
    /// shows "再生停止".
    void StopPlay(bool pUpdateDisplay);
    /// Pauses every open output (Pause) or restarts them (Resume); results are ignored.
    void Pause();
    void Resume();
    /// Reports a nonzero result of output slot pSlot's device in a message box that names
    /// the slot and the device; 1 when it showed one.
    int32_t ShowDeviceError(WaveResult pResult, int32_t pSlot);
    /// The head from the device clock (TimerVU, track plays, no recording).
    void UpdateHead();
    /// The clock correction while recording with playback, fed with the input slot's
    /// byte position and the recording target's start offset in frames.
    void UpdateClockDrift(uint32_t pInputBytes, int32_t pStartOffset);
    /// Tells the engine that the project's blocks or levels changed under a running mix.
    void MarkCacheDirty() { mixer_.MarkDirty(); }

    /// The 50 ms timers: refill (and the scrub and shuttle timing) and the head.
    void TimerProg();
    void TimerVU();

    // The single-device voice on output slot 0.

    /// Opens the voice for pMode with its ring prepared, reading the current track from
    /// pPosition at pSpeed (no end); false (after reporting) when slot 0 cannot be opened.
    bool OpenVoiceAt(PlayMode pMode, int32_t pPosition, float pSpeed);
    /// Opens the voice for pMode with its ring prepared, leaving the positions as they are.
    bool OpenVoiceRing(PlayMode pMode);
    /// Changes the speed of the voice's following buffers.
    void ChangeVoiceSpeed(float pSpeed) { playSpeed_ = pSpeed; }
    /// Fills ring buffer pIndex of the voice from timeline position pPosition of the
    /// current track at speed pSpeed and queues it unless the engine is stopped.
    void FillVoiceBuffer(int32_t pIndex, int32_t pPosition, float pSpeed);
    /// The scrub: fills up to two free voice buffers at pSpeed (beyond -1..1 the previous
    /// direction at full speed) from NextFill on.
    void FillScrubBuffers(double pSpeed);
    /// The end of the latest voice buffer heard since the last call, if any.
    std::optional<int32_t> TakeHeardScrubEnd();
    /// The shuttle: fills every free voice buffer at PlaySpeed from NextFill on; pHeadAt is
    /// told the end of the buffer each one replaced, when it had one.
    void FillShuttleBuffers(const std::function<void(int32_t)>& pHeadAt);
    /// The mark preview: plays the one buffer again from pPosition at normal speed.
    void ReplayMarkPreview(int32_t pPosition);
    /// Notes the time of day (ms) of a scrub command: a scrub burst ends 500 ms later.
    void NoteScrubCommand(int32_t pTimeOfDayMs) { scrubCommandMs_ = pTimeOfDayMs; }
    int32_t ScrubCommandMs() const { return scrubCommandMs_; }
    /// Plays the 16-bit stereo WAV file pFile from frame pStart up to frame pEnd
    /// (exclusive), or to its end when pEnd is 0 or lies beyond it; clears the pause.
    bool StartFilePreview(const std::string& pFile, int32_t pStart, int32_t pEnd = 0);
    int32_t RefillFilePreview();
    /// Forgets the previewed file.
    void ForgetPreviewFile() { previewFile_.clear(); }
    /// Prepares every ring header of slot 0.
    void PrepareVoiceRing();
    /// Queues ring buffer pIndex on slot 0 with its current length.
    void QueueVoiceBuffer(int32_t pIndex);
    /// True when ring buffer pIndex is free: never used, or played by MasterSlot.
    bool IsBufferFree(int32_t pIndex) const;
    /// The samples (left, right) and the header of ring buffer pIndex on a slot.
    int16_t* Samples(int32_t pSlot, int32_t pIndex);
    WaveHeader* Header(int32_t pSlot, int32_t pIndex);
    /// Bytes played on a slot since it was opened (0 when it is not open).
    uint32_t OutputPosition(int32_t pSlot);
    /// Stops a slot at once; its queued buffers are marked done.
    void ResetSlot(int32_t pSlot);
    /// Resets, unprepares and closes slot 0 only (the end of a file preview of the effect
    /// window); the mode stays.
    void CloseVoice();
    /// CloseVoice and PlayMode Stopped (the end of a mark preview).
    void StopVoice();

    /// Gains of a track: track level x master level x playback trim, per channel.
    std::array<double, 2> TrackGains(int32_t pTrack) const;
    /// Reads the frames pStart .. pStart + pFrames - 1 of one track (block levels applied,
    /// later blocks over earlier ones, silence where no block lies) into pOut.
    /// False when nothing of the track lies there.
    bool ReadTrackFrames(
        int32_t pTrack, int64_t pStart, int32_t pFrames, std::vector<int16_t>& pOut);

    Project& Proj();
    UserInterface& Ui();
    WaveOutService& Out() { return slots_.Service(); }
    EngineClock& Clock() { return clock_; }
    int32_t RingSize() const { return bufferSetup_.LastIndex + 1; }

private:
    friend struct EngineProbe; // the tests' view of the ring

    enum class RecordingState { Off, Armed, Writing };

    bool OpenVoice(PlayMode pMode);
    void SetPlaying(bool pPlaying);
    uint64_t NewStamp();
    bool OpenSlot(int32_t pSlot);
    /// Mixes the ring's buffers from pPosition (moved on past them) before the devices
    /// start; false when a mix failed or a newer start superseded this one.
    bool MixFirstBuffers(uint64_t pStamp, int32_t& pPosition, int32_t& pWritten);
    void QueueOnUsedSlots(int32_t pIndex);
    bool TrackQualifies(int32_t pTrack) const;
    bool ReloadCache(int32_t pPosition, uint64_t pStamp);
    bool RingCanPlay(int32_t pSlot) const { return outputUsed_[pSlot] && slots_.IsOpen(pSlot); }
    void FillPreviewBuffer(int32_t pIndex, int32_t pPosition);
    void StopAsButton();
    int32_t PreRollFrames() const;

    Project& project_;
    UserInterface& ui_;
    const EngineOptions& options_;
    EngineClock& clock_;
    OutputSlots slots_;
    TrackMixer mixer_;
    uint64_t stampCounter_ = 0;
    int32_t previewDataOffset_ = 44;

    TransportHooks hooks_;
    std::function<void(bool)> binder_;
    std::function<void()> recordProgTick_;
    std::function<void()> recordVUTick_;

    PlayMode mode_ = PlayMode::Stopped;
    std::array<int32_t, kOutputSlots> outputEnabled_ {};
    std::array<int32_t, kInputSlots> inputEnabled_ {};
    std::array<int32_t, kOutputSlots> outputUsed_ {};
    int32_t masterSlot_ = 0;
    Setup bufferSetup_;
    int32_t bufferSamples_ = 0;
    std::array<int32_t, kOutputSlots> nextBuffer_ {};
    std::vector<int32_t> bufferState_; ///< 0 free, 1 claimed, 2 filling, 3 queued
    std::vector<float> bufferSpeed_;
    std::vector<int32_t> bufferStart_, bufferEnd_, bufferPrevEnd_;
    int32_t playStart_ = 0;
    int32_t playEnd_ = 0; ///< fill limit, 0 = none
    int32_t nextFill_ = 0;
    int32_t written_ = 0;
    uint64_t fillStamp_ = 0;
    bool starting_ = false;
    bool deviceOpen_ = false;
    bool paused_ = false;
    float playSpeed_ = 1.0f;
    int32_t clockDrift_ = 0;
    int32_t appliedDrift_ = 0;
    ClockDriftFilter drift_;
    bool lastStartSuperseded_ = false;
    bool recordingStarted_ = false;
    RecordingState recording_ = RecordingState::Off;
    bool automationWriting_ = false;
    std::string previewFile_;
    bool playing_ = false;
    int32_t scrubCommandMs_ = 0; ///< time of day of the latest scrub command
};

} // namespace tarvok
