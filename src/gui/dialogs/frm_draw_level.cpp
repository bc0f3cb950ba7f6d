#include "gui/dialogs/frm_draw_level.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include "app/shell/main_logic.h"
#include "core/project.h"
#include "gui/dialogs/window_placement.h"
#include "gui/gui_context.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace tarvok {

namespace {

constexpr int kWatchMs = 50;

bool ShiftHeld(const QMouseEvent* pEvent) { return (pEvent->modifiers() & Qt::ShiftModifier) != 0; }

} // namespace

PictureFade::PictureFade(
    FrmDrawLevel& pOwner, DrawLevelModel& pModel, GuiContext& pContext, QWidget* pParent)
    : QWidget(pParent)
    , owner_(pOwner)
    , model_(pModel)
    , ctx_(pContext)
{
    setObjectName(QStringLiteral("PictureFade"));
    SetAccessible(this, { .Role = QAccessible::Canvas, .DefaultName = QTr("レベルの描画") });
    setMinimumSize(200, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureFade::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    model_.Resize(width(), height());
}

void PictureFade::PaintBlocks(QPainter& pPainter)
{
    const Project& p = ctx_.Logic.Proj();
    const int32_t track = p.CurrentTrack;
    const double span = static_cast<double>(p.MarkOut) - p.MarkIn;
    if (span <= 0)
        return;
    const int w = width();
    const int h = height();
    const int32_t step = std::max(1, p.SampleStep);
    pPainter.setPen(QColor(0, 160, 0));
    for (int x = 0; x < w; ++x) {
        const double frame = p.MarkIn + span * x / w;
        // The last block in record order is the one heard there.
        for (int32_t bi = p.BlockCount() - 1; bi >= 0; --bi) {
            const Block& b = p.Blocks[static_cast<size_t>(bi)];
            if (b.TrackNo != track || frame < b.StartAdr || frame > b.EndAdr)
                continue;
            const PeakArray& peaks = p.Peaks[static_cast<size_t>(b.WaveNo)];
            const auto index = static_cast<size_t>(
                b.PeakStart + static_cast<int64_t>(frame - b.StartAdr) / step);
            int value = 0;
            if (2 * index + 1 < peaks.size())
                value = std::max(peaks[2 * index], peaks[2 * index + 1]);
            const int half = value * (h / 2) / 255;
            pPainter.drawLine(x, h / 2 - half, x, h / 2 + half);
            break;
        }
    }
}

void PictureFade::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!model_.IsOpen())
        return;
    PaintBlocks(painter);
    painter.setRenderHint(QPainter::Antialiasing);
    // The envelope in white.
    QPainterPath curve;
    for (int x = 0; x <= width(); ++x) {
        const QPointF point(x, model_.CurveY(x));
        if (x == 0)
            curve.moveTo(point);
        else
            curve.lineTo(point);
    }
    painter.setPen(QPen(Qt::white, 1));
    painter.drawPath(curve);
    // The handles.
    painter.setPen(QPen(QColor(255, 220, 0), 1.5));
    for (size_t i = 0; i < model_.Handles().size(); ++i) {
        const DrawHandle& handle = model_.Handles()[i];
        painter.setBrush(static_cast<int32_t>(i) == model_.Dragging() ? QColor(255, 220, 0, 120)
                                                                      : QColor(0, 0, 0, 0));
        painter.drawEllipse(QPointF(handle.X, handle.Y), kHandleRadius, kHandleRadius);
    }
    // The head while it plays inside the selection.
    if (ctx_.Logic.Playing) {
        if (std::optional<int32_t> x = model_.HeadX()) {
            painter.setPen(QPen(Qt::red, 1));
            painter.drawLine(*x, 0, *x, height());
        }
    }
}

void PictureFade::mousePressEvent(QMouseEvent* pEvent)
{
    const QPoint pos = pEvent->position().toPoint();
    const bool right = pEvent->button() == Qt::RightButton;
    if (pEvent->button() != Qt::LeftButton && !right)
        return;
    if (model_.Press(pos.x(), pos.y(), right, ShiftHeld(pEvent)))
        update();
}

void PictureFade::mouseMoveEvent(QMouseEvent* pEvent)
{
    if ((pEvent->buttons() & Qt::LeftButton) == 0 || model_.Dragging() < 0)
        return;
    model_.Move(static_cast<int32_t>(pEvent->position().y()), ShiftHeld(pEvent));
    update();
}

void PictureFade::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton || model_.Dragging() < 0)
        return;
    model_.Release(ShiftHeld(pEvent));
    owner_.RedrawMain();
    update();
}

