#include "gui/screenshot.h"

#include <QApplication>
#include <QPixmap>
#include <QWidget>

namespace tarvok {

bool SaveScreenshot(QWidget& pWindow, const QString& pFile)
{
    if (!pWindow.isVisible())
        pWindow.show();
    // Let the layouts settle and the deferred redraws arrive.
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    const QPixmap pixmap = pWindow.grab();
    return !pixmap.isNull() && pixmap.save(pFile, "PNG");
}

} // namespace tarvok
