// The project menu and undo/redo of the main-window logic.

#include "app/shell/main_logic.h"

#include "app/shell/file_copy.h"
#include "base/file_name.h"
#include "base/i18n.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "core/write_out_all.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace tarvok {

namespace {

constexpr const char* kProjectFilter = N_("tarvokプロジェクトファイル|*.tvp");
constexpr const char* kLoadFailed = N_("プロジェクト読込に失敗しました");
constexpr const char* kProcessingFailed = N_("処理失敗");
constexpr const char* kSaveOnlyInDataFolder
    = N_("データフォルダ以外にはプロジェクトファイルの保存はできません");

bool HasTvpExtension(const std::string& pPath)
{
    std::string lower = ToLowerAscii(pPath);
    return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".tvp") == 0;
}

std::string Percent(double pRate)
{
    const int64_t tenths = std::llround(pRate * 1000.0);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}

} // namespace

ProjectFileEnv MainLogic::FileEnv()
{
    return ProjectFileEnv { *folder_, ui_, options_.WFMode, options_.UndoAll == 1, &CancelRequest };
}

bool MainLogic::IsInDataFolder(const std::string& pPath) const
{
    return EqualsNoCase(FolderOf(pPath), project_.DataFolder);
}

bool MainLogic::OpenProject(const std::string& pPath, bool pResuming, ProjectAccess pAccess)
{
    if (Playing || Recording)
        return false;
    if (!pResuming)
        AddRecentFile(pPath);
    if (!StartProc(0, 0))
        return false;
    folder_->DeleteOwnSnapshots();
    project_.ResetProject();
    ProjectFileEnv env = FileEnv();
    Status read = ReadProject(project_, pPath, false, false, env);
    LostOnOpen = env.Lost;
    OpenFailure = read ? std::string() : read.error().Message;
    if (!read) {
        projectLock_.Release();
        ui_.ShowError(std::string(Tr(kLoadFailed)) + "\n" + pPath + "\n" + OpenFailure);
        // Whatever was read must never be saved over the file it came from.
        project_.ProjectFile.clear();
        OverwriteEnabled = false;
    } else if (pAccess == ProjectAccess::Edit && IsInDataFolder(pPath) && LockProjectFile(pPath)) {
        project_.ProjectFile = pPath;
        OverwriteEnabled = true;
    } else {
        // Only read: a lock held for an earlier open is given up, and nothing names the file
        // that a save could write over.
        if (pAccess == ProjectAccess::ReadOnly)
            projectLock_.Release();
        project_.ProjectFile.clear();
        OverwriteEnabled = false;
    }
    project_.UndoCounter = 0;
    undoNames_.clear();
    project_.LastUndoType = 0;
    project_.Saved = true;
    project_.UpdateTitleLength(false);
    EndProc();
    return static_cast<bool>(read);
}

bool MainLogic::LockProjectFile(const std::string& pPath)
{
    lockHolder_ = 0;
    if (projectLock_.Held() && projectLock_.LockedPath() == ReplaceTargetOf(pPath))
        return true;
    FileLock lock;
    if (!lock.Acquire(pPath, &lockHolder_)) {
        std::string who = lockHolder_ > 0 ? TrArgs("他のプロセス(PID %1)", lockHolder_)
                                          : std::string(Tr("他のプロセス"));
        ui_.ShowMessage(TrArgs("%1 は%2が編集中です。上書き保存はできません", pPath, who));
        return false;
    }
    projectLock_ = std::move(lock);
    return true;
}

bool MainLogic::HoldLockForWrite(const std::string& pPath, FileLock& pLock)
{
    lockHolder_ = 0;
    if (projectLock_.Held() && projectLock_.LockedPath() == ReplaceTargetOf(pPath))
        return true;
    if (pLock.Acquire(pPath, &lockHolder_))
        return true;
    ui_.ShowError(TrArgs("%1\nは他のプロセスが編集中のため保存できません", pPath));
    return false;
}

bool MainLogic::OpenProjectCommand()
{
    if (!CanEdit())
        return false;
    std::optional<std::string> path
        = ui_.ChooseOpenFile("", Tr(kProjectFilter), project_.DataFolder);
    if (!path || path->empty())
        return false;
    return OpenFile(*path);
}

