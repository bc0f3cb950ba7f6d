#include "gui/controls/uc_vu.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include "engine/level_meters.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tarvok {

namespace {

QColor Background() { return QColor(28, 30, 34); }
QColor Unlit() { return QColor(48, 52, 58); }
QColor LabelColour() { return QColor(200, 204, 210); }

/// A ramp across the bar's rows: the level colour from dark (top) to bright (middle) and
/// back, so that a bar reads as a lit tube.
QLinearGradient Ramp(int pTop, int pHeight, int pLow, int pHigh, bool pRed)
{
    QLinearGradient g(0, pTop, 0, pTop + pHeight);
    auto colour = [pRed](int pLevel) {
        return pRed ? QColor(pLevel, pLevel / 5, pLevel / 7)
                    : QColor(pLevel / 4, pLevel, pLevel / 3);
    };
    g.setColorAt(0, colour(pLow));
    g.setColorAt(0.45, colour(pHigh));
    g.setColorAt(1, colour(pLow));
    return g;
}

} // namespace

UC_VU::UC_VU(MultiBarMeter& pModel, QWidget* pParent)
    : QWidget(pParent)
    , model_(pModel)
{
    setObjectName(QStringLiteral("PictureVU"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    SetAccessible(this,
        { .Role = QAccessible::Indicator,
            .DefaultName = QTr("入力レベルメーター"),
            .ValueText = [this] {
                QStringList bars;
                for (int32_t b = 0; b <= model_.NumValue; ++b)
                    bars.push_back(QString::fromStdString(model_.Label(b) + " " + model_.Text(b)));
                return bars.join(QTr("、"));
            } });
}

void UC_VU::SetDbMode(bool pDb)
{
    db_ = pDb;
    update();
}

void UC_VU::ModelChanged()
{
    model_.Width = width();
    model_.SetParms();
    updateGeometry();
    update();
}

int UC_VU::ScaleTop() const
{
    return model_.TopMargin + (model_.NumValue + 1) * (model_.BarHeight() + model_.BarMargin);
}

QSize UC_VU::sizeHint() const { return { 420, ScaleTop() + 6 + fontMetrics().height() + 4 }; }

QSize UC_VU::minimumSizeHint() const
{
    return { model_.LeftMargin + model_.RightMargin + 120, sizeHint().height() };
}

void UC_VU::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    if (model_.Width != width()) {
        model_.Width = width();
        model_.SetParms();
    }
}

void UC_VU::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::RightButton && rect().contains(pEvent->position().toPoint()))
        emit Clicked();
}

void UC_VU::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Background());
    QFont small = font();
    small.setPointSizeF(std::max(6.5, small.pointSizeF() * 0.85));
    p.setFont(small);
    const QFontMetrics fm(small);
    const int h = model_.BarHeight();
    const int left = model_.LeftMargin;
    const int right = model_.LeftMargin + model_.W();
    const int red = std::clamp(model_.X(model_.RedPoint), left, right);
    for (int32_t i = 0; i <= model_.NumValue; ++i) {
        const int top = model_.BarTop(i);
        // Label in the left margin, level text in the right margin.
        p.setPen(LabelColour());
        p.drawText(QRect(0, top - 3, left - 4, h + 6), Qt::AlignRight | Qt::AlignVCenter,
            QString::fromStdString(model_.Label(i)));
        p.drawText(QRect(right + 2, top - 3, width() - right - 4, h + 6),
            Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(model_.Text(i)));
        p.fillRect(QRect(left, top, right - left, h), Unlit());
        const int bar
            = std::clamp(static_cast<int>(std::floor(model_.BarPosition(i))), left, right);
        if (bar > left) {
            p.fillRect(
                QRect(left, top, std::min(bar, red) - left, h), Ramp(top, h, 90, 210, false));
            if (bar > red)
                p.fillRect(QRect(red, top, bar - red, h), Ramp(top, h, 90, 210, true));
        }
        const int peak
            = std::clamp(static_cast<int>(std::floor(model_.PeakPosition(i))), left, right);
        if (peak > left)
            p.fillRect(QRect(std::max(left, peak - 3), top, std::min(3, peak - left), h),
                QColor(190, 190, 196));
    }
    // The scale: a line per mark and its text centred under it (the end marks kept inside).
    const int scaleTop = ScaleTop() + 1;
    p.setPen(QColor(120, 126, 134));
    p.drawLine(left, scaleTop, right, scaleTop);
    const int widthTwips = width() * 15;
    for (const ScaleMark& m : model_.Scale(db_ ? 1 : 0, widthTwips)) {
        const int x = static_cast<int>(std::lround(m.X));
        p.setPen(QColor(120, 126, 134));
        p.drawLine(x, scaleTop, x, scaleTop + 4);
        const QString text = QString::fromStdString(m.Text);
        const int w = fm.horizontalAdvance(text);
        const int tx = std::clamp(x - w / 2, 0, std::max(0, width() - w));
        p.setPen(LabelColour());
        p.drawText(tx, scaleTop + 5 + fm.ascent(), text);
    }
}

} // namespace tarvok
