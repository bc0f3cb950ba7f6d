#include "base/i18n.h"
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class UserInterface;

/// Suffix of the marker a recording keeps beside its WAV file (the WAV file's name + this)
/// until the take is placed; the clean-up never deletes a file that has one.
inline constexpr const char* kRecordingMarkerSuffix = ".rec";

/// Kinds of generated working file: 1 WAV (".wav"), 2 peak file (".wwf"), 3 envelope (".wfd").
/// Kind 0 stands for the undo snapshots (".tvp") where a function accepts it.
inline constexpr int kTempWave = 1;
inline constexpr int kTempPeak = 2;
inline constexpr int kTempEnvelope = 3;
inline constexpr int kTempSnapshot = 0;

/// The folder that holds every working file, undo snapshot and saved project, and the
/// per-process counters that number newly generated working files. Generated names are
/// exactly 12 characters: "~t" + six digits + "." + a three-letter extension.
class DataFolder {
public:
    /// The folder path; a missing trailing "/" is added. Each DataFolder of a process gets
    /// its own instance number, so that its undo snapshots are its own.
    explicit DataFolder(std::string_view pFolder);
    /// Takes the in-use marker away (Enter); the undo snapshots stay for a later resume.
    ~DataFolder();
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;

    /// Marks the folder as in use by this process ("~u" + process ID + "-" + instance +
    /// ".run"), so that a clean-up of another process leaves the working files alone while
    /// this one runs. False when the marker cannot be written.
    bool Enter();

    /// The folder, ending in "/".
    const std::string& Path() const { return folder_; }

    /// A full path "~t" + six digits + ".wav"/".wwf"/".wfd" for kind 1..3 that named no
    /// existing entry of the folder: the file is created there (empty) before the name is
    /// handed out, so two processes sharing the folder never get the same name. The kind's
    /// counter advances (999999 wraps to 1) past existing names. Empty for another kind or
    /// when every number is taken.
    std::string NewTempName(int pKind);

    /// Folder + "~u" + process ID + "-" + instance + "-" + pNumber with six digits + ".tvp":
    /// the undo snapshots of this DataFolder alone. Does not look at the folder.
    std::string UndoSnapshotName(int32_t pNumber) const;

    /// Folder + "~s" + process ID + "-" + instance + "-" + pNumber with six digits + ".wav":
    /// edit pNumber of the sample editor's chain, this DataFolder's alone, so that two
    /// processes sharing the folder never write or delete each other's. Does not look at the
    /// folder.
    std::string SampleEditName(int32_t pNumber) const;
    /// Folder + "~s" + process ID + "-" + instance + "-clip.wav": the sample editor's clip
    /// file, likewise this DataFolder's alone.
    std::string SampleEditClipName() const;
    /// Deletes this DataFolder's sample-editor files: with pAbove >= 0 only the chain files
    /// numbered above it, otherwise every chain file and the clip file. Returns how many went.
    int DeleteSampleEditFiles(int32_t pAbove = -1) const;

    /// Deletes this DataFolder's undo snapshots and those of processes that no longer run;
    /// with pAbove >= 0 only its own above that number. Returns how many went.
    int DeleteOwnSnapshots(int32_t pAbove = -1) const;

    /// The newest undo snapshot left by a process that no longer runs (or by an older
    /// program that numbered them "~t" + six digits), for resuming; empty when none.
    std::string NewestStaleSnapshot() const;

    /// The counter of kind 1..3 as it stands (0 before the first name).
    int32_t NameCounter(int pKind) const;
    /// Sets the counter of kind 1..3, so that the next name starts after pValue.
    void SetNameCounter(int pKind, int32_t pValue);

private:
    std::string folder_;
    std::array<int32_t, 3> counters_ {};
    int64_t instance_ = 0;
    std::string marker_;
};

/// True when pName (no folder) is an undo snapshot name of this program ("~u" + process ID
/// + "-" + instance + "-" + number + ".tvp"); pPid receives its process ID.
bool IsUndoSnapshotName(std::string_view pName, int64_t* pPid = nullptr);

