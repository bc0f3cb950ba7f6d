#include "gui/controls/uc_vvu.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarvok {

UC_VVU::UC_VVU(QWidget* pParent)
    : QWidget(pParent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetAccessible(this,
        { .Role = QAccessible::Indicator,
            .DefaultName = QTr("レベルメーター"),
            .ValueText = [this] { return QString::number(qRound(model_.Bar())); },
            .Number =
                [this] {
                    return AccessibleNumber { model_.Bar(), double(model_.Min), double(model_.Max),
                        1 };
                } });
}

void UC_VVU::SetRange(int pMin, int pMax)
{
    if (pMax <= pMin)
        return;
    model_.Min = pMin;
    model_.Max = pMax;
    ClearVU();
}

void UC_VVU::SetRedPoint(int pValue)
{
    model_.RedPoint = pValue;
    update();
}

void UC_VVU::SetPeakDecRate(int pRate) { model_.PeakDecRate = std::max(1, pRate); }
void UC_VVU::SetPeakIndp(bool pOn) { model_.PeakIndp = pOn; }

void UC_VVU::DrawVU(int pA, int pB)
{
    model_.Draw(pA, pB);
    update();
}

void UC_VVU::SetValues(int pA, int pB)
{
    model_.Set(pA, pB);
    update();
}

void UC_VVU::ClearVU()
{
    model_.Clear();
    update();
}

int UC_VVU::YOfValue(double pValue) const
{
    return static_cast<int>(std::floor(model_.PixelFromTop(pValue, height())));
}

void UC_VVU::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, QColor(24, 24, 24));
    const int barTop = YOfValue(model_.Bar());
    const int redY = YOfValue(std::clamp(model_.RedPoint, model_.Min, model_.Max));
    QLinearGradient green(r.topLeft(), r.topRight());
    green.setColorAt(0, QColor(5, 140, 40));
    green.setColorAt(1, QColor(65, 210, 90));
    QLinearGradient red(r.topLeft(), r.topRight());
    red.setColorAt(0, QColor(150, 20, 5));
    red.setColorAt(1, QColor(230, 70, 50));
    if (barTop < r.height()) {
        const int greenTop = std::max(barTop, redY);
        p.fillRect(QRect(0, greenTop, r.width(), r.height() - greenTop), green);
        if (barTop < redY)
            p.fillRect(QRect(0, barTop, r.width(), redY - barTop), red);
    }
    if (model_.Peak() > model_.Min) {
        const int y = YOfValue(model_.Peak());
        p.fillRect(QRect(0, std::max(0, y - 3), r.width(), 6).intersected(r),
            model_.Peak() > model_.RedPoint ? QColor(255, 120, 100) : QColor(200, 240, 200));
    }
}

} // namespace tarvok