std::optional<std::string> MainLogic::ChooseProjectSavePath()
{
    for (;;) {
        std::optional<std::string> path
            = ui_.ChooseSaveFile("", Tr(kProjectFilter), project_.DataFolder);
        if (!path || path->empty())
            return std::nullopt;
        std::string chosen = *path;
        if (!HasTvpExtension(chosen))
            chosen += ".tvp";
        if (IsInDataFolder(chosen))
            return chosen;
        ui_.ShowError(Tr(kSaveOnlyInDataFolder));
    }
}

bool MainLogic::SaveProjectCommand()
{
    if (!CanEdit())
        return false;
    std::optional<std::string> path = ChooseProjectSavePath();
    if (!path)
        return false;
    if (!LockProjectFile(*path)) {
        ui_.ShowError(TrArgs("%1\nは他のプロセスが編集中のため保存できません", *path));
        return false;
    }
    if (!StartProc(1, 0))
        return false;
    ProjectFileEnv env = FileEnv();
    const bool ok = WriteProject(project_, *path, false, env).has_value();
    if (ok) {
        project_.ProjectFile = *path;
        project_.Saved = true;
        OverwriteEnabled = true;
    }
    EndProc();
    if (!ok)
        ui_.ShowError(Tr(kProcessingFailed));
    return ok;
}

bool MainLogic::OverwriteProjectCommand()
{
    if (!CanEdit())
        return false;
    if (project_.ProjectFile.empty() || !FileExists(project_.ProjectFile)) {
        project_.ProjectFile.clear();
        OverwriteEnabled = false;
        return SaveProjectCommand();
    }
    // The file is written only while its lock is held (taken again when it was lost).
    if (!LockProjectFile(project_.ProjectFile)) {
        ui_.ShowError(
            TrArgs("%1\nは他のプロセスが編集中のため保存できません", project_.ProjectFile));
        return false;
    }
    if (!StartProc(1, 0))
        return false;
    ProjectFileEnv env = FileEnv();
    const bool ok = WriteProject(project_, project_.ProjectFile, false, env).has_value();
    if (ok)
        project_.Saved = true;
    EndProc();
    if (!ok)
        ui_.ShowError(Tr(kProcessingFailed));
    return ok;
}

bool MainLogic::ClipToProjectCommand()
{
    if (!CanEdit())
        return false;
    std::optional<std::string> path = ChooseProjectSavePath();
    if (!path)
        return false;
    FileLock writeLock; // another process editing that file keeps it
    if (!HoldLockForWrite(*path, writeLock) || !StartProc(1, 0))
        return false;
    ProjectFileEnv env = FileEnv();
    const bool ok = WriteProject(project_, *path, true, env).has_value();
    EndProc();
    if (!ok)
        ui_.ShowError(Tr(kProcessingFailed));
    return ok;
}

bool MainLogic::ProjectToClipCommand()
{
    if (!CanEdit())
        return false;
    std::optional<std::string> path
        = ui_.ChooseOpenFile("", Tr(kProjectFilter), project_.DataFolder);
    if (!path || path->empty())
        return false;
    ProjectFileEnv env = FileEnv();
    Status read = ReadProject(project_, *path, false, true, env);
    ui_.RequestRedraw(RedrawArea::Menus);
    // A rate mismatch was already shown by the reader.
    if (!read && read.error().Code != ErrorCode::RateMismatch)
        ui_.ShowError(std::string(Tr(kLoadFailed)) + "\n" + *path + "\n" + read.error().Message);
    return static_cast<bool>(read);
}