/// True when pName (no folder) is a sample-editor file of this program ("~s" + process ID +
/// "-" + instance + "-" + six digits or "clip" + ".wav"); pPid receives its process ID.
bool IsSampleEditName(std::string_view pName, int64_t* pPid = nullptr);

/// The first file name "00000001" .. "09999999" + ".wav"/".wwf"/".wfd" (kind 1..3) that does
/// not exist in pFolder, without the folder; empty when all are taken or the kind is unknown.
std::string NewNumberedName(int pKind, std::string_view pFolder);

/// True when pName (no folder) is a generated name: 12 characters, "~t" or "~s", six
/// digits, "." and three more characters. ASCII case is ignored.
bool IsGeneratedName(std::string_view pName);

/// Deletes every "~t" + six digits file of one kind in pFolder: 0 undo snapshots ".tvp",
/// 1 ".wav", 2 ".wwf", 3 ".wfd". Files that cannot be deleted are left; returns how many went.
int DeleteTempFiles(std::string_view pFolder, int pKind);

/// True when a process other than this one that still runs has entered pFolder
/// (DataFolder::Enter). Reads only; nothing is deleted.
bool OtherProcessInFolder(std::string_view pFolder);

/// The full clean-up of a data folder. While another process that runs has entered the
/// folder (DataFolder::Enter) nothing is deleted and the result is -2. Otherwise deletes the
/// undo snapshots of processes that no longer run (and of this one), the temporary files of
/// replacements whose process no longer runs, every project file
/// (other than "last.tvp") last written more than pDelPrjDays whole local days before pNow
/// (0 or less: never), then every generated ".wav"/".wwf"/".wfd" file that no remaining
/// project file of the folder, or listed as saved outside it (kOutsideProjectsName), refers
/// to. A listed project that no longer exists (moved or deleted) keeps the names it had at
/// its last save (kOutsideKeptFolder) and stays listed, with a warning (kOutsideMissingText);
/// it leaves the list when projects that exist keep all those names, or when its last save
/// is older than pDelPrjDays as above. Returns the number of working files
/// deleted, or -1 when a project file cannot be read; in that case no working file has been
/// deleted. A generated file with a recording marker beside it (kRecordingMarkerSuffix) is
/// never deleted. Shows "Check " + name + "…" while it reads each project file and clears the
/// message area at the end.
int CleanDataFolder(std::string_view pFolder, int32_t pDelPrjDays, UserInterface& pUi,
    std::chrono::system_clock::time_point pNow = std::chrono::system_clock::now());

/// The file in a data folder that lists the project files saved outside it (one full path a
/// line), so that the clean-up reads them as well: a project saved anywhere keeps the
/// working files it names.
inline constexpr std::string_view kOutsideProjectsName = "outside-projects.lst";

/// The folder of a data folder that keeps, per project saved outside it, the working-file
/// names that project named at its last save (a project may be moved with `mv`, and the
/// clean-up must not then take its files).
inline constexpr std::string_view kOutsideKeptFolder = "outside-kept";

/// The warning of a clean-up that kept the working files of listed projects that are gone;
/// their paths follow, one a line.
inline constexpr std::string_view kOutsideMissingText = N_(
    "見つからないプロジェクトの作業ファイルを残しました（移動したプロジェクトは移動先で開いて保存"
    "してください）:");

/// Adds pProject (resolved to its full path through links) to the list of pFolder unless it
/// lies in pFolder itself or is listed already, and keeps the working-file names it names now
/// in kOutsideKeptFolder. False when the list or the kept names cannot be written.
bool NoteOutsideProject(std::string_view pFolder, std::string_view pProject);

/// The project files the list of pFolder names, in list order.
std::vector<std::string> OutsideProjects(std::string_view pFolder);

/// The data folder for the "DataPath" setting: the setting with "/" appended when it is an
/// absolute path naming an existing folder, else the default data folder, which is created
/// with its parents.
std::string ResolveDataFolder(const std::string& pDataPathSetting);

} // namespace tarvok
