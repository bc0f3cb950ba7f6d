#include "gui/dialogs/window_registry.h"

#include "app/level_dialog.h"
#include "app/main_logic.h"
#include "app/sample_editor.h"
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

QString Tr(const char* pText)
{
    return QCoreApplication::translate("tarvok::WindowRegistry", pText);
}

bool HasSelectedBlock(const Project& pProject)
{
    return pProject.SelectedBlock >= 0 && pProject.SelectedBlock < pProject.BlockCount();
}

int32_t CurrentTrack(const Project& pProject)
{
    return std::clamp(pProject.CurrentTrack, 0, pProject.LastTrackNo);
}

} // namespace

QWidget* CreateNamedWindow(const QString& pName, GuiContext& pContext, QWidget* pParent)
{
    Project& p = pContext.Logic.Proj();
    if (pName == QLatin1String("FrmMixDown"))
        return new FrmMixDown(pContext, pParent);
    if (pName == QLatin1String("FrmConf"))
        return new FrmConf(pContext, nullptr, pParent);
    if (pName == QLatin1String("FrmRename")) {
        // The selected block's name, else the current track's.
        const std::string& name = HasSelectedBlock(p)
            ? p.Blocks[static_cast<size_t>(p.SelectedBlock)].Name
            : p.Tracks[static_cast<size_t>(CurrentTrack(p))].Name;
        return new FrmRename(QString::fromStdString(name), pParent);
    }
    if (pName == QLatin1String("FrmSetLevel")) {
        if (HasSelectedBlock(p))
            return new FrmSetLevel(LevelDialogModel::ForBlock(p, p.SelectedBlock),
                pContext.Logic.Ui(), Tr("ブロックのレベル"), pParent);
        const int32_t track = CurrentTrack(p);
        return new FrmSetLevel(LevelDialogModel::ForTrack(p, track), pContext.Logic.Ui(),
            QStringLiteral("Track %1").arg(track + 1), pParent);
    }
    if (pName == QLatin1String("FrmTimeInput"))
        return new FrmTimeInput(p, Tr("位置を入力"), p.Head, true, pParent);
    if (pName == QLatin1String("FrmFX"))
        return new FrmFX(pContext, kCmdFxReverb, pParent);
    if (pName.startsWith(QLatin1String("FrmFX-"))) {
        // FrmFX-130: the window of one effect.
        bool ok = false;
        const int id = pName.mid(6).toInt(&ok);
        if (ok && FindEffect(id) && FindEffect(id)->HasDialog)
            return new FrmFX(pContext, id, pParent);
        return nullptr;
    }
    if (pName == QLatin1String("FrmSampleEdit")) {
        // The editor needs the rendered selection of the current track.
        if (pContext.Logic.SampleEditFile.empty() && !PrepareSampleEdit(pContext.Logic))
            return nullptr;
        return new FrmSampleEdit(pContext, pParent);
    }
    if (pName == QLatin1String("FrmRip"))
        return new FrmRip(pContext, pParent);
    if (pName == QLatin1String("FrmVer"))
        return new FrmVer(pParent);
    if (pName == QLatin1String("FrmMon")) {
        // The monitor shows the inputs of a recording engine; there is none without devices.
        if (!pContext.Logic.Recorder || !pContext.Engine)
            return nullptr;
        return new FrmMon(
            pContext, *pContext.Logic.Recorder, pContext.Engine->InputEnabled, {}, pParent);
    }
    if (pName == QLatin1String("FrmDrawLevel")) {
        // Opened on the selection when there is one that fits; empty otherwise.
        auto* window = new FrmDrawLevel(pContext, pParent);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->Start(DrawMode::Draw);
        return window;
    }
    if (pName == QLatin1String("FrmAutomation")) {
        auto* window = new FrmAutomation(pContext, pParent);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->Start();
        return window;
    }
    return nullptr;
}

QStringList NamedWindows()
{
    return { QStringLiteral("FrmMixDown"), QStringLiteral("FrmConf"), QStringLiteral("FrmRename"),
        QStringLiteral("FrmSetLevel"), QStringLiteral("FrmTimeInput"), QStringLiteral("FrmVer"),
        QStringLiteral("FrmMon"), QStringLiteral("FrmDrawLevel"), QStringLiteral("FrmAutomation"),
        QStringLiteral("FrmFX"), QStringLiteral("FrmSampleEdit"), QStringLiteral("FrmRip") };
}

} // namespace tarvok