bool MainLogic::FetchWavCommand()
{
    if (!CanEdit())
        return false;
    auto outside
        = [this](const std::string& pPath) { return !pPath.empty() && !IsInDataFolder(pPath); };
    bool any = false;
    for (const WaveFile& w : project_.WaveFiles)
        any = any || outside(w.FileName) || outside(w.PeakFile);
    for (const Track& t : project_.Tracks)
        any = any || outside(t.EnvelopeFile);
    if (!any || !StartProc(1, 0))
        return false;
    FileCopy copier(&ui_);
    copier.SetMirrorProg([this](double, std::string_view) { return !CancelRequest; });
    copier.ShowInMessageArea(CopyProgressShown);
    // Each name moves to its copy only when the copy is complete, so the project names
    // complete files whatever happens; the first failure ends the command and is reported
    // with its cause.
    std::string failure;
    auto fetch = [&](std::string& pName, int pKind) {
        // A file that is gone (dropped when the project was read) has nothing to copy.
        if (!failure.empty() || !outside(pName) || !FileExists(pName))
            return;
        std::string target = folder_->NewTempName(pKind);
        if (target.empty()) {
            failure = TrArgs("%1\nデータフォルダに新しいファイルを作成できません", pName);
            return;
        }
        if (!copier.TranspFile(pName, target, true, false)) {
            failure = pName + "\n" + copier.FailureText();
            DeleteFileForce(target); // the empty name handed out for the copy
            return;
        }
        pName = target;
    };
    for (WaveFile& w : project_.WaveFiles) {
        fetch(w.FileName, kTempWave);
        fetch(w.PeakFile, kTempPeak);
    }
    for (Track& t : project_.Tracks)
        fetch(t.EnvelopeFile, kTempEnvelope);
    EndProc();
    if (!failure.empty()) {
        ui_.ShowError(TrArgs("構成ファイルのコピーに失敗しました\n%1", failure));
        return false;
    }
    return true;
}

namespace {

namespace fs = std::filesystem;

/// A path in its one canonical spelling: links, "." and ".." resolved as far as the path
/// exists, no trailing "/".
fs::path CanonicalPath(const std::string& pPath)
{
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(fs::path(pPath), ec);
    if (ec)
        canonical = fs::absolute(fs::path(pPath), ec).lexically_normal();
    std::string text = canonical.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return fs::path(text);
}

/// True when pInner is pOuter or lies inside it (both canonical).
bool IsWithin(const fs::path& pInner, const fs::path& pOuter)
{
    auto inner = pInner.begin();
    for (auto outer = pOuter.begin(); outer != pOuter.end(); ++outer, ++inner) {
        if (outer->empty())
            continue;
        if (inner == pInner.end() || *inner != *outer)
            return false;
    }
    return true;
}

} // namespace

