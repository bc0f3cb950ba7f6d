#pragma once

#include <QString>

class QWidget;

namespace tarvok {

class MainLogic;

/// Lays out and paints pWindow as it would appear on screen and writes it to pFile as PNG.
/// False when nothing could be written.
bool SaveScreenshot(QWidget& pWindow, const QString& pFile);

/// For a picture of the sample editor over a project without blocks: hands the editor one
/// second of silence as its edit file, so that the window can be shown. Does nothing when
/// the project has blocks (the editor then opens on its selection). False when the file
/// cannot be written.
bool PrepareSampleEditShot(MainLogic& pLogic);

} // namespace tarvok