FrmDrawLevel::FrmDrawLevel(GuiContext& pContext, QWidget* pParent)
    : QDialog(pParent)
    , ctx_(pContext)
    , model_(pContext.Logic)
{
    setObjectName(QStringLiteral("FrmDrawLevel"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString(model_.Caption()));
    auto* layout = new QHBoxLayout(this);
    auto* column = new QVBoxLayout;
    picture_ = new PictureFade(*this, model_, ctx_, this);
    column->addWidget(picture_, 1);
    auto* row = new QHBoxLayout;
    fadeIn_ = new QLineEdit(this);
    fadeIn_->setObjectName(QStringLiteral("TextFadeIn"));
    fadeIn_->setAccessibleName(QTr("フェードイン(ms)"));
    fadeOut_ = new QLineEdit(this);
    fadeOut_->setObjectName(QStringLiteral("TextFadeOut"));
    fadeOut_->setAccessibleName(QTr("フェードアウト(ms)"));
    for (QLineEdit* box : { fadeIn_, fadeOut_ }) {
        box->setMaximumWidth(80);
        box->setAlignment(Qt::AlignRight);
    }
    auto* inLabel = new QLabel(QTr("フェードイン(ms)"), this);
    auto* outLabel = new QLabel(QTr("フェードアウト(ms)"), this);
    inLabel->setObjectName(QStringLiteral("LabelFadeIn"));
    outLabel->setObjectName(QStringLiteral("LabelFadeOut"));
    row->addWidget(inLabel);
    row->addWidget(fadeIn_);
    row->addWidget(outLabel);
    row->addWidget(fadeOut_);
    row->addStretch(1);
    first_ = new QPushButton(this);
    first_->setObjectName(QStringLiteral("CommandFirst"));
    close_ = new QPushButton(tr("Close"), this);
    close_->setObjectName(QStringLiteral("CommandClose"));
    for (QPushButton* b : { first_, close_ })
        b->setAutoDefault(false);
    row->addWidget(first_);
    row->addWidget(close_);
    column->addLayout(row);
    layout->addLayout(column, 1);
    slider_ = new QSlider(Qt::Vertical, this);
    slider_->setObjectName(QStringLiteral("SliderLevel"));
    slider_->setAccessibleName(QTr("レベル"));
    layout->addWidget(slider_);
    resize(720, 340);

    connect(slider_, &QSlider::sliderMoved, this, &FrmDrawLevel::SliderMoved);
    connect(slider_, &QSlider::sliderReleased, this, &FrmDrawLevel::SliderReleased);
    connect(first_, &QPushButton::clicked, this, &FrmDrawLevel::FirstClicked);
    connect(close_, &QPushButton::clicked, this, &QDialog::close);
    connect(fadeIn_, &QLineEdit::textEdited, this,
        [this](const QString& pText) { model_.SetFadeInText(pText.toStdString()); });
    connect(fadeOut_, &QLineEdit::textEdited, this,
        [this](const QString& pText) { model_.SetFadeOutText(pText.toStdString()); });
    watch_.setInterval(kWatchMs);
    connect(&watch_, &QTimer::timeout, this, &FrmDrawLevel::Watch);
}

FrmDrawLevel::~FrmDrawLevel()
{
    // A window destroyed without its close event still leaves the envelopes saved and the
    // edits allowed again.
    if (model_.IsOpen())
        model_.Close();
}

bool FrmDrawLevel::Start(DrawMode pMode)
{
    RestoreWindowPlacement(*this, ctx_.Logic.Store(), QStringLiteral("Draw"), false);
    // The handles sit on whole pixels: open the model on the picture's real size, so that
    // the BG fade's handles are placed as finely as the window shows them.
    layout()->activate();
    if (!model_.Open(pMode, picture_->width(), picture_->height()))
        return false;
    setWindowTitle(QString::fromStdString(model_.Caption()));
    const bool bg = pMode == DrawMode::Background;
    for (QWidget* w : std::initializer_list<QWidget*> { fadeIn_, fadeOut_,
             findChild<QLabel*>(QStringLiteral("LabelFadeIn")),
             findChild<QLabel*>(QStringLiteral("LabelFadeOut")) })
        w->setVisible(bg);
    first_->setText(bg ? tr("Save") : tr("Clear"));
    if (bg) {
        slider_->setRange(0, 255);
        slider_->setValue(model_.BgLevel());
        fadeIn_->setText(QString::fromStdString(model_.FadeInText()));
        fadeOut_->setText(QString::fromStdString(model_.FadeOutText()));
    } else {
        slider_->setRange(-128, 128);
        slider_->setValue(0);
    }
    watch_.start();
    RedrawMain();
    return true;
}

void FrmDrawLevel::RedrawMain()
{
    ctx_.Logic.Ui().RequestRedraw(RedrawArea::Tracks);
    picture_->update();
}

void FrmDrawLevel::Watch()
{
    if (model_.Watch())
        picture_->update();
    else if (ctx_.Logic.Playing)
        picture_->update(); // the head line
}

void FrmDrawLevel::SliderMoved(int pValue)
{
    if (model_.Mode() == DrawMode::Draw)
        model_.PreviewOffset(pValue);
    else
        model_.PreviewBgLevel(pValue);
    picture_->update();
}

void FrmDrawLevel::SliderReleased()
{
    if (model_.Mode() == DrawMode::Draw) {
        model_.ApplyOffset(slider_->value());
        slider_->setValue(0);
    } else {
        model_.SetBgLevel(slider_->value());
    }
    RedrawMain();
}

void FrmDrawLevel::FirstClicked()
{
    if (model_.Mode() == DrawMode::Draw)
        model_.Clear();
    else
        model_.SaveBgSettings();
    RedrawMain();
}

void FrmDrawLevel::closeEvent(QCloseEvent* pEvent)
{
    watch_.stop();
    if (model_.IsOpen()) {
        model_.Close();
        SaveWindowPlacement(*this, ctx_.Logic.Store(), QStringLiteral("Draw"));
    }
    QDialog::closeEvent(pEvent);
}

} // namespace tarvok
