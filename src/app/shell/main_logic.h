#pragma once

#include "app/shell/app_options.h"
#include "app/shell/recent_files.h"
#include "base/text_marks.h"

#include "core/data_folder.h"
#include "core/error_log.h"
#include "core/file_io.h"
#include "core/project.h"
#include "core/project_file.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "decode/sound_decoder.h"
#include "edit/fade_automation.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok {

class LoudnessMeter;
class RecordingEngine;
class TimePitchEngine;

/// Window geometry asked for on the command line ("X=", "Y=", "W=", "H=").
struct WindowRequest {
    std::optional<int32_t> Left, Top, Width, Height;
};

/// How a project is opened: for editing (the window, and commands that save it) or only to be
/// read (commands that save nothing), which never keeps a writer out.
enum class ProjectAccess { Edit, ReadOnly };

/// What follows the cause when an undo snapshot could not be written.
inline constexpr std::string_view kEditNotMadeText = N_("この編集はしていません。");
inline constexpr std::string_view kUndoLostText
    = N_("録音は配置しましたが、元に戻すことはできません。");

/// The name of an undo step whose edit was not named.
inline constexpr std::string_view kUnnamedEdit = N_("編集");
/// What the message area puts before the name of a step taken back or made again.
inline constexpr std::string_view kUndoCaption = N_("元に戻す: ");
inline constexpr std::string_view kRedoCaption = N_("やり直し: ");

/// The headless logic of the main window: owns the one Project for the life of the process,
/// runs start-up and exit, brackets every edit with StartProc/EndProc and handles the
/// command line. The GUI and the CLI drive it; it reaches the user only through the
/// UserInterface it is given.
class MainLogic {
public:
    MainLogic(Settings& pSettings, UserInterface& pUi);

    Project& Proj() { return project_; }
    const Project& Proj() const { return project_; }
    Settings& Store() { return settings_; }
    UserInterface& Ui() { return ui_; }
    AppOptions& Options() { return options_; }
    const WindowRequest& RequestedWindow() const { return window_; }
    /// The data folder with its working-file name counters (valid after Startup).
    DataFolder& Folder() { return *folder_; }
    ErrorLog& Log() { return *log_; }

    /// A data folder that replaces the "DataPath" setting for this run (created if missing).
    void SetDataFolderOverride(std::string pFolder) { dataFolderOverride_ = std::move(pFolder); }

    /// Start-up: reads the settings, builds the fade table, tracks and data folder, handles
    /// the command line and offers to resume earlier work. Returns false when the data
    /// folder cannot be made.
    bool Startup(std::string_view pCommandLine, bool pOfferResume = true);

    /// Reads the per-track settings into the tracks; track 0 selected and current.
    void LoadTrackSettings();

    // Run-time state that refuses edits; the engine and the windows set them.
    bool Playing = false;
    bool Recording = false;
    bool DrawWindowOpen = false;
    bool Busy = false;
    bool CancelRequest = false;
    /// Whether file copies into and out of the data folder show their percentage in the
    /// message area (a window draws it as a bar with Cancel); a command line leaves it off.
    bool CopyProgressShown = false;
    bool OverwriteEnabled = false;
    /// Working files (with their blocks) the last project open dropped because they were
    /// missing or unusable; 0 when it lost nothing.
    int32_t LostOnOpen = 0;
    /// Why the last OpenProject failed (the reader's message, naming the line and field of
    /// a damaged file); empty after one that succeeded.
    std::string OpenFailure;
    /// Runs a transport command (14..22, 31..44) with its JOG level; set when a playback
    /// engine is attached, empty in runs without sound devices.
    std::function<bool(int32_t pId, int32_t pLevel)> TransportHandler;
    /// Runs a command that needs a window or the view (MIXDOWN's window, the settings
    /// window, track scrolling, zoom); set by the window front end. Returns nothing when
    /// the window does not handle pId, so the command falls through to its headless form.
    std::function<std::optional<bool>(int32_t pId, int32_t pLevel)> WindowHandler;
    /// The recording engine REC, REC_NOW and PLAY while armed work through; none in runs
    /// without sound devices (REC then reports that recording is unavailable).
    RecordingEngine* Recorder = nullptr;
    /// Shows the recording monitor window; REC calls it when "ShowRecMon" is 1, the REC
    /// came while stopped and not as REC_NOW, and the monitor is not open. Set by the window
    /// front end.
    std::function<void()> ShowRecordingMonitor;
    /// Timeline frame of the last left press in the track area (the *_CLICK commands).
    std::optional<int32_t> LastClickFrame;
    /// Channels the fade commands and new fade points act on: bit 0 left, bit 1 right.
    int32_t FadeChannels = 3;
    /// The working file that carries the selection into the sample editor and its result
    /// back; empty when there is none.
    std::string SampleEditFile;
    /// The frame count of SampleEditFile when the editor opened.
    int32_t SampleEditFrames = 0;
    /// Shows the sample editor on SampleEditFile (set by the front end); returns false when
    /// it could not be shown. The editor calls SampleEdit2 when it closes.
    std::function<bool()> SampleEditorOpener;
    /// Automation mode, arming and the writing pass (the automation window and the
    /// transport share it).
    AutomationState Automation;

