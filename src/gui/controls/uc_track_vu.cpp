#include "gui/controls/uc_track_vu.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarvok {

UC_TrackVU::UC_TrackVU(QWidget* pParent)
    : QWidget(pParent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setFixedWidth(21);
    SetAccessible(this,
        { .Role = QAccessible::Indicator,
            .DefaultName = QTr("トラックのメーター"),
            .ValueText
            = [this] { return QTr("L %1 dB、R %2 dB").arg(values_[0]).arg(values_[1]); } });
}

void UC_TrackVU::SetValues(const TrackMeterPair& pValues)
{
    if (pValues == values_)
        return;
    values_ = pValues;
    update();
}

void UC_TrackVU::SetReferenceDb(double pDb)
{
    referenceDb_ = std::clamp(pDb, -static_cast<double>(kMeterFloorDb), 0.0);
    update();
}

int UC_TrackVU::BarTop(int pValue) const
{
    return 4 + TrackMeterBarTop(std::clamp(pValue, -kMeterFloorDb, 0), height());
}

void UC_TrackVU::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(28, 30, 34));
    const int bottom = height() - 4;
    const int referenceY = BarTop(static_cast<int>(std::lround(referenceDb_)));
    const int xs[2] = { 3, 11 };
    for (int c = 0; c < 2; ++c) {
        const QRect groove(xs[c], 4, 7, bottom - 4);
        p.fillRect(groove, QColor(48, 52, 58));
        if (values_[c] <= -kMeterFloorDb)
            continue;
        const int top = BarTop(values_[c]);
        QLinearGradient green(xs[c], 0, xs[c] + 7, 0);
        green.setColorAt(0, QColor(20, 130, 50));
        green.setColorAt(0.5, QColor(70, 215, 95));
        green.setColorAt(1, QColor(20, 130, 50));
        QLinearGradient amber(xs[c], 0, xs[c] + 7, 0);
        amber.setColorAt(0, QColor(170, 90, 10));
        amber.setColorAt(0.5, QColor(250, 180, 40));
        amber.setColorAt(1, QColor(170, 90, 10));
        const int greenTop = std::max(top, referenceY);
        if (greenTop < bottom)
            p.fillRect(QRect(xs[c], greenTop, 7, bottom - greenTop), green);
        if (top < referenceY)
            p.fillRect(QRect(xs[c], top, 7, std::min(referenceY, bottom) - top), amber);
    }
}

} // namespace tarvok
