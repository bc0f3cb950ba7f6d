#include "gui/controls/uc_vvu.h"

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
}

void UC_VVU::SetRange(int pMin, int pMax)
{
    if (pMax <= pMin)
        return;
    min_ = pMin;
    max_ = pMax;
    ClearVU();
}

void UC_VVU::SetRedPoint(int pValue)
{
    redPoint_ = pValue;
    update();
}

void UC_VVU::SetPeakDecRate(int pRate) { decRate_ = std::max(1, pRate); }
void UC_VVU::SetPeakIndp(bool pOn) { peakIndp_ = pOn; }

void UC_VVU::DrawVU(int pA, int pB)
{
    const double a = std::clamp(pA, min_, max_);
    const double b = std::clamp(pB, min_, max_);
    const double fall = static_cast<double>(max_ - min_) / decRate_;
    bar_ = std::max<double>(bar_ - fall, min_);
    if (a > bar_)
        bar_ = a;
    if (peakIndp_) {
        peak_ = std::max<double>(peak_ - fall, min_);
        if (b > peak_)
            peak_ = b;
    } else {
        peak_ = std::max<double>(peak_ - fall * 10, min_);
        if (a > peak_)
            peak_ = a;
    }
    update();
}

void UC_VVU::SetValues(int pA, int pB)
{
    bar_ = std::clamp(pA, min_, max_);
    peak_ = std::clamp(pB, min_, max_);
    update();
}

void UC_VVU::ClearVU()
{
    bar_ = min_;
    peak_ = min_;
    update();
}

int UC_VVU::YOfValue(double pValue) const
{
    const double h = height();
    return static_cast<int>(std::floor(h - h / (max_ - min_) * (pValue - min_)));
}

void UC_VVU::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, QColor(24, 24, 24));
    const int barTop = YOfValue(bar_);
    const int redY = YOfValue(std::clamp(redPoint_, min_, max_));
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
    if (peak_ > min_) {
        const int y = YOfValue(peak_);
        p.fillRect(QRect(0, std::max(0, y - 3), r.width(), 6).intersected(r),
            peak_ > redPoint_ ? QColor(255, 120, 100) : QColor(200, 240, 200));
    }
}

} // namespace tarvok
