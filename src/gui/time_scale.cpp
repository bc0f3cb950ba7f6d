#include "gui/time_scale.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include "app/shell/main_logic.h"
#include "app/windows/main_view.h"
#include "gui/frm_main.h"
#include "gui/view_colours.h"

#include <QMouseEvent>
#include <QPainter>

namespace tarvok {

TimeScale::TimeScale(FrmMain& pOwner, MainLogic& pLogic, MainView& pView, QWidget* pParent)
    : QWidget(pParent)
    , owner_(pOwner)
    , logic_(pLogic)
    , view_(pView)
{
    setObjectName(QStringLiteral("PictureScale"));
    SetAccessible(this, { .Role = QAccessible::Canvas, .DefaultName = QTr("時間目盛り") });
    setFixedHeight(kScaleHeight + kHeadHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TimeScale::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(0, 0, width(), kScaleHeight, palette().color(QPalette::Base));
    p.fillRect(0, kScaleHeight, width(), kHeadHeight, palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, kScaleHeight - 1, width(), kScaleHeight - 1);
    if (!owner_.Loaded())
        return;
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    p.setFont(small);
    p.setPen(palette().color(QPalette::Text));
    for (const ScaleTick& tick : view_.ScaleTicks()) {
        if (tick.X > width())
            break;
        p.drawText(tick.X, 0, 200, kScaleHeight - 2, Qt::AlignLeft | Qt::AlignVCenter,
            QString::fromStdString(tick.Label));
    }
    // The head marker: a triangle pointing down at the head's column.
    const int x = view_.XOfFrame(logic_.Proj().Head);
    if (x >= -9 && x <= width() + 9) {
        const QPoint marker[3] = { { x - 6, kScaleHeight + 1 }, { x + 6, kScaleHeight + 1 },
            { x, kScaleHeight + kHeadHeight - 2 } };
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(ViewColours::Head().darker(130));
        p.setBrush(ViewColours::Head());
        p.drawPolygon(marker, 3);
    }
}

void TimeScale::mousePressEvent(QMouseEvent* pEvent)
{
    const QPointF pos = pEvent->position();
    inHead_ = pos.y() >= kScaleHeight;
    pressed_ = pEvent->button() == Qt::LeftButton;
    if (!pressed_)
        return;
    if (inHead_)
        owner_.HeadDown(static_cast<int>(pos.x()));
    else
        owner_.ScaleScrubDown(static_cast<int>(pos.x()));
}

void TimeScale::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (!pressed_)
        return;
    const int x = static_cast<int>(pEvent->position().x());
    if (inHead_)
        owner_.HeadMove(x);
    else
        owner_.ScaleScrubMove(x);
}

void TimeScale::mouseReleaseEvent(QMouseEvent* pEvent)
{
    const int x = static_cast<int>(pEvent->position().x());
    if (pEvent->button() == Qt::RightButton) {
        owner_.HeadRightUp(pEvent->globalPosition().toPoint());
        return;
    }
    if (!pressed_)
        return;
    pressed_ = false;
    if (inHead_)
        owner_.HeadUp(x);
    else
        owner_.ScaleScrubUp();
}

void TimeScale::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    if (pEvent->position().y() >= kScaleHeight)
        owner_.HeadDoubleClick();
}

} // namespace tarvok
