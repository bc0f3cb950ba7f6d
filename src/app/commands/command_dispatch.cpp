#include "app/commands/command_dispatch.h"

#include "app/commands/apply_effect.h"
#include "app/commands/block_commands.h"
#include "app/commands/command_table.h"
#include "app/commands/export_command.h"
#include "app/commands/fade_commands.h"
#include "app/commands/range_commands.h"
#include "app/commands/sample_editor.h"
#include "app/shell/main_logic.h"
#include "base/file_name.h"
#include "base/i18n.h"
#include "core/command_ids.h"
#include "core/project_file.h"

#include <optional>

namespace tarvok {

namespace {

/// UNDO and REDO; with no snapshot to step to, the status line says so.
bool UndoOrRedo(MainLogic& pLogic, bool pRedo)
{
    if (pLogic.CanEdit() && !pLogic.StepUndo(pRedo, true)) {
        pLogic.ShowMessage(
            pRedo ? Tr("やり直せる操作がありません") : Tr("元に戻せる操作がありません"));
        return false;
    }
    return pLogic.UndoCommand(pRedo);
}

bool InRange(int32_t pIndex, int32_t pFirst, int32_t pLast)
{
    return pIndex >= pFirst && pIndex <= pLast;
}

/// Mark, head and range-editing commands.
bool IsRangeIndex(int32_t pIndex) { return InRange(pIndex, kCmdMarkinClick, kCmdSelall); }
/// Transport, scrub and jog commands.
bool IsTransportIndex(int32_t pIndex)
{
    return InRange(pIndex, kCmdScrubPlus, kCmdMoveRight)
        || InRange(pIndex, kCmdRec, kCmdPlayFromout);
}
/// Block and track commands.
bool IsBlockIndex(int32_t pIndex) { return InRange(pIndex, kCmdBlockDelete, kCmdTrackSave); }

/// The effects.
bool IsEffectIndex(int32_t pIndex) { return InRange(pIndex, kCmdFxDelay, kCmdFxVocal); }

/// Commands that change the project or open an editing window, but whose handlers are not
/// available yet: they are refused like edits before saying so.
bool IsPendingEdit(int32_t pIndex)
{
    return InRange(pIndex, kCmdFadeIn, kCmdSampleedit) && !IsEffectIndex(pIndex);
}

bool NotAvailable(MainLogic& pLogic, int32_t pIndex)
{
    pLogic.ShowMessage(NotAvailableMessage(pIndex));
    return false;
}

/// OPENSOUND: a file dialog starting in "SoundfilePath", then import at the current track
/// and MarkIn.
bool OpenSoundCommand(MainLogic& pLogic)
{
    if (!pLogic.CanEdit())
        return false;
    Project& p = pLogic.Proj();
    std::string start = pLogic.Store().GetSetting("SoundfilePath", std::string_view(p.DataFolder));
    std::optional<std::string> path
        = pLogic.Ui().ChooseOpenFile(Tr("サウンドファイル"), kSoundFileFilter, start);
    if (!path || path->empty())
        return false;
    pLogic.Store().SaveSetting("SoundfilePath", std::string_view(FolderOf(*path)));
    return pLogic.ImportSoundFile(p.CurrentTrack, *path, p.MarkIn, false);
}

} // namespace

std::string NotAvailableMessage(int32_t pIndex)
{
    return TrArgs("%1は未実装です", GetCommandText(pIndex, kCommandDescription));
}

bool IsCommandAvailable(int32_t pIndex)
{
    if (pIndex < 1 || pIndex >= kCommandCount)
        return false;
    if (IsRangeIndex(pIndex))
        return IsRangeCommand(pIndex);
    if (IsBlockIndex(pIndex))
        return IsBlockCommand(pIndex);
    if (IsFadeCommand(pIndex))
        return true;
    if (IsEffectIndex(pIndex))
        return IsEffectAvailable(pIndex);
    switch (pIndex) {
    case kCmdOpensound:
    case kCmdOpenprj:
    case kCmdSaveprj:
    case kCmdOwprj:
    case kCmdFetchwav:
    case kCmdSaveall:
    case kCmdExport:
    case kCmdClip2prj:
    case kCmdPrj2clip:
    case kCmdCleanup:
    case kCmdCloseprj:
    case kCmdUndo:
    case kCmdRedo:
        return true;
    default:
        return false;
    }
}

bool RunCommand(MainLogic& pLogic, int32_t pIndex, int32_t pLevel)
{
    if (pIndex < 1 || pIndex >= kCommandCount)
        return false;
    // While a long job yields, STOP only asks it to end between two chunks.
    if (pIndex == kCmdStop && pLogic.Busy) {
        pLogic.CancelRequest = true;
        return true;
    }
    if (pLogic.WindowHandler) {
        if (const std::optional<bool> handled = pLogic.WindowHandler(pIndex, pLevel))
            return *handled;
    }
    if (IsTransportIndex(pIndex)) {
        if (pLogic.TransportHandler)
            return pLogic.TransportHandler(pIndex, pLevel);
        // Play, record, pause and stop need a sound device; the scrub and head steps are
        // not offered without one.
        if (!InRange(pIndex, kCmdRec, kCmdPlayFromout))
            return NotAvailable(pLogic, pIndex);
        pLogic.ShowMessage(Tr(kNoSoundDevice));
        return false;
    }
    if (IsRangeIndex(pIndex))
        return IsRangeCommand(pIndex) ? RunRangeCommand(pLogic, pIndex)
                                      : NotAvailable(pLogic, pIndex);
    if (IsBlockIndex(pIndex))
        return IsBlockCommand(pIndex) ? RunBlockCommand(pLogic, pIndex)
                                      : NotAvailable(pLogic, pIndex);
    if (pIndex == kCmdSampleedit)
        return SampleEditCommand(pLogic);
    if (IsFadeCommand(pIndex))
        return RunFadeCommand(pLogic, pIndex);
    if (IsEffectIndex(pIndex)) {
        if (!IsEffectAvailable(pIndex))
            return pLogic.CanEdit() ? NotAvailable(pLogic, pIndex) : false;
        return RunEffectCommand(pLogic, pIndex);
    }
    if (IsPendingEdit(pIndex))
        return pLogic.CanEdit() ? NotAvailable(pLogic, pIndex) : false;

    switch (pIndex) {
    case kCmdOpensound:
        return OpenSoundCommand(pLogic);
    case kCmdMixdown:
        if (pLogic.Busy || pLogic.Recording || pLogic.Playing)
            return false;
        return NotAvailable(pLogic, pIndex);
    case kCmdOpenprj:
        return pLogic.OpenProjectCommand();
    case kCmdSaveprj:
        return pLogic.SaveProjectCommand();
    case kCmdOwprj:
        return pLogic.OverwriteProjectCommand();
    case kCmdFetchwav:
        return pLogic.FetchWavCommand();
    case kCmdSaveall:
        return pLogic.SaveAllCommand();
    case kCmdExport:
        return ExportCommand(pLogic);
    case kCmdClip2prj:
        return pLogic.ClipToProjectCommand();
    case kCmdPrj2clip:
        return pLogic.ProjectToClipCommand();
    case kCmdCleanup:
        return pLogic.CleanupCommand() >= 0;
    case kCmdCloseprj:
        return pLogic.CloseProject();
    case kCmdUndo:
    case kCmdRedo:
        return UndoOrRedo(pLogic, pIndex == kCmdRedo);
    default:
        // Transport, scrub, view, CD.
        return NotAvailable(pLogic, pIndex);
    }
}

} // namespace tarvok
