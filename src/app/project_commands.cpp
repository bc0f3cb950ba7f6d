// The project menu and undo/redo of the main-window logic.

#include "app/main_logic.h"

#include "app/file_copy.h"
#include "base/file_name.h"
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

namespace tarvok {

namespace {

constexpr const char* kProjectFilter = "tarvokプロジェクトファイル|*.tvp";
constexpr const char* kLoadFailed = "プロジェクト読込に失敗しました";
constexpr const char* kProcessingFailed = "処理失敗";
constexpr const char* kSaveOnlyInDataFolder
    = "データフォルダ以外にはプロジェクトファイルの保存はできません";

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

bool MainLogic::OpenProject(const std::string& pPath, bool pResuming)
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
        ui_.ShowError(std::string(kLoadFailed) + "\n" + pPath + "\n" + OpenFailure);
        // Whatever was read must never be saved over the file it came from.
        project_.ProjectFile.clear();
        OverwriteEnabled = false;
    } else if (IsInDataFolder(pPath) && LockProjectFile(pPath)) {
        project_.ProjectFile = pPath;
        OverwriteEnabled = true;
    } else {
        project_.ProjectFile.clear();
        OverwriteEnabled = false;
    }
    project_.UndoCounter = 0;
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
        std::string who = lockHolder_ > 0 ? "他のプロセス(PID " + std::to_string(lockHolder_) + ")"
                                          : "他のプロセス";
        ui_.ShowMessage(pPath + " は" + who + "が編集中です。上書き保存はできません");
        return false;
    }
    projectLock_ = std::move(lock);
    return true;
}

bool MainLogic::OpenProjectCommand()
{
    if (!CanEdit())
        return false;
    std::optional<std::string> path = ui_.ChooseOpenFile("", kProjectFilter, project_.DataFolder);
    if (!path || path->empty())
        return false;
    return OpenFile(*path);
}

