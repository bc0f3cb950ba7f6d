#include "gui/dialogs/window_placement.h"

#include "core/settings.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace tarvok {

namespace {

std::string Key(const QString& pPrefix, const char* pName)
{
    return (pPrefix + pName).toStdString();
}

int ReadPixels(const Settings& pSettings, const std::string& pKey, int pDefault)
{
    const float twips = pSettings.GetSetting(pKey, static_cast<float>(pDefault * kTwipsPerPixel));
    if (!std::isfinite(twips) || std::fabs(twips) > 1e7f)
        return pDefault;
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

} // namespace

void RestoreWindowPlacement(
    QWidget& pWindow, const Settings& pSettings, const QString& pPrefix, bool pKeepSize)
{
    if (pWindow.isMinimized() || pWindow.isMaximized())
        return;
    // Positions are those of the frame (what move() places), sizes those of the client area
    // (what resize() sets), both ways, so that a window opens where it was closed.
    QRect now(pWindow.pos(), pWindow.size());
    const bool stored = !pSettings.GetSetting(Key(pPrefix, "WindowLeft"), "").empty()
        && !pSettings.GetSetting(Key(pPrefix, "WindowTop"), "").empty();
    if (!stored) {
        // Until a place is stored the window opens centred over its owner.
        if (const QWidget* owner = pWindow.parentWidget())
            now.moveCenter(owner->window()->frameGeometry().center());
    }
    QRect place(ReadPixels(pSettings, Key(pPrefix, "WindowLeft"), now.x()),
        ReadPixels(pSettings, Key(pPrefix, "WindowTop"), now.y()), now.width(), now.height());
    if (!pKeepSize) {
        place.setWidth(
            std::max(100, ReadPixels(pSettings, Key(pPrefix, "WindowWidth"), now.width())));
        place.setHeight(
            std::max(60, ReadPixels(pSettings, Key(pPrefix, "WindowHeight"), now.height())));
    }
    bool visible = false;
    for (const QScreen* screen : QGuiApplication::screens())
        visible = visible || screen->availableGeometry().intersects(place);
    if (!visible)
        return;
    pWindow.move(place.topLeft());
    if (!pKeepSize)
        pWindow.resize(place.size());
}

void SaveWindowPlacement(const QWidget& pWindow, Settings& pSettings, const QString& pPrefix)
{
    if (pWindow.isMinimized() || pWindow.isMaximized())
        return;
    const QRect g(pWindow.pos(), pWindow.size());
    auto save = [&](const char* pName, int pPixels) {
        pSettings.SaveSetting(Key(pPrefix, pName), static_cast<float>(pPixels * kTwipsPerPixel));
    };
    save("WindowLeft", g.x());
    save("WindowTop", g.y());
    save("WindowWidth", g.width());
    save("WindowHeight", g.height());
}

} // namespace tarvok
