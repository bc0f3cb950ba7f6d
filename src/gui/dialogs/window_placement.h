#pragma once

#include <QString>

class QWidget;

namespace tarvok {

class Settings;

/// Twips per device-independent pixel: window positions are stored in twips.
inline constexpr double kTwipsPerPixel = 15.0;

/// Moves (and, unless pKeepSize, resizes) pWindow to the position stored under pPrefix
/// ("Mix" reads "MixWindowLeft", "MixWindowTop", "MixWindowWidth", "MixWindowHeight"), the
/// window's current values being the defaults; without a stored place the window is centred
/// over its owner. A stored place off every screen is ignored. The position is the frame's
/// and the size the client area's, as SaveWindowPlacement stores them.
void RestoreWindowPlacement(
    QWidget& pWindow, const Settings& pSettings, const QString& pPrefix, bool pKeepSize);

/// Stores the window's position and size under pPrefix; a minimised or maximised window
/// keeps its last normal place.
void SaveWindowPlacement(const QWidget& pWindow, Settings& pSettings, const QString& pPrefix);

} // namespace tarvok
