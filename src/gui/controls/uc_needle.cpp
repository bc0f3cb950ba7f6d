#include "gui/controls/uc_needle.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tarvok {

namespace {

/// +3 VU, the right end of the scale, as a linear value.
const double kFullScale = std::pow(10.0, 3.0 / 20.0);
constexpr double kPi = 3.14159265358979323846;
/// Half the sweep, from the vertical, in radians.
constexpr double kHalfSweep = 48.0 * kPi / 180.0;

} // namespace

UC_Needle::UC_Needle(QWidget* pParent)
    : QWidget(pParent)
{
    setObjectName(QStringLiteral("PictureMMP"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetAccessible(this,
        { .Role = QAccessible::Indicator, .DefaultName = QTr("VU メーター"), .ValueText = [this] {
             return value_ > 0 ? tr("%1 VU").arg(20.0 * std::log10(value_), 0, 'f', 1)
                               : tr("-∞ VU");
         } });
}

double UC_Needle::SweepOf(double pValue)
{
    if (!std::isfinite(pValue))
        return 0;
    return std::clamp(pValue / kFullScale, 0.0, 1.0);
}

void UC_Needle::Draw(double pValue)
{
    if (pValue == value_)
        return;
    value_ = pValue;
    update();
}

void UC_Needle::SetCaption(const QString& pCaption)
{
    caption_ = pCaption;
    update();
}

void UC_Needle::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.fillRect(rect(), QColor(28, 30, 34));
    p.setPen(QColor(70, 74, 82));
    p.drawRoundedRect(r, 3, 3);
    // The pivot sits below the face so that the scale is a flat arc.
    const QPointF pivot(r.center().x(), r.bottom() + r.height() * 0.35);
    const double radius = r.height() * 1.05;
    auto at = [&](double pSweep, double pRadius) {
        const double a = -kHalfSweep + 2 * kHalfSweep * pSweep;
        return QPointF(pivot.x() + pRadius * std::sin(a), pivot.y() - pRadius * std::cos(a));
    };
    // Scale arc: light up to 0 VU, red above it.
    const double zero = SweepOf(1.0);
    const int steps = 40;
    for (int part = 0; part < 2; ++part) {
        QPainterPath arc;
        const double from = part == 0 ? 0.0 : zero;
        const double to = part == 0 ? zero : 1.0;
        for (int i = 0; i <= steps; ++i) {
            const QPointF q = at(from + (to - from) * i / steps, radius * 0.78);
            if (i == 0)
                arc.moveTo(q);
            else
                arc.lineTo(q);
        }
        p.setPen(
            QPen(part == 0 ? QColor(200, 204, 210) : QColor(230, 70, 60), part == 0 ? 1.2 : 2.4));
        p.drawPath(arc);
    }
    QFont small = font();
    small.setPointSizeF(std::max(5.5, small.pointSizeF() * 0.7));
    p.setFont(small);
    for (int db : { -20, -10, -7, -5, -3, -2, -1, 0, 1, 2, 3 }) {
        const double s = SweepOf(std::pow(10.0, db / 20.0));
        p.setPen(QPen(db > 0 ? QColor(230, 70, 60) : QColor(200, 204, 210), 1.0));
        p.drawLine(at(s, radius * 0.78), at(s, radius * 0.84));
        if (db == -20 || db == -10 || db == -5 || db == 0 || db == 3) {
            const QPointF t = at(s, radius * 0.93);
            const QString text = db > 0 ? QStringLiteral("+%1").arg(db) : QString::number(db);
            // The end labels sit close to the face's edges: each is moved inside the face
            // whole rather than cut.
            const QFontMetricsF metrics(small);
            const double w = metrics.horizontalAdvance(text) + 2;
            const double h = metrics.height();
            const double left = std::clamp(t.x() - w / 2, r.left() + 1.0, r.right() - w);
            const double top = std::clamp(t.y() - h / 2, r.top() + 1.0, r.bottom() - h);
            p.drawText(QRectF(left, top, w, h), Qt::AlignCenter, text);
        }
    }
    p.setPen(QColor(150, 156, 166));
    p.drawText(QRectF(r.left() + 4, r.bottom() - 14, r.width() - 8, 12),
        Qt::AlignLeft | Qt::AlignVCenter, caption_);
    p.drawText(QRectF(r.left() + 4, r.bottom() - 14, r.width() - 8, 12),
        Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("VU"));
    // The needle, clipped to the face.
    p.setClipRect(r);
    p.setPen(QPen(QColor(255, 150, 60), 1.6));
    p.drawLine(pivot, at(SweepOf(value_), radius * 0.88));
}

} // namespace tarvok
