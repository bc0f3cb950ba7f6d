#include "gui/dialogs/window_registry.h"

#include "app/level_dialog.h"
#include "app/main_logic.h"
#include "core/project.h"
#include "gui/dialogs/frm_conf.h"
#include "gui/dialogs/frm_mix_down.h"
#include "gui/dialogs/frm_rename.h"
#include "gui/dialogs/frm_rip.h"
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
    if (pName == QLatin1String("FrmRip"))
        return new FrmRip(pContext, pParent);
    if (pName == QLatin1String("FrmVer"))
        return new FrmVer(pParent);
    return nullptr;
}

QStringList NamedWindows()
{
    return { QStringLiteral("FrmMixDown"), QStringLiteral("FrmConf"), QStringLiteral("FrmRename"),
        QStringLiteral("FrmRip"), QStringLiteral("FrmSetLevel"), QStringLiteral("FrmTimeInput"),
        QStringLiteral("FrmVer") };
}

} // namespace tarvok
