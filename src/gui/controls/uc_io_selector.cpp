#include "gui/controls/uc_io_selector.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tarvok {

namespace {

constexpr int kArrowWidth = 10;

QString PairText(int pSlot)
{
    return QStringLiteral("%1+%2").arg(pSlot * 2 + 1).arg(pSlot * 2 + 2);
}

} // namespace

UC_IOSelector::UC_IOSelector(QWidget* pParent)
    : QWidget(pParent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    SetAccessible(
        this, { .Role = QAccessible::ButtonMenu, .DefaultName = QTr("入出力"), .ValueText = [this] {
                   return QTr("入力 %1%2、出力 %3%4")
                       .arg(InputText(recCh_), armed_ ? QTr("（録音待機）") : QString(),
                           OutputText(playCh_), playing_ ? QTr("（再生）") : QString());
               } });
}

void UC_IOSelector::SetInput(int pRecCh, bool pArmed)
{
    recCh_ = pRecCh;
    armed_ = pArmed;
    update();
    NotifyAccessibleValue(this);
}

void UC_IOSelector::SetOutput(int pPlayCh, bool pPlaying)
{
    playCh_ = pPlayCh;
    playing_ = pPlaying;
    update();
    NotifyAccessibleValue(this);
}

void UC_IOSelector::SetInputAvailable(bool pAvailable)
{
    inputAvailable_ = pAvailable;
    update();
}

void UC_IOSelector::SetOutputAvailable(bool pAvailable)
{
    outputAvailable_ = pAvailable;
    update();
}

QString UC_IOSelector::InputText(int pRecCh)
{
    if (pRecCh >= 100 && pRecCh <= 115)
        return QString::number(pRecCh - 99);
    if (pRecCh >= 0 && pRecCh <= 7)
        return PairText(pRecCh);
    return QStringLiteral("-");
}

QString UC_IOSelector::OutputText(int pPlayCh)
{
    if (pPlayCh >= 0 && pPlayCh <= 7)
        return PairText(pPlayCh);
    return QStringLiteral("-");
}

QSize UC_IOSelector::sizeHint() const
{
    const QFontMetrics fm(font());
    const int text = std::max(fm.horizontalAdvance(tr("IN") + QStringLiteral(" 15+16")),
        fm.horizontalAdvance(tr("OUT") + QStringLiteral(" 15+16")));
    return { text + kArrowWidth + 14, fm.height() * 2 + 8 };
}

QSize UC_IOSelector::minimumSizeHint() const { return sizeHint(); }

QRect UC_IOSelector::InputRect() const { return { 0, 0, width(), height() / 2 }; }
QRect UC_IOSelector::OutputRect() const
{
    return { 0, height() / 2, width(), height() - height() / 2 };
}

void UC_IOSelector::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    auto half = [&](const QRect& pRect, const QString& pText, bool pLit, const QColor& pLitColour,
                    bool pAvailable) {
        const QRect r = pRect.adjusted(1, 1, -1, -1);
        QColor fill = pLit && pAvailable ? pLitColour : pal.color(QPalette::Button);
        p.setPen(pal.color(QPalette::Mid));
        p.setBrush(fill);
        p.drawRoundedRect(r, 3, 3);
        QColor text = pLit && pAvailable ? QColor(Qt::white) : pal.color(QPalette::ButtonText);
        if (!pAvailable)
            text = pal.color(QPalette::Disabled, QPalette::ButtonText);
        p.setPen(text);
        const QRect textRect = r.adjusted(2, 0, -kArrowWidth, 0);
        p.drawText(textRect, Qt::AlignCenter, pText);
        // The small arrow that opens the channel menu.
        const int cx = r.right() - kArrowWidth / 2 - 1;
        const int cy = r.center().y();
        QPolygon arrow;
        arrow << QPoint(cx - 3, cy - 1) << QPoint(cx + 3, cy - 1) << QPoint(cx, cy + 2);
        p.setBrush(text);
        p.setPen(Qt::NoPen);
        p.drawPolygon(arrow);
    };
    half(InputRect(), QStringLiteral("%1 %2").arg(tr("IN"), InputText(recCh_)), armed_,
        QColor(200, 40, 40), inputAvailable_);
    half(OutputRect(), QStringLiteral("%1 %2").arg(tr("OUT"), OutputText(playCh_)), playing_,
        QColor(40, 150, 70), outputAvailable_);
}

void UC_IOSelector::mouseReleaseEvent(QMouseEvent* pEvent)
{
    const QPoint at = pEvent->position().toPoint();
    const bool input = InputRect().contains(at);
    const bool onArrow = at.x() >= width() - kArrowWidth - 2;
    const QPoint global = mapToGlobal(input ? InputRect().bottomLeft() : OutputRect().bottomLeft());
    if (pEvent->button() == Qt::RightButton || (pEvent->button() == Qt::LeftButton && onArrow)) {
        if (input)
            emit InputMenuRequested(global);
        else
            emit OutputMenuRequested(global);
        return;
    }
    if (pEvent->button() != Qt::LeftButton)
        return;
    if (input && inputAvailable_)
        emit InputToggled();
    else if (!input && outputAvailable_)
        emit OutputToggled();
}

} // namespace tarvok
