#pragma once

#include "base/i18n.h"

#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/project.h"
#include "engine/engine_options.h"
#include "engine/latency_calibration.h"
#include "engine/wave_device.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvok {

class DataFolder;
class FileSyncer;
class PlaybackEngine;
class Settings;
class UserInterface;

inline constexpr int32_t kRecTargets = 16;
inline constexpr int32_t kRecBuffers = 3;

/// Status bits of WriteTarget.
inline constexpr int32_t kRecWritten = 1;
inline constexpr int32_t kRecBegan = 2;
inline constexpr int32_t kRecVoiceStop = 4;

/// Channel types of a recording target.
inline constexpr int32_t kRecLeft = 1;
inline constexpr int32_t kRecRight = 2;
inline constexpr int32_t kRecStereo = 3;

/// Suffix of the marker file kept beside a recording's WAV file while it is written; a
/// marker found later names a recording that was never finished (the process ended).
inline constexpr const char* kRecMarkerSuffix = kRecordingMarkerSuffix;

/// Messages of the recording engine (catalogue keys: shown through Tr).
inline constexpr const char* kRecInitText = N_("録音初期化");
inline constexpr const char* kRecSelectTrackText = N_("録音トラックを選択してください");
inline constexpr const char* kRecPressPlayText = N_("再生ボタンを押してください");
inline constexpr const char* kRecRecordingText = N_("録音中");
inline constexpr const char* kRecFileLabel = N_("録音ファイル");
/// The start of the message of a write that failed; its cause and what was kept follow.
inline constexpr const char* kRecWriteFailedText
    = N_("録音ファイルに書き込めないため録音を停止しました");
inline constexpr const char* kRecKeptText = N_("それまでの録音は残しました。");
inline constexpr const char* kRecNotKeptText = N_("録音は残せませんでした。");
inline constexpr const char* kRecCreateFailedText = N_("録音ファイルを作成できません");
/// The start of the report of input lost to overruns; how much and where follow.
inline constexpr const char* kRecLostText = N_("録音中に入力の一部が失われ、無音で埋めました");
/// The message of a take that captured nothing, and its causes when known.
inline constexpr const char* kRecNothingText = N_("何も録音されませんでした");
inline constexpr const char* kRecNoInputText = N_("入力から音声が届きませんでした");
inline constexpr const char* kRecNoVoiceText = N_("入力が音声起動の開始レベルに達しませんでした");
inline constexpr const char* kRecOverrunText
    = N_("録音が処理に追いつかず、入力の一部が失われました");

/// The slot of a RecCh value: the stereo input k for 0..7, slot (RecCh - 100) / 2 for a
/// single channel 100..115; -1 for anything else.
int32_t RecChSlot(int32_t pRecCh);
/// The channel type of a RecCh value (kRecStereo, kRecLeft or kRecRight), 0 when invalid.
int32_t RecChType(int32_t pRecCh);
/// The text a RecCh value is shown as: "1+2" .. "15+16" or "1" .. "16".
std::string RecChText(int32_t pRecCh);
/// The RecCh value chosen by item pItem (0..23) of the input menu.
int32_t RecChOfMenuItem(int32_t pItem);
/// Item pItem of the input menu is visible: the stereo item of an enabled slot and both of
/// its channel items.
bool RecChMenuItemVisible(int32_t pItem, const std::array<int32_t, 8>& pInputEnabled);
/// True when two RecCh values take some of the same input: the same value, or a stereo
/// input and one of its channels. The two channels of one slot do not overlap.
bool RecChOverlaps(int32_t pA, int32_t pB);

/// Toggles the armed state of a track (the input side of the track's selector): refused
/// (false) while recording or when the track's input slot is not enabled; arming disarms
/// every other armed track whose input overlaps.
bool ToggleRecArm(Project& pProject, int32_t pTrack, const std::array<int32_t, 8>& pInputEnabled,
    bool pRecording);
/// Chooses input menu item pItem for a track; refused while recording. An armed track whose
/// new input overlaps another armed track disarms that one; a track whose new slot is not
/// enabled is disarmed.
bool ChooseRecInput(Project& pProject, int32_t pTrack, int32_t pItem,
    const std::array<int32_t, 8>& pInputEnabled, bool pRecording);

/// A recording left behind by a process that ended while writing it.
struct OrphanedRecording {
    std::string WaveFile; ///< the WAV file, valid up to its last finished buffer
    std::string Marker;
    int32_t TrackNo = 0;
    int32_t StartAdr = 0;
    int32_t Frames = 0;
    int32_t SampleRate = 0;
};

/// Looks for recording markers in a data folder; only markers whose WAV file is readable
/// are returned (a marker without one is deleted). A marker names the process recording
/// its take ("track start rate pid"): a take whose process runs is left as it is, never
/// returned or deleted. A marker without a process (written by an older build) counts only
/// while no other process that runs has entered the folder.
std::vector<OrphanedRecording> FindOrphanedRecordings(std::string_view pFolder);
/// Places an orphaned recording as a new block on its track (peaks built from the file) and
/// removes its marker. False when the file cannot be added.
bool PlaceOrphanedRecording(Project& pProject, DataFolder& pFolder, UserInterface& pUi,
    const OrphanedRecording& pOrphan, int32_t pWfMode);