std::optional<std::string> MainLogic::ChooseProjectSavePath()
{
    for (;;) {
        std::optional<std::string> path
            = ui_.ChooseSaveFile("", kProjectFilter, project_.DataFolder);
        if (!path || path->empty())
            return std::nullopt;
        std::string chosen = *path;
        if (!HasTvpExtension(chosen))
            chosen += ".tvp";
        if (IsInDataFolder(chosen))
            return chosen;
        ui_.ShowError(kSaveOnlyInDataFolder);
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
        ui_.ShowError(*path + "\nは他のプロセスが編集中のため保存できません");
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
        ui_.ShowError(kProcessingFailed);
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
    if (!StartProc(1, 0))
        return false;
    ProjectFileEnv env = FileEnv();
    const bool ok = WriteProject(project_, project_.ProjectFile, false, env).has_value();
    if (ok)
        project_.Saved = true;
    EndProc();
    if (!ok)
        ui_.ShowError(kProcessingFailed);
    return ok;
}

bool MainLogic::ClipToProjectCommand()
{
    if (!CanEdit())
        return false;
    std::optional<std::string> path = ChooseProjectSavePath();
    if (!path || !StartProc(1, 0))
        return false;
    ProjectFileEnv env = FileEnv();
    const bool ok = WriteProject(project_, *path, true, env).has_value();
    EndProc();
    if (!ok)
        ui_.ShowError(kProcessingFailed);
    return ok;
}

bool MainLogic::ProjectToClipCommand()
{
    if (!CanEdit())
        return false;
    std::optional<std::string> path = ui_.ChooseOpenFile("", kProjectFilter, project_.DataFolder);
    if (!path || path->empty())
        return false;
    ProjectFileEnv env = FileEnv();
    Status read = ReadProject(project_, *path, false, true, env);
    ui_.RequestRedraw(RedrawArea::Menus);
    // A rate mismatch was already shown by the reader.
    if (!read && read.error().Code != ErrorCode::RateMismatch)
        ui_.ShowError(std::string(kLoadFailed) + "\n" + *path + "\n" + read.error().Message);
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
            failure = pName + "\nデータフォルダに新しいファイルを作成できません";
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
        ui_.ShowError("構成ファイルのコピーに失敗しました\n" + failure);
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

/// True for the names a SAVEALL of project pProject writes into its folder: "00000001.wav"
/// and the like, the project file, and a temporary file of a replacement.
bool IsSaveAllFile(const std::string& pName, const std::string& pProject)
{
    std::string lower = ToLowerAscii(pName);
    if (lower.size() == 12 && lower.find_first_not_of("0123456789") == 8
        && (lower.ends_with(".wav") || lower.ends_with(".wwf") || lower.ends_with(".wfd")))
        return true;
    return EqualsNoCase(pName, pProject + ".tvp") || IsReplaceTempName(pName);
}

} // namespace

bool MainLogic::SaveAllCommand()
{
    if (!CanEdit())
        return false;
    std::string start = settings_.GetSetting("LastSaveAllPath", std::string_view(ProgramFolder()));
    std::optional<std::string> chosen = ui_.ChooseFolder("フォルダ名称を入力|*.tvp", start);
    if (!chosen || chosen->empty())
        return false;
    std::error_code ec;
    std::string folder = *chosen;
    std::string name;
    if (fs::is_regular_file(folder, ec)) {
        // An existing project file: its folder, and the project keeps that file's name.
        name = FileNameOf(folder);
        folder = FolderOf(folder);
    }
    fs::path target = CanonicalPath(folder);
    const fs::path data = CanonicalPath(project_.DataFolder);
    if (IsWithin(target, data) || IsWithin(data, target)) {
        ui_.ShowError("データフォルダには保存はできません");
        return false;
    }
    const char* home = std::getenv("HOME");
    if (target == target.root_path()
        || (home != nullptr && *home != '\0' && target == CanonicalPath(home))) {
        ui_.ShowError(target.string() + "\nには保存できません。新しいフォルダを指定してください");
        return false;
    }
    if (fs::exists(target, ec) && !fs::is_directory(target, ec)) {
        ui_.ShowError(target.string() + "\nはフォルダではありません");
        return false;
    }
    folder = WithTrailingSlash(target.string());
    const std::string bare = target.string();
    if (name.empty())
        name = FileNameOf(bare);
    if (size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name = name.substr(0, dot);
    if (project_.BlockCount() < 1 || project_.WaveFileCount() < 1) {
        ui_.ShowError("出力に失敗しました");
        return false;
    }

    // An existing folder is replaced only after the new copy is complete, and only in the
    // files a SAVEALL writes.
    const bool replacing = FolderExists(folder);
    std::string writeTo = folder;
    if (replacing) {
        if (!ui_.AskYesNo(folder + "\nをクリアして全てのデータを出力します。続行しますか？"))
            return false;
        writeTo.clear();
        for (int n = 1; n <= 99 && writeTo.empty(); ++n) {
            std::string candidate = bare + ZeroPad(n, 2);
            if (!fs::exists(candidate, ec) && fs::create_directory(candidate, ec) && !ec)
                writeTo = WithTrailingSlash(candidate);
        }
        if (writeTo.empty()) {
            ui_.ShowError("フォルダ作成に失敗しました");
            return false;
        }
    } else if (!CreateFolders(writeTo)) {
        ui_.ShowError("フォルダ作成に失敗しました");
        return false;
    }
    if (!StartProc(1, 0))
        return false;
    Status written
        = WriteOutAll(project_, writeTo, name, ui_, [this](double pRate, std::string_view) {
              ui_.ShowMessage(Percent(pRate));
              ui_.Yield();
              return !CancelRequest;
          });
    std::vector<std::string> kept;
    std::vector<std::string> stranded;
    if (!written) {
        // Nothing of a failed copy stays behind; the old folder is as it was.
        if (replacing)
            fs::remove_all(writeTo, ec);
    } else if (replacing) {
        // The complete new copy and the old folder swap places in one step, so the folder
        // holds the old copy or the new one whatever fails. Then the files that are not
        // SAVEALL's move from the old folder into the new one, and the old one goes.
        const std::string newFolder = writeTo.substr(0, writeTo.size() - 1);
        if (Status exchanged = ExchangePaths(bare, newFolder); !exchanged) {
            const std::string cause = exchanged.error().Message;
            fs::remove_all(newFolder, ec);
            EndProc();
            ui_.ShowError("フォルダ名変更に失敗しました\n" + folder + "\n" + cause);
            return false;
        }
        SyncFolder(FolderOf(bare));
        const std::string& oldFolder = writeTo; // now holds the old copy
        for (const auto& entry : fs::directory_iterator(oldFolder, ec)) {
            std::string entryName = entry.path().filename().string();
            if (entry.is_regular_file(ec) && !entry.is_symlink(ec)
                && IsSaveAllFile(entryName, name))
                continue;
            if (fs::exists(folder + entryName, ec)
                || !RenameFile(entry.path().string(), folder + entryName))
                stranded.push_back(entryName);
            else
                kept.push_back(entryName);
        }
        if (stranded.empty()) {
            fs::remove_all(newFolder, ec);
        } else {
            for (const auto& entry : fs::directory_iterator(oldFolder, ec))
                if (entry.is_regular_file(ec) && !entry.is_symlink(ec)
                    && IsSaveAllFile(entry.path().filename().string(), name))
                    DeleteFileForce(entry.path().string());
        }
        SyncFolder(folder);
    }
    EndProc();
    if (!written) {
        ui_.ShowError("出力に失敗しました\n" + written.error().Message);
        return false;
    }
    if (!stranded.empty()) {
        // The new copy is in place; what could not follow it stays, named, in the old
        // folder's new place.
        std::string list;
        for (const std::string& k : stranded)
            list += "\n" + k;
        ui_.ShowError(writeTo + "\nに残したファイルがあります（移動できませんでした）:" + list);
    }
    if (!kept.empty()) {
        std::string list;
        for (const std::string& k : kept)
            list += "\n" + k;
        ui_.ShowInfo(folder + "\nのSAVEALL以外のファイルは残しました:" + list);
    }
    settings_.SaveSetting("LastSaveAllPath", std::string_view(folder));
    lastSaveAllProject_ = folder + name + ".tvp";
    // A project whose working files were in the replaced folder is opened again from the new
    // copy, so that it never names files that are gone.
    bool inside = false;
    for (const WaveFile& w : project_.WaveFiles)
        inside = inside || IsWithin(CanonicalPath(FolderOf(w.FileName)), target);
    for (const Track& t : project_.Tracks)
        inside = inside
            || (!t.EnvelopeFile.empty()
                && IsWithin(CanonicalPath(FolderOf(t.EnvelopeFile)), target));
    if (replacing && inside) {
        CloseProject();
        OpenProject(lastSaveAllProject_, false);
        ui_.ShowMessage("保存したプロジェクトを開き直しました");
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
    return taken.has_value();
}

void MainLogic::ShowUndoSnapshotFailure(std::string_view pConsequence)
{
    ui_.ShowError("元に戻すための記録を書き込めませんでした（" + undoSnapshotError_.Message
        + "）。\n" + std::string(pConsequence));
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

bool MainLogic::UndoCommand(bool pRedo)
{
    if (!CanEdit() || !StepUndo(pRedo, true))
        return false;
    if (!StartProc(pRedo ? 0 : 1, 1))
        return false;
    bool ok = StepUndo(pRedo, false);
    if (!ok)
        ui_.ShowError(kProcessingFailed);
    project_.UpdateTitleLength(false);
    ui_.RequestRedraw(RedrawArea::All);
    EndProc();
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
    if (!ui_.AskYesNo("続きから作業しますか？"))
        return;
    std::string last = project_.DataFolder + "last.tvp";
    std::error_code ec;
    std::filesystem::rename(snapshot, last, ec);
    if (ec)
        return;
    OpenProject(last, true);
}

} // namespace tarvok
