#pragma once

#include <QString>

class QWidget;

namespace tarvok {

/// Lays out and paints pWindow as it would appear on screen and writes it to pFile as PNG.
/// False when nothing could be written.
bool SaveScreenshot(QWidget& pWindow, const QString& pFile);

} // namespace tarvok