/// Deletes an orphaned recording's marker (and, with pDeleteWave, its WAV file).
void DiscardOrphanedRecording(const OrphanedRecording& pOrphan, bool pDeleteWave);

/// Records from up to eight wave-in slots into up to sixteen armed tracks, each into a new
/// working WAV file. Runs on the user-interface thread: TimerProg processes finished input
/// buffers, TimerVU moves the head from the input clock. Every appended buffer leaves the
/// file a valid WAV file (the sizes in its header are brought up to date), so a recording
/// cut short by a crash keeps everything but at most its last buffer.
class RecordingEngine {
public:
    RecordingEngine(WaveInService& pIn, PlaybackEngine& pPlayback, Project& pProject,
        UserInterface& pUi, EngineOptions& pOptions, DataFolder& pFolder);
    ~RecordingEngine();
    RecordingEngine(const RecordingEngine&) = delete;
    RecordingEngine& operator=(const RecordingEngine&) = delete;

    struct InputSlotState {
        std::array<int32_t, kRecBuffers> BufferBusy {};
        int32_t PendingStart = 0;
        int32_t Active = 0;
        int32_t Armed = 0;
        int32_t TargetL = -1;
        int32_t TargetR = -1;
        int32_t NextIndex = 0;
        WaveHandle Handle = kNoWaveHandle;
        std::unique_ptr<WaveHeader[]> Headers;
        std::array<std::vector<int16_t>, kRecBuffers> Arrays;
        int64_t Processed = 0; ///< frames taken out of finished buffers
        uint32_t LastBytes = 0; ///< device position at the previous look, to unwrap it
        int64_t Captured = 0; ///< frames the device clock has run, unwrapped
        int64_t Lost = 0; ///< frames the device captured with no buffer to take them
        int32_t Opened = 0; ///< the device opened for this take
        /// Runs of lost input not yet written: the frames taken from buffers before each
        /// run, and its length.
        struct Gap {
            int64_t After = 0;
            int64_t Frames = 0;
        };
        std::vector<Gap> Gaps;
        /// Where this input's frames belong on the timeline heard while playback runs.
        TakeAlignment Alignment;
        /// The measured round-trip offset of this input and the output it played against,
        /// in frames (0 when the pair was never measured).
        int64_t OffsetFrames = 0;
    };

    struct RecTarget {
        std::string FileName;
        int32_t TrackNo = -1;
        int32_t InputSlot = -1;
        int32_t ChannelType = 0;
        int32_t Total = 0;
        int64_t Seen = 0;
        int64_t StartOffset = -1;
        int64_t PrevStart = -1;
        int64_t StopOffset = -1;
        int32_t SilentRun = 0;
        int32_t StartAdr = 0; ///< RecBlock.StartAdr: where the block goes on the timeline
        /// Frames at the take's start left out of its block: they belong before the start of
        /// the timeline.
        int32_t SkipFrames = 0;
        PeakArray Peaks; ///< RecPeaks
        int32_t PeakEntries = 0;
        int32_t StretchFrames = 0;
        int32_t StretchL = 0, StretchR = 0;
        FileHandle File; ///< kept open for appending while recording
    };

    // Run state.
    bool Recording = false;
    bool RecStarted = false;
    bool RecOnly = false;
    int32_t RecStartPos = 0;
    int32_t FirstTarget = -1;
    int64_t FirstStart = 0;
    int32_t RecTargetCount = 0;
    int32_t RecBufferSamples = 0;
    int32_t StartAmplitude = 0;
    int32_t StopAmplitude = 0;
    int32_t StopLength = 0;
    /// Buffers lost because the processing fell behind the device (never silent: each new
    /// loss is reported).
    int32_t Overruns = 0;
    /// Frames of input lost to overruns in this take, written as silence in their place.
    int64_t LostFrames = 0;
    /// Set when an append failed; the next tick stops the recording.
    bool WriteFailed = false;
    /// Takes placed by the last StopRecording.
    int32_t PlacedTakes = 0;
    std::array<InputSlotState, 8> Slots {};
    std::array<RecTarget, kRecTargets> Targets {};

    /// Called when a tick must stop everything as the STOP button does (voice-activated
    /// stop of every target, a failed write). Without it the engine calls StopRecording.
    std::function<void()> OnStopButton;
    /// Opens and closes the one undo step of StopRecording; without them no undo is taken.
    std::function<bool()> BeginEditStep;
    std::function<void()> EndEditStep;
    /// Called after each tick that wrote data (title length, track redraw).
    std::function<void()> OnWritten;
    /// The recording monitor is open (1), closed (0) or opening or closing (-1); STOP sets
    /// MonitorClose so that an open monitor closes at its next tick.
    int32_t MonitorOpen = 0;
    bool MonitorClose = false;
    /// The measured round-trip offsets per device pair (StoredLatencyOffsetUs); without it
    /// takes recorded against playback are placed by the latencies the devices report alone.
    const Settings* LatencyStore = nullptr;
    /// Test seam: the append of pTarget's data fails when this returns true.
    std::function<bool(int32_t pTarget)> FailAppend;

