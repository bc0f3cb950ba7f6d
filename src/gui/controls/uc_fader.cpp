#include "gui/controls/uc_fader.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include "core/envelope.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace tarvok {

namespace {

constexpr int kMargin = 10; ///< space above and below the groove for the thumbs
constexpr int kThumbHeight = 14;
constexpr int kScaleWidth = 34;
constexpr int kGrooveWidth = 6;
/// The dB marks of the scale; those the table cannot reach are left out.
constexpr double kMarksDb[] = { 10, 5, 0, -5, -10, -20, -30, -40, -60 };

} // namespace

UC_Fader::UC_Fader(QWidget* pParent)
    : QWidget(pParent)
{
    BuildFadeTable(1, table_);
    setFocusPolicy(Qt::WheelFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    SetAccessible(this,
        { .Role = QAccessible::Slider,
            .DefaultName = QTr("フェーダー"),
            .ValueText = [this] { return FaderText(); },
            .Number =
                [this] {
                    return AccessibleNumber { double(left_), 0, 255, 1 };
                },
            .SetNumber
            = [this](
                  double pValue) { SetFromUser(int(pValue), linked_ ? int(pValue) : right_); } });
}

void UC_Fader::SetFadeTable(const FadeTable& pTable, int pUnityLevel)
{
    table_ = pTable;
    unity_ = std::clamp(pUnityLevel, 0, 255);
    update();
}

void UC_Fader::SetLevels(int pLeft, int pRight)
{
    left_ = std::clamp(pLeft, 0, 255);
    right_ = std::clamp(pRight, 0, 255);
    update();
    NotifyAccessibleValue(this);
}

void UC_Fader::SetLinked(bool pLinked)
{
    linked_ = pLinked;
    update();
}

void UC_Fader::SetScaleVisible(bool pVisible)
{
    scale_ = pVisible;
    updateGeometry();
    update();
}

QString UC_Fader::LevelText(int pIndex) const
{
    return QString::fromStdString(tarvok::LevelText(table_, pIndex));
}

QString UC_Fader::FaderText() const
{
    return LevelText(left_) + QStringLiteral(" : ") + LevelText(right_);
}

int UC_Fader::GrooveTop() const { return kMargin; }
int UC_Fader::GrooveBottom() const { return std::max(GrooveTop() + 1, height() - kMargin); }

int UC_Fader::IndexAtY(int pY) const
{
    const double span = GrooveBottom() - GrooveTop();
    const double fraction = (GrooveBottom() - pY) / span;
    return std::clamp(static_cast<int>(std::lround(fraction * 255.0)), 0, 255);
}

int UC_Fader::YOfIndex(int pIndex) const
{
    const double span = GrooveBottom() - GrooveTop();
    return GrooveBottom()
        - static_cast<int>(std::lround(span * std::clamp(pIndex, 0, 255) / 255.0));
}

int UC_Fader::ScaleWidth() const { return static_cast<int>(kScaleWidth * sizeRate_); }

void UC_Fader::SetSizeRate(double pRate)
{
    sizeRate_ = pRate;
    updateGeometry();
    update();
}

QSize UC_Fader::sizeHint() const
{
    return { (scale_ ? ScaleWidth() : 0) + static_cast<int>(40 * sizeRate_), 200 };
}
QSize UC_Fader::minimumSizeHint() const
{
    return { (scale_ ? ScaleWidth() : 0) + static_cast<int>(28 * sizeRate_), 80 };
}

void UC_Fader::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const int trackX = scale_ ? ScaleWidth() : 0;
    const int trackW = width() - trackX;
    const int centre = trackX + trackW / 2;

    // Scale: a tick and its dB text where each mark's index lies; a mark too close to one
    // already drawn is left out, so texts never overlap on a short fader.
    if (scale_) {
        QFont small = font();
        small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.75));
        p.setFont(small);
        p.setPen(pal.color(QPalette::WindowText));
        const int textHeight = QFontMetrics(small).height();
        std::vector<int> drawn;
        auto mark = [&](int pY, const QString& pText) {
            for (int y : drawn)
                if (std::abs(y - pY) < textHeight)
                    return;
            drawn.push_back(pY);
            p.drawLine(ScaleWidth() - 6, pY, ScaleWidth() - 2, pY);
            p.drawText(QRect(0, pY - textHeight / 2, ScaleWidth() - 8, textHeight),
                Qt::AlignRight | Qt::AlignVCenter, pText);
        };
        mark(YOfIndex(0), QStringLiteral("-∞"));
        for (double db : kMarksDb) {
            if (LevelIndexToDb(table_, 255) < db - 0.01)
                continue;
            const int index = LevelIndexFromDb(table_, db);
            if (index > 0)
                mark(YOfIndex(index), db > 0 ? QStringLiteral("+%1").arg(db) : QString::number(db));
        }
    }

    // Groove, with the unity level marked.
    QRect groove(
        centre - kGrooveWidth / 2, GrooveTop(), kGrooveWidth, GrooveBottom() - GrooveTop());
    p.setPen(pal.color(QPalette::Mid));
    p.setBrush(pal.color(QPalette::Dark));
    p.drawRoundedRect(groove, 2, 2);
    p.setPen(QPen(pal.color(QPalette::Highlight), 1));
    const int unityY = YOfIndex(unity_);
    p.drawLine(trackX + 2, unityY, width() - 2, unityY);

    // Thumbs: one wide thumb while linked (or equal), else a left and a right half.
    auto thumb = [&](int pIndex, int pX, int pW, const QString& pMark) {
        const QRect r(pX, YOfIndex(pIndex) - kThumbHeight / 2, pW, kThumbHeight);
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, pal.color(QPalette::Light));
        g.setColorAt(1, pal.color(QPalette::Button));
        p.setPen(pal.color(QPalette::Shadow));
        p.setBrush(g);
        p.drawRoundedRect(r, 3, 3);
        p.setPen(pal.color(QPalette::ButtonText));
        p.drawLine(r.left() + 3, r.center().y(), r.right() - 3, r.center().y());
        if (!pMark.isEmpty()) {
            QFont tiny = font();
            tiny.setPointSizeF(std::max(5.0, tiny.pointSizeF() * 0.6));
            p.setFont(tiny);
            p.drawText(r.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, pMark);
        }
    };
    const int thumbW = std::min(trackW - 4, 30);
    if (linked_ || left_ == right_) {
        thumb(left_, centre - thumbW / 2, thumbW, QString());
    } else {
        thumb(left_, centre - thumbW / 2, thumbW / 2, QStringLiteral("L"));
        thumb(right_, centre, thumbW / 2, QStringLiteral("R"));
    }
    if (!linked_) {
        // An open link: a small gap mark at the bottom.
        p.setPen(pal.color(QPalette::Mid));
        p.drawText(QRect(trackX, height() - kMargin, trackW, kMargin), Qt::AlignCenter,
            QStringLiteral("∥"));
    }
    if (hasFocus()) {
        p.setPen(QPen(pal.color(QPalette::Highlight), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void UC_Fader::SetFromUser(int pLeft, int pRight)
{
    pLeft = std::clamp(pLeft, 0, 255);
    pRight = std::clamp(pRight, 0, 255);
    if (linked_)
        pRight = pLeft;
    if (pLeft == left_ && pRight == right_)
        return;
    left_ = pLeft;
    right_ = pRight;
    update();
    NotifyAccessibleValue(this);
    emit LevelsChanged(left_, right_);
}

void UC_Fader::MoveBy(int pStep, bool pLeft, bool pRight)
{
    SetFromUser(left_ + (pLeft || linked_ ? pStep : 0), right_ + (pRight ? pStep : 0));
}

void UC_Fader::mousePressEvent(QMouseEvent* pEvent)
{
    mods_ = pEvent->modifiers();
    if (pEvent->button() != Qt::LeftButton)
        return;
    const int trackX = scale_ ? ScaleWidth() : 0;
    const int centre = trackX + (width() - trackX) / 2;
    // With the link open, the half of the fader under the pointer picks the channel.
    dragLeft_ = linked_ || pEvent->position().x() < centre;
    dragRight_ = linked_ || pEvent->position().x() >= centre;
    dragging_ = true;
    dragStartY_ = static_cast<int>(pEvent->position().y());
    dragStartL_ = left_;
    dragStartR_ = right_;
    const int at = IndexAtY(dragStartY_);
    const int grabbed = dragLeft_ ? left_ : right_;
    // A press away from the thumb jumps there; a press on the thumb only grabs it.
    if (std::abs(YOfIndex(grabbed) - dragStartY_) > kThumbHeight / 2) {
        const int delta = at - grabbed;
        SetFromUser(left_ + (dragLeft_ ? delta : 0), right_ + (dragRight_ ? delta : 0));
        dragStartL_ = left_;
        dragStartR_ = right_;
    }
}

void UC_Fader::mouseMoveEvent(QMouseEvent* pEvent)
{
    mods_ = pEvent->modifiers();
    if (!dragging_) {
        emit Hovered();
        return;
    }
    const double span = GrooveBottom() - GrooveTop();
    const int delta
        = static_cast<int>(std::lround((dragStartY_ - pEvent->position().y()) / span * 255.0));
    SetFromUser(dragStartL_ + (dragLeft_ ? delta : 0), dragStartR_ + (dragRight_ ? delta : 0));
}

void UC_Fader::mouseReleaseEvent(QMouseEvent* pEvent)
{
    mods_ = pEvent->modifiers();
    if (pEvent->button() == Qt::RightButton) {
        linked_ = !linked_;
        update();
        emit LinkChanged(linked_);
        return;
    }
    if (pEvent->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        emit Released(left_, right_);
    }
}

void UC_Fader::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton)
        return;
    mods_ = pEvent->modifiers();
    resetting_ = true;
    const bool wasLinked = linked_;
    linked_ = false;
    SetFromUser(unity_, unity_);
    linked_ = wasLinked;
    emit Released(left_, right_);
    resetting_ = false;
}

void UC_Fader::wheelEvent(QWheelEvent* pEvent)
{
    mods_ = pEvent->modifiers();
    const int steps = pEvent->angleDelta().y() / 120;
    if (steps != 0)
        MoveBy(steps, true, true);
    pEvent->accept();
}

void UC_Fader::keyPressEvent(QKeyEvent* pEvent)
{
    mods_ = pEvent->modifiers();
    switch (pEvent->key()) {
    case Qt::Key_Up:
        MoveBy(1, true, true);
        break;
    case Qt::Key_Down:
        MoveBy(-1, true, true);
        break;
    case Qt::Key_PageUp:
        MoveBy(10, true, true);
        break;
    case Qt::Key_PageDown:
        MoveBy(-10, true, true);
        break;
    default:
        QWidget::keyPressEvent(pEvent);
    }
}

} // namespace tarvok
