#pragma once

#include <QColor>

#include <cstdint>

namespace tarvok {

/// The colours of the track area and the strips around it.
struct ViewColours {
    /// A colour stored in the settings as blue x 65536 + green x 256 + red.
    static QColor FromSetting(int32_t pValue)
    {
        return QColor(pValue & 0xff, (pValue >> 8) & 0xff, (pValue >> 16) & 0xff);
    }
    static QColor Surface() { return QColor(96, 96, 100); }
    /// Lane background: the classic button shadow.
    static QColor Lane() { return QColor(160, 160, 160); }
    static QColor ButtonFace() { return QColor(236, 236, 236); }
    static QColor MarkIn() { return QColor(40, 200, 80); }
    static QColor MarkOut() { return QColor(240, 90, 70); }
    static QColor Head() { return QColor(255, 40, 40); }
};

} // namespace tarvok
