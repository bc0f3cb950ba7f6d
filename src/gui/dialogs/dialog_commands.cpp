#include "gui/dialogs/dialog_commands.h"
#include "gui/gui_text.h"

#include "app/commands/apply_effect.h"
#include "app/shell/main_logic.h"
#include "app/windows/level_dialog.h"
#include "core/command_ids.h"
#include "core/project.h"
#include "edit/block_edit.h"
#include "fx/c_fx.h"
#include "fx/fx_table.h"
#include "gui/dialogs/frm_automation.h"
#include "gui/dialogs/frm_conf.h"
#include "gui/dialogs/frm_draw_level.h"
#include "gui/dialogs/frm_fx.h"
#include "gui/dialogs/frm_mix_down.h"
#include "gui/dialogs/frm_rename.h"
#include "gui/dialogs/frm_sample_edit.h"
#include "gui/dialogs/frm_set_level.h"
#include "gui/dialogs/frm_time_input.h"
#include "gui/dialogs/frm_ver.h"

#include <QCoreApplication>
#include <QPointer>

namespace tarvok {

namespace {

bool HasSelectedBlock(const Project& pProject)
{
    return pProject.SelectedBlock >= 0 && pProject.SelectedBlock < pProject.BlockCount();
}

/// The two modeless fade windows: singletons while they are open.
QPointer<FrmDrawLevel>& DrawWindow()
{
    static QPointer<FrmDrawLevel> window;
    return window;
}

QPointer<FrmAutomation>& AutomationWindow()
{
    static QPointer<FrmAutomation> window;
    return window;
}

/// FADE_DRAW and FADE_BG: opens the drawing window, or brings the open one forward.
bool OpenDrawWindow(GuiContext& pContext, DrawMode pMode, QWidget* pParent)
{
    if (FrmDrawLevel* open = DrawWindow()) {
        open->raise();
        open->activateWindow();
        return false;
    }
    auto* window = new FrmDrawLevel(pContext, pParent);
    if (!window->Start(pMode)) {
        delete window;
        return false;
    }
    DrawWindow() = window;
    window->show();
    return true;
}

/// FADE_AUTO: opens the automation window, or closes it when it is open.
bool ToggleAutomationWindow(GuiContext& pContext, QWidget* pParent)
{
    if (FrmAutomation* open = AutomationWindow()) {
        open->close();
        return true;
    }
    auto* window = new FrmAutomation(pContext, pParent);
    window->Start();
    AutomationWindow() = window;
    window->show();
    return true;
}

} // namespace

std::optional<bool> RunDialogCommand(int32_t pId, GuiContext& pContext, QWidget* pParent)
{
    MainLogic& logic = pContext.Logic;
    Project& p = logic.Proj();
    if (const FxInfo* effect = FindEffect(pId); effect && effect->HasDialog) {
        if (!IsEffectAvailable(pId))
            return std::nullopt;
        return ApplyEffect(logic, pId, [&](C_FX& pFx) {
            FrmFX window(pContext, pId, pFx, pParent);
            return window.exec() == QDialog::Accepted;
        });
    }
    switch (pId) {
    case kCmdMixdown: {
        if (!logic.CanEdit())
            return false;
        FrmMixDown window(pContext, pParent);
        window.exec();
        return window.LastResult().has_value()
            && window.LastResult()->Outcome == MixdownOutcome::Finished;
    }
    case kCmdSampleedit:
        return RunSampleEditCommand(pContext, pParent);
    case kCmdTrackName: {
        if (!logic.CanEdit() || p.CurrentTrack < 0 || p.CurrentTrack >= p.TrackCount())
            return false;
        const QString current
            = QString::fromStdString(p.Tracks[static_cast<size_t>(p.CurrentTrack)].Name);
        const QString name = FrmRename::Ask(current, pParent);
        return name != current && ApplyTrackName(logic, p.CurrentTrack, name.toStdString());
    }
    case kCmdBlockName: {
        if (!logic.CanEdit() || !HasSelectedBlock(p))
            return false;
        const int32_t block = p.SelectedBlock;
        const QString current = QString::fromStdString(p.Blocks[static_cast<size_t>(block)].Name);
        const QString name = FrmRename::Ask(current, pParent);
        return name != current && ApplyBlockName(logic, block, name.toStdString());
    }
    case kCmdBlockLevel: {
        if (!logic.CanEdit() || !HasSelectedBlock(p))
            return false;
        const int32_t block = p.SelectedBlock;
        FrmSetLevel dialog(
            LevelDialogModel::ForBlock(p, block), logic.Ui(), QTr("ブロックのレベル"), pParent);
        if (dialog.exec() != QDialog::Accepted || !dialog.Result())
            return false;
        return ApplyBlockLevel(logic, block, dialog.Result()->first, dialog.Result()->second);
    }
    case kCmdBlockSetadr: {
        if (!logic.CanEdit() || !HasSelectedBlock(p))
            return false;
        const int32_t block = p.SelectedBlock;
        FrmTimeInput dialog(
            p, QTr("位置を入力"), p.Blocks[static_cast<size_t>(block)].StartAdr, true, pParent);
        dialog.exec();
        std::optional<int32_t> position = dialog.Frames();
        if (!position || *position < 0 || !logic.StartProc(1, 0))
            return false;
        SetBlockAddress(p, block, *position);
        logic.EndProc();
        return true;
    }
    case kCmdFadeDraw:
    case kCmdFadeBg:
        return OpenDrawWindow(
            pContext, pId == kCmdFadeDraw ? DrawMode::Draw : DrawMode::Background, pParent);
    case kCmdFadeAuto:
        return ToggleAutomationWindow(pContext, pParent);
    default:
        return std::nullopt;
    }
}

FrmDrawLevel* OpenDrawLevelWindow() { return DrawWindow(); }

FrmAutomation* OpenAutomationWindow() { return AutomationWindow(); }

bool RunTrackLevelDialog(GuiContext& pContext, int32_t pTrack, QWidget* pParent)
{
    Project& p = pContext.Logic.Proj();
    if (pTrack < 0 || pTrack >= p.TrackCount())
        return false;
    FrmSetLevel dialog(LevelDialogModel::ForTrack(p, pTrack), pContext.Logic.Ui(),
        QStringLiteral("Track %1").arg(pTrack + 1), pParent);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result())
        return false;
    return ApplyTrackLevel(pContext.Logic, pTrack, dialog.Result()->first, dialog.Result()->second);
}

bool RunSettingsWindow(GuiContext& pContext, KeyAssignment* pAssignment, QWidget* pParent)
{
    FrmConf window(pContext, pAssignment, pParent);
    return window.exec() == QDialog::Accepted;
}

void RunAboutWindow(QWidget* pParent)
{
    FrmVer window(pParent);
    window.exec();
}

} // namespace tarvok