    /// Builds the targets from the armed tracks; false (with the status message) when none.
    bool PrepareRecording();
    /// Allocates the three buffers of a slot.
    void SetupRecordBuffers(int32_t pSlot);
    /// Opens a slot's device and queues its buffers; see the class notes.
    bool OpenInput(int32_t pSlot, bool pStartLater);
    void StartPendingInputs();
    /// Opens every armed slot and starts them together; Recording is set. False when no
    /// input opened (the prepared files are then deleted and the targets cleared).
    bool OpenArmedInputs();
    /// PrepareRecording and OpenArmedInputs.
    bool Arm();
    /// Every target of every active slot records from the first input frame.
    void StartAtFirstFrame();
    /// Every target of every active slot records from the slot's current input position.
    void StartAtCurrentPosition();
    /// Processes at most one finished buffer of a slot: (left status, right status).
    std::pair<int32_t, int32_t> ProcessInput(int32_t pSlot, bool pFinal);
    /// Writes pCount frames of pFrames (left, right) to a target; the status bits.
    int32_t WriteTarget(int32_t pTarget, int32_t pType, const int16_t* pFrames, int32_t pCount);
    void CloseInput(int32_t pSlot);
    /// Closes the inputs and places the recorded files as blocks (one undo step).
    void StopRecording();
    void ResetRecords();

    /// The TimerProg work: every active slot's next buffer and the statuses.
    void TimerProg();
    /// The TimerVU work: the head follows the input clock, playback is kept in step.
    void TimerVU();

    /// Device position of an active slot in bytes (0 when not open).
    uint32_t InputPosition(int32_t pSlot);
    /// The samples of buffer pIndex of a slot (for the monitor); empty when not set up.
    const std::vector<int16_t>& BufferSamples(int32_t pSlot, int32_t pIndex) const
    {
        return Slots[pSlot].Arrays[pIndex];
    }
    /// Linear gain of slot input pSlot's left (pChannel 0) or right channel. The buffers keep
    /// the input as it came: the gain is applied on the way to the files.
    double SlotGain(int32_t pSlot, int32_t pChannel) const;

    EngineOptions& Options() { return options_; }
    PlaybackEngine& Playback() { return playback_; }
    WaveInService& In() { return in_; }

private:
    void UpdateOverruns(int32_t pSlot);
    /// The output slot whose clock the head follows while playing; -1 when none plays.
    int32_t HeardSlot() const;
    /// One reading of a slot's clock against the timeline heard, while a take is written
    /// against playback.
    void ReadAlignment(int32_t pSlot);
    /// The stored offset of the slot's input and the output pOutSlot, in frames.
    int64_t StoredOffsetFrames(int32_t pSlot, int32_t pOutSlot);
    /// Moves each take recorded against playback to where it was played along with.
    void AlignTakes();
    /// Hands pCount frames of a slot to its targets; the slot's (left, right) statuses.
    std::pair<int32_t, int32_t> Deliver(int32_t pSlot, const int16_t* pFrames, int32_t pCount);
    /// Writes the slot's lost runs that come before its next buffer (all of them with
    /// pAll) as silence; the statuses as ProcessInput gives them.
    std::pair<int32_t, int32_t> WriteGaps(int32_t pSlot, bool pAll);
    Status Append(RecTarget& pTarget, int32_t pIndex, const int16_t* pFrames, int32_t pCount);
    /// The messages after a stop: input lost, nothing recorded.
    void ReportTake(bool pKept);
    std::string LostReport() const;
    void CollectPeaks(RecTarget& pTarget, const int16_t* pFrames, int32_t pCount);
    void HandleStatuses(std::pair<int32_t, int32_t> pStatus);
    void StopAsButton();
    void WriteMarker(const RecTarget& pTarget);

    WaveInService& in_;
    PlaybackEngine& playback_;
    Project& project_;
    UserInterface& ui_;
    EngineOptions& options_;
    DataFolder& folder_;
    std::vector<int16_t> scratch_;
    std::vector<int16_t> levelled_; ///< a buffer with the slot levels applied
    std::vector<int16_t> silence_;
    bool fillingGap_ = false; ///< silence for lost input is being written
    bool takeAsked_ = false; ///< writing was asked for (not only standby)
    std::string writeError_; ///< the cause of the failed write
    /// Lost runs of this take: where they began on the timeline, and their length.
    std::vector<std::pair<int64_t, int64_t>> lostRuns_;
    /// Flushes appended files to the disk off the user-interface thread, so a busy disk
    /// never holds up the tick.
    std::unique_ptr<FileSyncer> syncer_;
};

} // namespace tarvok
