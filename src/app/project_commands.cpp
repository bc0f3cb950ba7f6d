// The project menu and undo/redo of the main-window logic.

#include "app/main_logic.h"

#include "app/file_copy.h"
#include "core/paths.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/write_out_all.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tarvok {

namespace {

constexpr const char* kProjectFilter = "tarvokプロジェクトファイル|*.tvp";
constexpr const char* kLoadFailed = "プロジェクト読込に失敗しました";
constexpr const char* kProcessingFailed = "処理失敗";
constexpr const char* kSaveOnlyInDataFolder = "データフォルダ以外にはプロジェクトファイルの保存はできません";

bool HasTvpExtension(const std::string& pPath)
{
    std::string lower = ToLowerAscii(pPath);
    return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".tvp") == 0;
}

std::string Percent(double pRate)
{
    int64_t tenths = static_cast<int64_t>(pRate * 1000.0 + 0.5);
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
    DeleteTempFiles(project_.DataFolder, kTempSnapshot);
    project_.ResetProject();
    ProjectFileEnv env = FileEnv();
    Status read = ReadProject(project_, pPath, false, false, env);
    if (!read) {
        ui_.ShowError(kLoadFailed);
        // Whatever was read must never be saved over the file it came from.
        project_.ProjectFile.clear();
        OverwriteEnabled = false;
    } else if (IsInDataFolder(pPath)) {
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
        std::optional<std::string> path = ui_.ChooseSaveFile("", kProjectFilter, project_.DataFolder);
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
    if (!path || !StartProc(1, 0))
        return false;
    ProjectFileEnv env = FileEnv();
    bool ok = WriteProject(project_, *path, false, env);
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
    bool ok = WriteProject(project_, project_.ProjectFile, false, env);
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
    bool ok = WriteProject(project_, *path, true, env);
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
        ui_.ShowError(kLoadFailed);
    return static_cast<bool>(read);
}

bool MainLogic::FetchWavCommand()
{
    if (!CanEdit())
        return false;
    auto outside = [this](const std::string& pPath) { return !pPath.empty() && !IsInDataFolder(pPath); };
    bool any = false;
    for (const WaveFile& w : project_.WaveFiles)
        any = any || outside(w.FileName) || outside(w.PeakFile);
    for (const Track& t : project_.Tracks)
        any = any || outside(t.EnvelopeFile);
    if (!any || !StartProc(1, 0))
        return false;
    FileCopy copier(&ui_);
    copier.SetMirrorProg([this](double, bool& pCancel) {
        if (CancelRequest)
            pCancel = true;
    });
    bool ok = true;
    auto fetch = [&](std::string& pName, int pKind) {
        if (!ok || !outside(pName) || !FileExists(pName))
            return;
        std::string target = folder_->NewTempName(pKind);
        if (target.empty() || !copier.TranspFile(pName, target, true, false)) {
            ok = false;
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
    return ok;
}

bool MainLogic::SaveAllCommand()
{
    if (!CanEdit())
        return false;
    std::string start = settings_.GetSetting("LastSaveAllPath", std::string_view(ProgramFolder()));
    std::optional<std::string> chosen = ui_.ChooseFolder("フォルダ名称を入力|*.tvp", start);
    if (!chosen || chosen->empty())
        return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string folder = *chosen;
    if (fs::is_regular_file(folder, ec))
        folder = FolderOf(folder);
    folder = WithTrailingSlash(folder);
    if (EqualsNoCase(folder, project_.DataFolder)) {
        ui_.ShowError("データフォルダには保存はできません");
        return false;
    }
    std::string bare = folder.substr(0, folder.size() - 1);
    std::string name = FileNameOf(bare);
    if (size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name = name.substr(0, dot);
    if (project_.BlockCount() < 1 || project_.WaveFileCount() < 1) {
        ui_.ShowError("出力に失敗しました");
        return false;
    }

    // An existing folder is replaced only after the new one is complete.
    bool replacing = FolderExists(folder);
    std::string writeTo = folder;
    if (replacing) {
        if (!ui_.AskYesNo(folder + "\nをクリアして全てのデータを出力します。続行しますか？"))
            return false;
        for (int n = 1; n <= 99; ++n) {
            std::string candidate = bare + ZeroPad(n, 2);
            if (!fs::exists(candidate, ec)) {
                writeTo = WithTrailingSlash(candidate);
                break;
            }
        }
        if (writeTo == folder) {
            ui_.ShowError("フォルダ作成に失敗しました");
            return false;
        }
    }
    if (!CreateFolders(writeTo)) {
        ui_.ShowError("フォルダ作成に失敗しました");
        return false;
    }
    if (!StartProc(1, 0))
        return false;
    Status written = WriteOutAll(project_, writeTo, name, ui_, [this](double pRate, bool& pCancel) {
        ui_.ShowMessage(Percent(pRate));
        ui_.Yield();
        pCancel = CancelRequest;
    });
    bool ok = static_cast<bool>(written);
    if (ok && replacing) {
        fs::remove_all(bare, ec);
        if (FolderExists(folder)) {
            ok = false;
            ui_.ShowError("フォルダ名変更に失敗しました");
        } else {
            fs::rename(writeTo.substr(0, writeTo.size() - 1), bare, ec);
            ok = !ec;
            if (!ok)
                ui_.ShowError("フォルダ名変更に失敗しました");
        }
    } else if (!ok && replacing) {
        fs::remove_all(writeTo, ec);
    }
    EndProc();
    if (!written) {
        ui_.ShowError("出力に失敗しました");
        return false;
    }
    if (!ok)
        return false;
    settings_.SaveSetting("LastSaveAllPath", std::string_view(folder));
    bool overwritten = false;
    for (const WaveFile& w : project_.WaveFiles)
        overwritten = overwritten || EqualsNoCase(FolderOf(w.FileName), folder);
    if (overwritten) {
        CloseProject();
        if (ui_.AskYesNo("構成ファイルに上書きしました。保存したプロジェクトを開きますか？"))
            OpenProject(folder + name + ".tvp", false);
    }
    return true;
}

bool MainLogic::PushUndo()
{
    ProjectFileEnv env = FileEnv();
    bool ok = WriteProject(project_, folder_->UndoSnapshotName(project_.UndoCounter), false, env);
    ++project_.UndoCounter;
    // Snapshots beyond the present can no longer be reached by redo.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(project_.DataFolder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() != 12 || !StartsWithNoCase(name, "~t") || !EqualsNoCase(name.substr(8), ".tvp"))
            continue;
        std::optional<int64_t> number = ParseInteger(name.substr(2, 6));
        if (number && name.substr(2, 6).find_first_not_of("0123456789") == std::string::npos
            && *number > project_.UndoCounter)
            DeleteFileForce(entry.path().string());
    }
    return ok;
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

std::string MainLogic::FindResumeSnapshot() const
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string best;
    fs::file_time_type bestTime {};
    for (const auto& entry : fs::directory_iterator(project_.DataFolder, ec)) {
        std::string name = entry.path().filename().string();
        if (!StartsWithNoCase(name, "~t") || name.size() < 4 || !EqualsNoCase(name.substr(name.size() - 4), ".tvp"))
            continue;
        std::error_code timeError;
        if (!entry.is_regular_file(timeError))
            continue;
        fs::file_time_type time = entry.last_write_time(timeError);
        if (timeError)
            continue;
        if (best.empty() || time > bestTime) {
            best = entry.path().string();
            bestTime = time;
        }
    }
    return best;
}

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