    /// True when an edit may start now (no playback, recording, busy job or drawing window).
    bool CanEdit() const { return !Playing && !Recording && !Busy && !DrawWindowOpen; }

    /// Begins an edit: false (and nothing changed) when edits are refused now. pNeedUndo 1
    /// takes an undo snapshot first (except between two undo steps); pType 1 marks an
    /// undo step. A snapshot that cannot be written refuses the edit with its cause, unless
    /// pRefuseWithoutUndo is false (placing a recording): then the user is told that the
    /// edit cannot be undone, and it goes on.
    bool StartProc(int32_t pNeedUndo, int32_t pType, bool pRefuseWithoutUndo = true);
    /// Ends an edit: length, redraw, "処理終了".
    void EndProc();

    /// CLOSEPRJ: empties the project back to the settings' defaults. False when refused.
    bool CloseProject();

    /// Handles a command line (at start or handed over by a second instance).
    void HandleCommandLine(std::string_view pText);

    /// Opens a file named on the command line or dropped: ".tvp" as a project, anything
    /// else as a sound file. Asks before discarding existing blocks.
    bool OpenFile(const std::string& pPath);

    /// The first half of exit: asks the user. True when the program may end.
    bool ConfirmExit(bool pMinimised);
    /// The second half of exit: stops the engine, tidies the data folder or keeps the work
    /// for resuming, empties the project and writes the settings.
    void Shutdown();

    /// CLEANUP: tidies the data folder; only while the project has no blocks. Returns the
    /// number of files deleted, or -1 when refused or failed.
    int CleanupCommand();

    /// The recently-used list (up to eight paths, newest first).
    const std::vector<std::string>& RecentFiles() const { return recent_.Paths(); }
    /// Puts a path at the top of the recently-used list (when "ShowMRU" is 1): entries whose
    /// files are gone are dropped, duplicates (compared in lower case) removed, at most eight
    /// kept; the list is stored at once.
    void AddRecentFile(const std::string& pPath);

    /// Width of the track area in pixels, for zoom-to-fit (the GUI keeps it current).
    int32_t TrackAreaWidthPx = 1000;
    /// The horizontal scroll bar is being dragged: the view does not follow the head.
    bool ScrollBarDragging = false;

    /// The decoder for compressed sound files (none until a media adapter is wired in).
    void SetDecoder(SoundDecoder* pDecoder) { decoder_ = pDecoder ? pDecoder : &noDecoder_; }
    SoundDecoder& Decoder() { return *decoder_; }

    /// The loudness meter of loudness targets (normalise, mixdown); none until an adapter
    /// is wired in, and then those targets are refused with a message.
    void SetLoudnessMeter(LoudnessMeter* pMeter) { loudness_ = pMeter; }
    LoudnessMeter* Loudness() const { return loudness_; }
    /// The engine of the high-quality time stretch and pitch shift (none until an adapter
    /// is wired in: the effects then offer only their own algorithms).
    void SetTimePitchEngine(TimePitchEngine* pEngine) { timePitch_ = pEngine; }
    TimePitchEngine* TimePitch() const { return timePitch_; }

    /// Imports a sound file into the project: tracks from pTrack on, at pPosition frames.
    /// Reports problems through the user interface; false when nothing was placed.
    bool ImportSoundFile(
        int32_t pTrack, const std::string& pPath, int32_t pPosition, bool pNoRecent);

    // Project files (the project menu). Every command reports through the user interface
    // and returns false when refused, cancelled or failed.

    /// What the project-file reader and writer need from this window.
    ProjectFileEnv FileEnv();
    /// Opens a project file (OPENPRJ, the command line, the recent list, resuming). With
    /// ProjectAccess::Edit a file of the data folder is locked for overwriting (another
    /// holder leaves it open for reading only); ProjectAccess::ReadOnly never takes the lock
    /// and leaves nothing that could be saved over the file.
    bool OpenProject(
        const std::string& pPath, bool pResuming, ProjectAccess pAccess = ProjectAccess::Edit);
    /// The edit lock of the open project file: taken when a project is opened or saved for
    /// overwriting, so that a second process is refused; empty when another holds it.
    const FileLock& ProjectLock() const { return projectLock_; }
    /// The process ID of the holder when the last open or save found the project locked.
    int64_t LockHolder() const { return lockHolder_; }
    /// Takes the edit lock of pPath (releasing the one held before); false when another
    /// holder has it, with a message that says so.
    bool LockProjectFile(const std::string& pPath);
    /// Holds the edit lock of pPath for one write of it: true at once when the open project's
    /// lock is that file's, else pLock takes it; false (with the refusal shown) when another
    /// holder has it.
    bool HoldLockForWrite(const std::string& pPath, FileLock& pLock);
    /// The project file the last successful SAVEALL wrote.
    const std::string& LastSaveAllProject() const { return lastSaveAllProject_; }
    /// OPENPRJ: a file dialog, then OpenFile.
    bool OpenProjectCommand();
    /// SAVEPRJ: a save dialog that insists on the data folder, then writes the project.
    bool SaveProjectCommand();
    /// OWPRJ: overwrites ProjectFile, or runs SAVEPRJ when there is none.
    bool OverwriteProjectCommand();
    /// CLIP2PRJ: writes the clipboard as a project file in the data folder.
    bool ClipToProjectCommand();
    /// PRJ2CLIP: reads a project file into the clipboard.
    bool ProjectToClipCommand();
    /// FETCHWAV: copies every working file outside the data folder into it.
    bool FetchWavCommand();
    /// SAVEALL: writes the used ranges and a project into a self-contained folder.
    bool SaveAllCommand();

