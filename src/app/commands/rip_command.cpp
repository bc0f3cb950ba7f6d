#include "app/commands/rip_command.h"

#include "app/shell/file_copy.h"
#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "cd/rip_audio.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/settings.h"
#include "core/user_interface.h"

namespace tarvok {

bool CanStartRip(const MainLogic& pLogic) { return pLogic.CanEdit(); }

bool ImportRip(MainLogic& pLogic, const std::string& pTarget)
{
    // The import is an edit of its own (its undo snapshot, busy state and end): wrapping it
    // in another one would make it refuse to start.
    if (pTarget.empty() || !pLogic.CanEdit())
        return false;
    Project& p = pLogic.Proj();
    const int32_t before = p.BlockCount();
    const bool placed = pLogic.ImportSoundFile(p.CurrentTrack, pTarget, p.MarkIn, true);
    return placed && p.BlockCount() != before;
}

RipCheckOptions RipOptionsFromSettings(MainLogic& pLogic)
{
    RipCheckOptions options;
    options.Check = pLogic.Store().GetSetting("CheckRip", int32_t { 1 }) != 0;
    options.ErrorCorrection = pLogic.Store().GetSetting("ParanoiaRip", int32_t { 0 }) != 0;
    options.LevelDb = pLogic.Store().GetSetting("RipLevel", int32_t { 0 });
    if (options.LevelDb < -30 || options.LevelDb > 20)
        options.LevelDb = 0;
    options.AlternativeLanguage = pLogic.Options().LangMode != 0;
    Settings* store = &pLogic.Store();
    options.ReadOffsetOf = [store](std::string_view pModel) {
        return store->GetSetting(ReadOffsetKey(pModel), int32_t { 0 });
    };
    UserInterface* ui = &pLogic.Ui();
    options.Compare = [ui](const std::string& pA, const std::string& pB) {
        FileCopy fh(ui);
        return fh.HikakuFile(pA, pB);
    };
    return options;
}

std::string RipCdToDataFolder(MainLogic& pLogic, CdDriveService& pService, std::string_view pDrive,
    int32_t pTrack, const RipCheckOptions& pOptions)
{
    if (!CanStartRip(pLogic))
        return {};
    UserInterface& ui = pLogic.Ui();
    RipAudio ra(pService, &ui);
    ra.DriveToRip(pDrive);
    ra.UpdateToc();
    if (ra.Drive().empty() || pTrack < 0 || pTrack >= static_cast<int32_t>(ra.Tracks().size())) {
        ui.ShowError(
            pOptions.AlternativeLanguage ? "No such CD track." : Tr("CDのトラックがありません"));

        return {};
    }
    const std::string target = pLogic.Folder().NewTempName(1);
    pLogic.Busy = true;
    ui.SetBusy(true);
    RipCheckResult result = RipWithCheck(ra, ui, pTrack, target, pOptions);
    pLogic.Busy = false;
    ui.SetBusy(false);
    if (!result.Good) {
        DeleteFileForce(target);
        return {};
    }
    return result.Path;
}

} // namespace tarvok
