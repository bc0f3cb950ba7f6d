#pragma once

#include "gui/gui_context.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace tarvok {

/// Creates the window or dialog named pName ("FrmMixDown", "FrmConf", "FrmRename",
/// "FrmSetLevel", "FrmVer", ..., and "FrmFX-<effect number>" for one effect's window) over
/// pContext, parented to pParent, without showing it; nullptr for an unknown name or a window
/// that cannot open now. Used by the menu commands and by --screenshot --window.
QWidget* CreateNamedWindow(const QString& pName, GuiContext& pContext, QWidget* pParent);

/// The names CreateNamedWindow knows.
QStringList NamedWindows();

} // namespace tarvok
