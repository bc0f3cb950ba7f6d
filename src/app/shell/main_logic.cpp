#include "app/shell/main_logic.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/envelope.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "render/mix_kernel.h"

#include <algorithm>

namespace tarvok {

namespace {

constexpr const char* kProcessingFinished = N_("処理終了");
constexpr const char* kConfirmDiscard = N_("作業内容を破棄して別のファイルを開きますか？");
constexpr const char* kConfirmQuit = N_("終了しますか？");
constexpr const char* kConfirmSave = N_("プロジェクトを保存しますか？");
constexpr const char* kCleanupFailed = N_("データフォルダ整理に失敗しました");
constexpr const char* kCleanupBusy
    = N_("データフォルダは他のプロセスが使用中のため整理しませんでした");

int32_t ReadSampleStep(const Settings& pSettings)
{
    int32_t step = pSettings.GetSetting("SampleStep", int32_t { 64 });
    if (step <= 0)
        return 64;
    return Clamp32(step, 10, 48000);
}

int32_t ReadRate(const Settings& pSettings)
{
    int32_t rate = pSettings.GetSetting("nFreq", int32_t { 44100 });
    // A rate no device or file could use would break every position computation.
    return (rate >= 1000 && rate <= 768000) ? rate : 44100;
}

int32_t ReadFadeTableType(const Settings& pSettings)
{
    int32_t type = pSettings.GetSetting("FadeTableType", int32_t { 1 });
    return (type == 0 || type == 1) ? type : 1;
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view pText)
{
    std::vector<std::string> tokens;
    std::string_view text = Trim(pText);
    std::string current;
    bool inQuotes = false;
    bool have = false;
    for (char c : text) {
        if (c == '"') {
            inQuotes = !inQuotes;
            have = true;
            continue;
        }
        if ((c == ' ' || c == '\t') && !inQuotes) {
            if (have)
                tokens.push_back(current);
            current.clear();
            have = false;
            continue;
        }
        current.push_back(c);
        have = true;
    }
    if (have)
        tokens.push_back(current);
    return tokens;
}

MainLogic::MainLogic(Settings& pSettings, UserInterface& pUi)
    : settings_(pSettings)
    , ui_(pUi)
    , folder_(std::make_unique<DataFolder>(""))
    , log_(std::make_unique<ErrorLog>(""))
{
    project_.SetFadeTableType(1);
    project_.SetTrackCount(8);
}

MainLogic::~MainLogic() { ClearDamagedFileLog(log_->Folder()); }

void MainLogic::ReadOptions() { ReadAppOptions(settings_, options_); }

void MainLogic::SaveOptions() { SaveAppOptions(settings_, options_); }

void MainLogic::ApplyNewProjectSettings()
{
    project_.SetFadeTableType(ReadFadeTableType(settings_));
    project_.SampleRate = ReadRate(settings_);
    project_.SampleStep = ReadSampleStep(settings_);
}

bool MainLogic::SetUpDataFolder()
{
    std::string folder = dataFolderOverride_.empty()
        ? tarvok::ResolveDataFolder(settings_.GetSetting("DataPath", ""))
        : WithTrailingSlash(dataFolderOverride_);
    if (!CreateFolders(folder))
        return false;
    project_.DataFolder = folder;
    folder_ = std::make_unique<DataFolder>(folder);
    return folder_->Enter();
}

void MainLogic::LoadTrackSettings()
{
    for (int32_t t = 0; t <= project_.LastTrackNo; ++t) {
        Track& track = project_.Tracks[t];
        int nn = t + 1;
        track.Name = settings_.GetSetting(TwoDigitKey("TrackName_", nn), "");
        track.PlaySelected
            = settings_.GetSetting(TwoDigitKey("TrackPlaySelected_", nn), int32_t { 1 });
        int32_t rec = settings_.GetSetting(TwoDigitKey("TrackRecSelected_", nn), int32_t { -1 });
        track.RecSelected = rec == -1 ? (t == 0 ? 1 : 0) : rec;
        track.LevelLinked
            = settings_.GetSetting(TwoDigitKey("TrackLevelLinked_", nn), int32_t { 0 });
        track.LevelL = Clamp32(
            settings_.GetSetting(TwoDigitKey("TrackLevelL_", nn), project_.UnityLevel), 0, 255);
        track.LevelR = Clamp32(
            settings_.GetSetting(TwoDigitKey("TrackLevelR_", nn), project_.UnityLevel), 0, 255);
        track.AutoLevelL = track.AutoLevelR = project_.UnityLevel;
        track.RecCh = settings_.GetSetting(TwoDigitKey("TrackRecCh_", nn), int32_t { 0 });
        track.PlayCh = settings_.GetSetting(TwoDigitKey("TrackPlayCh_", nn), int32_t { 0 });
        track.Selected = t == 0 ? 1 : 0;
    }
    project_.CurrentTrack = 0;
}

void MainLogic::ChangeTrackCount(int32_t pCount)
{
    project_.SetTrackCount(pCount);
    project_.ViewTrackCount = project_.LastTrackNo;
}

bool MainLogic::Startup(std::string_view pCommandLine, bool pOfferResume)
{
    ReadOptions();
    ApplyNewProjectSettings();
    project_.Zoom = kDefaultZoom;
    project_.SelectedBlock = -1;
    project_.MasterLevelL = project_.MasterLevelR = project_.UnityLevel;

    int32_t lastTrack = Clamp32(settings_.GetSetting("TrackNum", int32_t { 7 }), 0, kMaxTrackIndex);
    project_.Tracks.clear();
    project_.Envelopes.clear();
    ChangeTrackCount(lastTrack + 1);
    LoadTrackSettings();

    if (!SetUpDataFolder())
        return false;
    ClearDamagedFileLog(log_->Folder());
    log_ = std::make_unique<ErrorLog>(settings_);
    log_->CleanAtStart();
    // A working file found shortened on the disk is written to the log as well as shown.
    SetDamagedFileLog(log_->Folder());

    if (options_.ShowMRU == 1)
        recent_.Load(settings_);
    else
        recent_.Clear();
    project_.Saved = true;
    if (!Trim(pCommandLine).empty())
        HandleCommandLine(pCommandLine);
    if (pOfferResume) {
        OfferResume();
        OfferOrphanedRecordings();
    }
    return true;
}

bool MainLogic::StartProc(int32_t pNeedUndo, int32_t pType, bool pRefuseWithoutUndo)
{
    if (!CanEdit())
        return false;
    ui_.SetBusy(true);
    Busy = true;
    CancelRequest = false;
    if (pNeedUndo == 1) {
        if (!(project_.LastUndoType == 1 && pType == 1)) {
            // An edit that could not be undone is not made: the project stays as it is
            // (and an undo step keeps the present state to come back to). Placing a
            // recording goes on, since the audio is the user's; it only cannot be undone.
            if (!TakeUndoSnapshot()) {
                if (pRefuseWithoutUndo) {
                    Busy = false;
                    ui_.SetBusy(false);
                    ShowUndoSnapshotFailure();
                    return false;
                }
                ShowUndoSnapshotFailure(kUndoLostText);
            } else if (pType == 1)
                --project_.UndoCounter;
        }
        project_.Saved = false;
    }
    project_.LastUndoType = pType;
    return true;
}

void MainLogic::EndProc()
{
    project_.UpdateTitleLength(false);
    ui_.RequestRedraw(RedrawArea::All);
    ui_.RequestRedraw(RedrawArea::TimeDisplay);
    ui_.RequestRedraw(RedrawArea::Menus);
    Busy = false;
    ui_.ShowMessage(Tr(kProcessingFinished));
    ui_.SetBusy(false);
}

bool MainLogic::CloseProject()
{
    if (!StartProc(1, 0))
        return false;
    ApplyNewProjectSettings();
    LoadTrackSettings();
    project_.MasterLevelL = project_.MasterLevelR = project_.UnityLevel;
    folder_->DeleteOwnSnapshots();
    projectLock_.Release();
    project_.ResetProject();
    project_.MarkIn = project_.MarkOut = project_.ViewStart = project_.Head = 0;
    project_.UpdateTitleLength(false);
    project_.Saved = true;
    OverwriteEnabled = false;
    EndProc();
    return true;
}

namespace {

constexpr std::string_view kCommandLineKeys[] = { "X=", "Y=", "W=", "H=", "T=" };

/// The value of pToken when it is the key pKey, with or without a leading "/".
std::optional<std::string_view> KeyValueOf(std::string_view pToken, std::string_view pKey)
{
    if (StartsWithNoCase(pToken, pKey))
        return pToken.substr(pKey.size());
    if (!pToken.empty() && pToken[0] == '/' && StartsWithNoCase(pToken.substr(1), pKey))
        return pToken.substr(pKey.size() + 1);
    return std::nullopt;
}

} // namespace

bool IsCommandLineKey(std::string_view pToken)
{
    for (std::string_view key : kCommandLineKeys)
        if (KeyValueOf(pToken, key))
            return true;
    return false;
}

void MainLogic::HandleCommandLine(std::string_view pText)
{
    std::vector<std::string> tokens = SplitCommandLine(pText);
    auto valueOf
        = [](std::string_view token, std::string_view key) { return KeyValueOf(token, key); };
    for (const std::string& token : tokens) {
        const auto& kKeys = kCommandLineKeys;
        for (size_t k = 0; k < std::size(kKeys); ++k) {
            std::optional<std::string_view> value = valueOf(token, kKeys[k]);
            if (!value)
                continue;
            std::optional<int64_t> number = ParseInteger(*value);
            if (!number || *number < INT32_MIN || *number > INT32_MAX)
                return; // a value that is not a number ends the handling
            auto n = static_cast<int32_t>(*number);
            switch (k) {
            case 0:
                window_.Left = n;
                break;
            case 1:
                window_.Top = n;
                break;
            case 2:
                window_.Width = n;
                break;
            case 3:
                window_.Height = n;
                break;
            case 4:
                if (project_.Saved && n != project_.LastTrackNo + 1) {
                    if (!CloseProject())
                        break;
                    if (!StartProc(0, 0))
                        break;
                    ChangeTrackCount(Clamp32(static_cast<int64_t>(n) - 1, 0, kMaxTrackIndex) + 1);
                    LoadTrackSettings();
                    project_.UpdateTitleLength(false);
                    EndProc();
                }
                break;
            }
            break;
        }
    }
    for (const std::string& token : tokens) {
        // Paths from other systems ("C:\...", "\\server\...") are full paths too. A key
        // written with its "/" ("/W=800") looks like one but is a key, never a file.
        if (IsAbsolutePath(token) && !IsCommandLineKey(token)) {
            OpenFile(token);
            break;
        }
    }
}

bool MainLogic::OpenFile(const std::string& pPath)
{
    if (project_.BlockCount() > 0) {
        if (!ui_.AskYesNo(Tr(kConfirmDiscard)))
            return false;
        if (!CloseProject())
            return false;
    }
    std::string lower = ToLowerAscii(pPath);
    bool isProject = lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".tvp") == 0;
    if (isProject)
        return OpenProject(pPath, false);
    return ImportSoundFile(0, pPath, 0, false);
}

bool MainLogic::ConfirmExit(bool pMinimised)
{
    if (Busy || pMinimised)
        return false;
    if (project_.Saved)
        return ui_.AskYesNo(Tr(kConfirmQuit));
    MsgAnswer answer = ui_.MessageBox(Tr(kConfirmSave), MsgButtons::YesNoCancel, MsgIcon::Question);
    if (answer == MsgAnswer::Cancel)
        return false;
    if (answer == MsgAnswer::Yes)
        return OverwriteProjectCommand(); // quitting after a failed or cancelled save would lose
                                          // the work
    return true;
}

void MainLogic::Shutdown()
{
    Playing = false;
    Recording = false;
    if (options_.DelOnEnd == 1) {
        if (int count = CleanDataFolder(project_.DataFolder, DelPrjDays(), ui_); count < 0)
            ui_.ShowError(count == -2 ? Tr(kCleanupBusy) : Tr(kCleanupFailed));
    } else {
        // The work stays for the next start, which offers to resume it.
        if (Status saved = SaveUndoSnapshot(); !saved)
            ui_.ShowError(TrArgs(
                "作業の続きを保存できませんでした（%1）。\n次の起動では続きから作業できません。",
                saved.error().Message));
    }
    project_.ResetProject();
    SaveOptions();
    recent_.Save(settings_);
}

void MainLogic::AddRecentFile(const std::string& pPath)
{
    if (options_.ShowMRU != 1 || pPath.empty())
        return;
    recent_.Add(pPath);
    recent_.Save(settings_);
}

int32_t MainLogic::DelPrjDays() const
{
    return SettingTextToInt(settings_.GetSetting("DelPrjDate", "0")).value_or(0);
}

int MainLogic::CleanupCommand()
{
    if (!CanEdit())
        return -1;
    if (project_.BlockCount() > 0) {
        ui_.ShowError(Tr("プロジェクトを開いているときは実行できません"));
        return -1;
    }
    if (!StartProc(0, 0))
        return -1;
    int count = CleanDataFolder(project_.DataFolder, DelPrjDays(), ui_);
    EndProc();
    if (count < 0)
        ui_.ShowError(count == -2 ? Tr(kCleanupBusy) : Tr(kCleanupFailed));
    else
        ui_.ShowInfo(TrArgs("%1ファイル削除しました", count));

    return count;
}

} // namespace tarvok