    // Undo and redo through project snapshots in the data folder.

    /// Writes snapshot UndoCounter, advances the counter and deletes newer snapshots.
    Status PushUndo();
    /// Steps to the previous (or, with pRedo, the next) snapshot; with pCheckOnly only
    /// tells whether that snapshot exists.
    bool StepUndo(bool pRedo, bool pCheckOnly);
    /// UNDO and REDO; a step taken back or made again is named in the message area
    /// ("元に戻す: 消去").
    bool UndoCommand(bool pRedo);
    /// Names the edit about to run ("消去"): the undo step that its snapshot makes carries
    /// the name. A snapshot taken without a name is called "編集".
    void NameNextEdit(std::string pName) { nextEditName_ = std::move(pName); }
    /// The name of the step UNDO (or, with pRedo, REDO) would take; empty when there is none.
    std::string UndoStepName(bool pRedo) const;
    /// The names of the steps UNDO can take back one after another, the most recent first,
    /// at most pMax of them.
    std::vector<std::string> UndoHistory(size_t pMax = 20) const;
    /// The newest undo snapshot in the data folder, or empty.
    std::string FindResumeSnapshot() const;
    /// Offers to resume the newest snapshot when the project has no blocks.
    void OfferResume();
    /// Offers to place each recording an earlier run left unfinished (it ended while
    /// writing); a recording not placed stays in the data folder and is not offered again.
    /// Returns how many were placed.
    int32_t OfferOrphanedRecordings();

    /// Writes the options that exit stores.
    void SaveOptions();

    /// Shows a text in the message area.
    void ShowMessage(std::string_view pText) { ui_.ShowMessage(pText); }

    /// Called by StartProc to take an undo snapshot.
    virtual Status SaveUndoSnapshot() { return PushUndo(); }
    /// Takes the undo snapshot of an edit about to start; false when it could not be
    /// written, and the edit must then not be made (ShowUndoSnapshotFailure tells why).
    bool TakeUndoSnapshot();
    /// Tells the user that the last TakeUndoSnapshot failed, with its cause, and then
    /// pConsequence, a catalogue key translated here (by default that the edit was not made).
    void ShowUndoSnapshotFailure(std::string_view pConsequence = kEditNotMadeText);
    virtual ~MainLogic();

private:
    void ReadOptions();
    void ApplyNewProjectSettings();
    bool SetUpDataFolder();
    void ChangeTrackCount(int32_t pCount);
    int32_t DelPrjDays() const;
    std::optional<std::string> ChooseProjectSavePath();
    bool IsInDataFolder(const std::string& pPath) const;

    Settings& settings_;
    UserInterface& ui_;
    Project project_;
    AppOptions options_;
    WindowRequest window_;
    std::string dataFolderOverride_;
    std::unique_ptr<DataFolder> folder_;
    FileLock projectLock_;
    int64_t lockHolder_ = 0;
    std::string lastSaveAllProject_;
    Error undoSnapshotError_; ///< why the last TakeUndoSnapshot failed
    /// The name of the step each undo snapshot takes back, by snapshot number.
    std::map<int32_t, std::string> undoNames_;
    std::string nextEditName_;
    std::unique_ptr<ErrorLog> log_;
    RecentFileList recent_;
    NoSoundDecoder noDecoder_;
    SoundDecoder* decoder_ = &noDecoder_;
    LoudnessMeter* loudness_ = nullptr;
    TimePitchEngine* timePitch_ = nullptr;
};

/// Splits a command line into tokens at blanks; double quotes group blanks and are dropped.
std::vector<std::string> SplitCommandLine(std::string_view pText);

/// True when a command-line token is one of the keys "X=", "Y=", "W=", "H=", "T=" (any
/// case), with or without a leading "/": such a token is never a file path.
bool IsCommandLineKey(std::string_view pToken);

} // namespace tarvok
