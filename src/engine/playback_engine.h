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

/// What the transport shares with the engine's timers and the recording engine.
struct TransportState {
    int32_t ScrubTime = 0; ///< time of day (ms) of the latest scrub command
    int32_t HeadX = 0;
    bool ScrollDragging = false; ///< the horizontal scroll bar is being dragged
    bool RecArmed = false; ///< a recording is prepared (armed), waiting or writing
    bool RecWriting = false;
};

/// Plays the project's blocks on up to eight wave-out slots at once and offers the
/// single-device voice on slot 0 (file preview, scrub, shuttle, mark preview). Everything
/// runs on the user-interface thread; the two timers TimerProg and TimerVU drive it.
/// While a run is going Playing is set and OnPlayingChanged tells the owner, so that edits
/// are refused. The engine runs the ring of buffers (which buffer is free, filled, queued,
/// from where the next is mixed); the devices are OutputSlots, the mix is TrackMixer, the
/// recording-clock correction is ClockDriftFilter; the voice lives in playback_voice.cpp.
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

    // State of the playback run; the windows and the transport read and set these.
    /// What the current run plays.
    PlayMode Mode = PlayMode::Stopped;
    std::array<int32_t, kOutputSlots> OutputEnabled {};
    std::array<int32_t, kInputSlots> InputEnabled {};
    std::array<int32_t, kOutputSlots> OutputUsed {};
    int32_t MasterSlot = 0;
    Setup BufferSetup;
    int32_t BufferSamples = 0;
    std::array<int32_t, kOutputSlots> NextBuffer {};
    std::vector<int32_t> BufferState; ///< 0 free, 1 claimed, 2 filling, 3 queued
    std::vector<float> BufferSpeed;
    std::vector<int32_t> BufferStart, BufferEnd, BufferPrevEnd;
    int32_t PlayStart = 0;
    int32_t PlayEnd = 0; ///< fill limit, 0 = none
    int32_t NextFill = 0;
    int32_t Written = 0;
    /// Generation of the latest start or refill; an older one that sees it change gives up.
    uint64_t FillStamp = 0;
    int32_t Starting = 0;
    int32_t DeviceOpen = 0;
    int32_t Paused = 0;
    float PlaySpeed = 1.0f;
    int32_t ClockDrift = 0;
    int32_t AppliedDrift = 0;
    ClockDriftFilter Drift;
    /// True when the latest StartPlayback gave up because a newer start or refill began;
    /// the newer run then owns the devices and must not be stopped.
    bool LastStartSuperseded = false;
    /// Set by the recording engine while a recording with playback has started.
    bool RecordingStarted = false;
    /// Automation writing is on (short buffers, wider cache window).
    bool AutomationWriting = false;
    /// The WAV file the file preview plays (16-bit stereo at the project rate).
    std::string PreviewFile;
    TransportState Transport;
    /// A playback run (or the single-device voice) is going.
    bool Playing = false;
    /// Told whenever Playing changes, so the owner can refuse edits while it is set.
    std::function<void(bool)> OnPlayingChanged;

    /// Called where a run must end as the STOP button ends it (end of range, head limits,
    /// refill errors). Without it the engine calls StopPlay(true).
    std::function<void()> OnStopButton;
    /// TimerProg work of the shuttle (PlayMode 10).
    std::function<void()> OnShuttleTick;
    /// TimerVU work after the head moved: view following and counter (modes 1..9), and
    /// the head of the single-device modes 10..14.
    std::function<void()> OnHeadTick;
    /// Called by StopPlay when it resets the display (flag 1).
    std::function<void()> OnStopDisplay;
    /// The recording engine's share of the two timers, run first in each tick whether or
    /// not anything plays.
    std::function<void()> OnRecordProgTick;
    std::function<void()> OnRecordVUTick;
    /// Automation writing's share of TimerProg, run after the recording's share and before
    /// the refill, whether or not anything plays, so that the buffers mixed next read the
    /// levels it wrote.
    std::function<void()> OnAutomationTick;

    /// Recomputes OutputEnabled and InputEnabled from "DevOutID_n" and "DevInID_n": a slot
    /// is enabled unless its ID is -1 or a lower slot has the same ID.
    void ComputeDeviceSlots();
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
    /// PlayMode 0 and StopPlayback; with pUpdateDisplay also clears the pause and shows
    /// "再生停止".
    void StopPlay(bool pUpdateDisplay);
    /// Pauses (false) or restarts (true) every open output; results are ignored.
    void PauseOutputs(bool pResume);
    /// Reports a nonzero device result in a message box; 1 when it showed one.
    int32_t ShowDeviceError(WaveResult pResult, bool pIsOutput);
    /// The head from the device clock (TimerVU, modes 1..9, no recording).
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

    /// Sets PlayMode, marks slot 0 as the only used slot, sets up the ring for the mode and
    /// opens slot 0; false (after reporting) when it cannot be opened.
    bool OpenVoice(PlayMode pMode);
    /// OpenVoice for the file preview (PlayMode 14).
    bool OpenPreviewDevice() { return OpenVoice(PlayMode::FilePreview); }
    /// Plays PreviewFile from PlayStart up to frame pEnd (exclusive), or to its end when pEnd
    /// is 0 or lies beyond it.
    bool StartFilePreview(int32_t pEnd = 0);
    int32_t RefillFilePreview();
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
    /// Resets, unprepares and closes slot 0 only (the end of a mark preview).
    void CloseVoice();

    /// Gains of a track: track level x master level x playback trim, per channel.
    std::array<double, 2> TrackGains(int32_t pTrack) const;
    /// Reads the frames pStart .. pStart + pFrames - 1 of one track (block levels applied,
    /// later blocks over earlier ones, silence where no block lies) into pOut.
    /// False when nothing of the track lies there.
    bool ReadTrackFrames(
        int32_t pTrack, int64_t pStart, int32_t pFrames, std::vector<int16_t>& pOut);

    Project& Proj();
    UserInterface& Ui();
    void SetPlaying(bool pPlaying);
    WaveOutService& Out() { return slots_.Service(); }
    EngineClock& Clock() { return clock_; }
    int32_t RingSize() const { return BufferSetup.LastIndex + 1; }

private:
    uint64_t NewStamp();
    bool OpenSlot(int32_t pSlot);
    /// Mixes the ring's buffers from pPosition (moved on past them) before the devices
    /// start; false when a mix failed or a newer start superseded this one.
    bool MixFirstBuffers(uint64_t pStamp, int32_t& pPosition, int32_t& pWritten);
    void QueueOnUsedSlots(int32_t pIndex);
    bool TrackQualifies(int32_t pTrack) const;
    bool ReloadCache(int32_t pPosition, uint64_t pStamp);
    bool RingCanPlay(int32_t pSlot) const { return OutputUsed[pSlot] && slots_.IsOpen(pSlot); }
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
};

} // namespace tarvok
