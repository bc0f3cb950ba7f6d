#include "gui/screenshot.h"

#include "app/shell/main_logic.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/wave_info.h"

#include <vector>

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

bool PrepareSampleEditShot(MainLogic& pLogic)
{
    Project& p = pLogic.Proj();
    if (p.BlockCount() > 0 || !pLogic.SampleEditFile.empty())
        return true;
    const int32_t rate = p.SampleRate > 0 ? p.SampleRate : 44100;
    const std::string file = pLogic.Folder().NewTempName(kTempWave);
    const std::vector<char> silence(static_cast<size_t>(rate) * 4, 0);
    const int64_t bytes = static_cast<int64_t>(silence.size());
    std::optional<FileHandle> out
        = file.empty() ? std::nullopt : WriteWaveHeader(rate, 16, 2, file, bytes, true);
    if (!out || !WriteAt(*out, silence.data(), bytes, 44) || !out->Close()) {
        DeleteFileForce(file);
        return false;
    }
    pLogic.SampleEditFile = file;
    pLogic.SampleEditFrames = rate;
    return true;
}

} // namespace tarvok