namespace {

/// Where a SAVEALL goes: the folder (with a trailing slash), the same without it, the
/// project's name and the folder as resolved through links.
struct SaveAllTarget {
    std::string Folder;
    std::string Bare;
    std::string Name;
    fs::path Resolved;
};

// The folder the user chose, refused (with the message shown) inside or around the data
// folder, at the root or the home folder, or when it names something else than a folder.
std::optional<SaveAllTarget> ChooseSaveAllTarget(
    UserInterface& pUi, Settings& pSettings, const Project& pProject)
{
    std::string start = pSettings.GetSetting("LastSaveAllPath", std::string_view(ProgramFolder()));
    std::optional<std::string> chosen = pUi.ChooseFolder(Tr("フォルダ名称を入力|*.tvp"), start);
    if (!chosen || chosen->empty())
        return std::nullopt;
    std::error_code ec;
    std::string folder = *chosen;
    std::string name;
    if (fs::is_regular_file(folder, ec)) {
        // An existing project file: its folder, and the project keeps that file's name.
        name = FileNameOf(folder);
        folder = FolderOf(folder);
    }
    fs::path target = CanonicalPath(folder);
    const fs::path data = CanonicalPath(pProject.DataFolder);
    if (IsWithin(target, data) || IsWithin(data, target)) {
        pUi.ShowError(Tr("データフォルダには保存はできません"));
        return std::nullopt;
    }
    const char* home = std::getenv("HOME");
    if (target == target.root_path()
        || (home != nullptr && *home != '\0' && target == CanonicalPath(home))) {
        pUi.ShowError(
            TrArgs("%1\nには保存できません。新しいフォルダを指定してください", target.string()));
        return std::nullopt;
    }
    if (fs::exists(target, ec) && !fs::is_directory(target, ec)) {
        pUi.ShowError(TrArgs("%1\nはフォルダではありません", target.string()));
        return std::nullopt;
    }
    const std::string bare = target.string();
    if (name.empty())
        name = FileNameOf(bare);
    if (size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name = name.substr(0, dot);
    return SaveAllTarget { WithTrailingSlash(bare), bare, name, target };
}

// The folder the copy is written into: the target itself when it is new, else a fresh
// numbered sibling (the old folder is replaced only after the new copy is complete, when
// the user agrees). Nothing, with the message shown, when declined or not creatable.
std::optional<std::string> MakeWriteFolder(
    UserInterface& pUi, const SaveAllTarget& pTarget, bool pReplacing)
{
    const auto failed = [&pUi]() -> std::optional<std::string> {
        pUi.ShowError(Tr("フォルダ作成に失敗しました"));
        return std::nullopt;
    };
    if (!pReplacing)
        return CreateFolders(pTarget.Folder) ? std::optional(pTarget.Folder) : failed();
    if (!pUi.AskYesNo(
            TrArgs("%1\nをクリアして全てのデータを出力します。続行しますか？", pTarget.Folder)))
        return std::nullopt;
    // The work folder names this process, so that what a killed run left is cleared by the
    // next run into the same folder, and never while its process runs.
    RemoveStaleSaveAllFolders(pTarget.Bare, pTarget.Name);
    std::error_code ec;
    for (int n = 1; n <= 99; ++n) {
        std::string candidate = SaveAllWorkFolderName(pTarget.Bare, ::getpid(), n);
        if (!fs::exists(candidate, ec) && fs::create_directory(candidate, ec) && !ec)
            return WithTrailingSlash(candidate);
    }
    return failed();
}

/// What followed the new copy from the old folder (Kept) and what stayed behind (Stranded)
/// in the folder Folder.
struct LeftFiles {
    std::vector<std::string> Kept;
    std::vector<std::string> Stranded;
    std::string Folder;
};

// The complete new copy in pWriteTo and the old folder swap places in one step, so the
// folder holds the old copy or the new one whatever fails. Then the files that are not
// SAVEALL's move from the old folder into the new one, and the old one goes. Fails when the
// swap fails (the new copy is then removed).
Result<LeftFiles> SwapInNewCopy(const SaveAllTarget& pTarget, const std::string& pWriteTo)
{
    std::error_code ec;
    const std::string newFolder = pWriteTo.substr(0, pWriteTo.size() - 1);
    if (Status exchanged = ExchangePaths(pTarget.Bare, newFolder); !exchanged) {
        fs::remove_all(newFolder, ec);
        return exchanged.error();
    }
    SyncFolder(FolderOf(pTarget.Bare));
    const std::string& oldFolder = pWriteTo; // now holds the old copy
    const auto isSaveAllFile = [&](const fs::directory_entry& pEntry) {
        return pEntry.is_regular_file(ec) && !pEntry.is_symlink(ec)
            && IsSaveAllFileName(pEntry.path().filename().string(), pTarget.Name);
    };
    LeftFiles left;
    for (const auto& entry : fs::directory_iterator(oldFolder, ec)) {
        if (isSaveAllFile(entry))
            continue;
        std::string entryName = entry.path().filename().string();
        if (fs::exists(pTarget.Folder + entryName, ec)
            || !RenameFile(entry.path().string(), pTarget.Folder + entryName))
            left.Stranded.push_back(entryName);
        else
            left.Kept.push_back(entryName);
    }
    if (left.Stranded.empty()) {
        fs::remove_all(newFolder, ec);
    } else {
        for (const auto& entry : fs::directory_iterator(oldFolder, ec))
            if (isSaveAllFile(entry))
                DeleteFileForce(entry.path().string());
        // What stayed is the user's: under a visible name, never a work folder's.
        left.Folder = KeepFolderVisible(newFolder, pTarget.Bare);
    }
    SyncFolder(pTarget.Folder);
    return left;
}

// Tells the user which files of the old folder stayed behind (in the old folder's new place)
// and which were kept beside the new copy.
void ReportLeftFiles(UserInterface& pUi, const LeftFiles& pLeft, const std::string& pFolder)
{
    const auto list = [](const std::vector<std::string>& pNames) {
        std::string text;
        for (const std::string& k : pNames)
            text += "\n" + k;
        return text;
    };
    if (!pLeft.Stranded.empty())
        pUi.ShowError(TrArgs("%1\nに残したファイルがあります（移動できませんでした）:%2",
            pLeft.Folder, list(pLeft.Stranded)));
    if (!pLeft.Kept.empty())
        pUi.ShowInfo(
            TrArgs("%1\nのSAVEALL以外のファイルは残しました:%2", pFolder, list(pLeft.Kept)));
}

// The outermost folder of pBare that does not exist yet (pBare itself when only it is
// missing): what creating pBare makes.
std::string FirstMissingFolder(const std::string& pBare)
{
    std::error_code ec;
    fs::path first(pBare);
    for (fs::path p = first; !p.empty() && p != p.root_path() && !fs::exists(p, ec);
         p = p.parent_path())
        first = p;
    return first.string();
}

// Removes the folder pWriteTo (with what a failed copy put in it) and the empty folders
// above it up to pFirstCreated, all made by this SAVEALL; nothing when pFirstCreated is empty.
void RemoveCreatedFolders(const std::string& pWriteTo, const std::string& pFirstCreated)
{
    if (pFirstCreated.empty())
        return;
    std::error_code ec;
    fs::path folder = fs::path(pWriteTo).lexically_normal();
    if (folder.filename().empty())
        folder = folder.parent_path();
    fs::remove_all(folder, ec);
    const fs::path last = fs::path(pFirstCreated).lexically_normal();
    for (fs::path p = folder; p != last && p.has_parent_path() && p != p.root_path();) {
        p = p.parent_path();
        if (!fs::remove(p, ec))
            break; // not empty (or not ours): it stays
        if (p == last)
            break;
    }
}

// True when a working file of the project lies within pFolder.
bool NamesFilesWithin(const Project& pProject, const fs::path& pFolder)
{
    for (const WaveFile& w : pProject.WaveFiles)
        if (IsWithin(CanonicalPath(FolderOf(w.FileName)), pFolder))
            return true;
    for (const Track& t : pProject.Tracks)
        if (!t.EnvelopeFile.empty() && IsWithin(CanonicalPath(FolderOf(t.EnvelopeFile)), pFolder))
            return true;
    return false;
}

} // namespace

bool MainLogic::SaveAllCommand()
{
    if (!CanEdit())
        return false;
    const std::optional<SaveAllTarget> target = ChooseSaveAllTarget(ui_, settings_, project_);
    if (!target)
        return false;
    const std::string& folder = target->Folder;
    if (project_.BlockCount() < 1 || project_.WaveFileCount() < 1) {
        ui_.ShowError(Tr("出力に失敗しました"));
        return false;
    }
    // An existing folder is replaced only after the new copy is complete, and only in the
    // files a SAVEALL writes.
    const bool replacing = FolderExists(folder);
    const std::string firstCreated = replacing ? std::string() : FirstMissingFolder(target->Bare);
    const std::optional<std::string> writeTo = MakeWriteFolder(ui_, *target, replacing);
    if (!writeTo)
        return false;
    if (!StartProc(1, 0)) {
        RemoveCreatedFolders(*writeTo, firstCreated);
        return false;
    }
    Status written = WriteOutAll(
        project_, *writeTo, target->Name, ui_, [this](double pRate, std::string_view) {
            ui_.ShowMessage(Percent(pRate));
            ui_.Yield();
            return !CancelRequest;
        });
    LeftFiles left;
    std::error_code ec;
    if (!written && replacing) {
        // Nothing of a failed copy stays behind; the old folder is as it was.
        fs::remove_all(*writeTo, ec);
    } else if (!written) {
        // Nor a folder this command made for it.
        RemoveCreatedFolders(*writeTo, firstCreated);
    } else if (replacing) {
        Result<LeftFiles> swapped = SwapInNewCopy(*target, *writeTo);
        if (!swapped) {
            EndProc();
            ui_.ShowError(
                TrArgs("フォルダ名変更に失敗しました\n%1\n%2", folder, swapped.error().Message));
            return false;
        }
        left = std::move(*swapped);
    }
    EndProc();
    if (!written) {
        ui_.ShowError(TrArgs("出力に失敗しました\n%1", written.error().Message));
        return false;
    }
    ReportLeftFiles(ui_, left, folder);
    settings_.SaveSetting("LastSaveAllPath", std::string_view(folder));
    lastSaveAllProject_ = folder + target->Name + ".tvp";
    // A project whose working files were in the replaced folder is opened again from the new
    // copy, so that it never names files that are gone.
    if (replacing && NamesFilesWithin(project_, target->Resolved)) {
        CloseProject();
        OpenProject(lastSaveAllProject_, false);
        ui_.ShowMessage(Tr("保存したプロジェクトを開き直しました"));
    }
    return true;
}

Status MainLogic::PushUndo()
{
    ProjectFileEnv env = FileEnv();
    if (Status written
        = WriteProject(project_, folder_->UndoSnapshotName(project_.UndoCounter), false, env);
        !written)
        return written; // the counter and the redo snapshots stay as they were
    ++project_.UndoCounter;
    // Snapshots beyond the present can no longer be reached by redo.
    folder_->DeleteOwnSnapshots(project_.UndoCounter);
    return {};
}

bool MainLogic::TakeUndoSnapshot()
{
    const Status taken = SaveUndoSnapshot();
    undoSnapshotError_ = taken ? Error {} : taken.error();
    if (taken && project_.UndoCounter > 0) {
        // The snapshot just written is the one this step's undo returns to; the names of
        // the snapshots beyond it went with them.
        const int32_t index = project_.UndoCounter - 1;
        undoNames_.erase(undoNames_.lower_bound(index), undoNames_.end());
        undoNames_[index]
            = nextEditName_.empty() ? std::string(Tr(kUnnamedEdit.data())) : nextEditName_;
    }
    nextEditName_.clear();
    return taken.has_value();
}

void MainLogic::ShowUndoSnapshotFailure(std::string_view pConsequence)
{
    const std::string consequence(pConsequence);
    ui_.ShowError(TrArgs("元に戻すための記録を書き込めませんでした（%1）。\n%2",
        undoSnapshotError_.Message, Tr(consequence.c_str())));
}

bool MainLogic::StepUndo(bool pRedo, bool pCheckOnly)
{
    int32_t n = pRedo ? project_.UndoCounter + 1 : project_.UndoCounter - 1;
    if (n < 0)
        return false;
    std::string snapshot = folder_->UndoSnapshotName(n);
    if (!FileExists(snapshot))
        return false;
    if (pCheckOnly)
        return true;
    ProjectFileEnv env = FileEnv();
    if (!ReadProject(project_, snapshot, true, false, env))
        return false;
    project_.UndoCounter = n;
    return true;
}

std::string MainLogic::UndoStepName(bool pRedo) const
{
    const int32_t target = project_.UndoCounter + (pRedo ? 1 : -1);
    if (!folder_ || target < 0 || !FileExists(folder_->UndoSnapshotName(target)))
        return {};
    const auto named = undoNames_.find(project_.UndoCounter - (pRedo ? 0 : 1));
    return named != undoNames_.end() ? named->second : std::string(Tr(kUnnamedEdit.data()));
}

std::vector<std::string> MainLogic::UndoHistory(size_t pMax) const
{
    std::vector<std::string> names;
    if (!folder_)
        return names;
    for (int32_t n = project_.UndoCounter - 1; n >= 0 && names.size() < pMax; --n) {
        if (!FileExists(folder_->UndoSnapshotName(n)))
            break;
        const auto named = undoNames_.find(n);
        names.push_back(
            named != undoNames_.end() ? named->second : std::string(Tr(kUnnamedEdit.data())));
    }
    return names;
}

bool MainLogic::UndoCommand(bool pRedo)
{
    if (!CanEdit() || !StepUndo(pRedo, true))
        return false;
    const std::string name = UndoStepName(pRedo);
    if (!StartProc(pRedo ? 0 : 1, 1))
        return false;
    bool ok = StepUndo(pRedo, false);
    if (!ok)
        ui_.ShowError(Tr(kProcessingFailed));
    project_.UpdateTitleLength(false);
    ui_.RequestRedraw(RedrawArea::All);
    EndProc();
    if (ok)
        ui_.ShowMessage(Tr((pRedo ? kRedoCaption : kUndoCaption).data()) + name);
    return ok;
}

std::string MainLogic::FindResumeSnapshot() const { return folder_->NewestStaleSnapshot(); }

void MainLogic::OfferResume()
{
    if (project_.BlockCount() > 0)
        return;
    std::string snapshot = FindResumeSnapshot();
    if (snapshot.empty())
        return;
    if (!ui_.AskYesNo(Tr("続きから作業しますか？")))

        return;
    std::string last = project_.DataFolder + "last.tvp";
    std::error_code ec;
    std::filesystem::rename(snapshot, last, ec);
    if (ec)
        return;
    OpenProject(last, true);
}

} // namespace tarvok
