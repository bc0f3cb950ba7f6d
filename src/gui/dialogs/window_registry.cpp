#include "gui/dialogs/window_registry.h"
#include "gui/gui_text.h"

#include "app/commands/sample_editor.h"
#include "app/shell/main_logic.h"
#include "app/windows/level_dialog.h"
#include "core/command_ids.h"
#include "core/project.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "fx/fx_table.h"
#include "gui/dialogs/frm_automation.h"
#include "gui/dialogs/frm_conf.h"
#include "gui/dialogs/frm_draw_level.h"
#include "gui/dialogs/frm_fx.h"
#include "gui/dialogs/frm_mix_down.h"
#include "gui/dialogs/frm_mon.h"
#include "gui/dialogs/frm_rename.h"
#include "gui/dialogs/frm_rip.h"
#include "gui/dialogs/frm_sample_edit.h"
#include "gui/dialogs/frm_set_level.h"
#include "gui/dialogs/frm_time_input.h"
#include "gui/dialogs/frm_ver.h"

#include <QCoreApplication>
#include <QWidget>

#include <algorithm>

namespace tarvok {

namespace {

bool HasSelectedBlock(const Project& pProject)
{
    return pProject.SelectedBlock >= 0 && pProject.SelectedBlock < pProject.BlockCount();
}

int32_t CurrentTrack(const Project& pProject)
{
    return std::clamp(pProject.CurrentTrack, 0, pProject.LastTrackNo);
}

/// A window whose constructor takes only the context and the parent.
template <typename Window> QWidget* Make(GuiContext& pContext, QWidget* pParent)
{
    return new Window(pContext, pParent);
}

QWidget* MakeConf(GuiContext& pContext, QWidget* pParent)
{
    return new FrmConf(pContext, nullptr, pParent);
}

QWidget* MakeVer(GuiContext&, QWidget* pParent) { return new FrmVer(pParent); }

/// The effect window without a number shows the reverb.
QWidget* MakeReverbFx(GuiContext& pContext, QWidget* pParent)
{
    return new FrmFX(pContext, kCmdFxReverb, pParent);
}

QWidget* MakeRename(GuiContext& pContext, QWidget* pParent)
{
    const Project& p = pContext.Logic.Proj();
    // The selected block's name, else the current track's.
    const std::string& name = HasSelectedBlock(p)
        ? p.Blocks[static_cast<size_t>(p.SelectedBlock)].Name
        : p.Tracks[static_cast<size_t>(CurrentTrack(p))].Name;
    return new FrmRename(QString::fromStdString(name), pParent);
}

QWidget* MakeSetLevel(GuiContext& pContext, QWidget* pParent)
{
    Project& p = pContext.Logic.Proj();
    if (HasSelectedBlock(p))
        return new FrmSetLevel(LevelDialogModel::ForBlock(p, p.SelectedBlock), pContext.Logic.Ui(),
            QTr("ブロックのレベル"), pParent);
    const int32_t track = CurrentTrack(p);
    return new FrmSetLevel(LevelDialogModel::ForTrack(p, track), pContext.Logic.Ui(),
        QStringLiteral("Track %1").arg(track + 1), pParent);
}

QWidget* MakeTimeInput(GuiContext& pContext, QWidget* pParent)
{
    Project& p = pContext.Logic.Proj();
    return new FrmTimeInput(p, QTr("位置を入力"), p.Head, true, pParent);
}

QWidget* MakeMon(GuiContext& pContext, QWidget* pParent)
{
    // The monitor shows the inputs of a recording engine; there is none without devices.
    if (!pContext.Logic.Recorder || !pContext.Engine)
        return nullptr;
    return new FrmMon(
        pContext, *pContext.Logic.Recorder, pContext.Engine->InputEnabled(), {}, pParent);
}

QWidget* MakeDrawLevel(GuiContext& pContext, QWidget* pParent)
{
    // Opened on the selection when there is one that fits; empty otherwise.
    auto* window = new FrmDrawLevel(pContext, pParent);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->Start(DrawMode::Draw);
    return window;
}

QWidget* MakeAutomation(GuiContext& pContext, QWidget* pParent)
{
    auto* window = new FrmAutomation(pContext, pParent);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->Start();
    return window;
}

QWidget* MakeSampleEdit(GuiContext& pContext, QWidget* pParent)
{
    // The editor needs the rendered selection of the current track.
    if (pContext.Logic.SampleEditFile.empty() && !PrepareSampleEdit(pContext.Logic))
        return nullptr;
    return new FrmSampleEdit(pContext, pParent);
}

/// One window that can be made by name: the name is also the window's object name.
struct NamedWindowRow {
    const char* Name;
    QWidget* (*Make)(GuiContext& pContext, QWidget* pParent);
};

/// Every named window, in the order NamedWindows lists them. A new window is one row here
/// and its own file.
const NamedWindowRow kWindows[] = {
    { "FrmMixDown", Make<FrmMixDown> },
    { "FrmConf", MakeConf },
    { "FrmRename", MakeRename },
    { "FrmSetLevel", MakeSetLevel },
    { "FrmTimeInput", MakeTimeInput },
    { "FrmVer", MakeVer },
    { "FrmMon", MakeMon },
    { "FrmDrawLevel", MakeDrawLevel },
    { "FrmAutomation", MakeAutomation },
    { "FrmFX", MakeReverbFx },
    { "FrmSampleEdit", MakeSampleEdit },
    { "FrmRip", Make<FrmRip> },
};

} // namespace

QWidget* CreateNamedWindow(const QString& pName, GuiContext& pContext, QWidget* pParent)
{
    for (const NamedWindowRow& row : kWindows)
        if (pName == QLatin1String(row.Name))
            return row.Make(pContext, pParent);
    if (pName.startsWith(QLatin1String("FrmFX-"))) {
        // FrmFX-<number>: the window of one effect.
        bool ok = false;
        const int id = pName.mid(6).toInt(&ok);
        if (ok && FindEffect(id) && FindEffect(id)->HasDialog)
            return new FrmFX(pContext, id, pParent);
    }
    return nullptr;
}

QStringList NamedWindows()
{
    QStringList names;
    for (const NamedWindowRow& row : kWindows)
        names.push_back(QLatin1String(row.Name));
    return names;
}

} // namespace tarvok
