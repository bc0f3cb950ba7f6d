#include "gui/dialogs/frm_sample_edit.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include "app/shell/main_logic.h"
#include "gui/dialogs/window_placement.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace tarvok {

namespace {

// Every text the window shows passes through Qt's translation, so that a translation can
// be added without touching code.
const QColor kWaveBack(16, 24, 32);
const QColor kWaveLine(90, 220, 120);
const QColor kZeroLine(70, 90, 110);
const QColor kDivider(140, 140, 150);
const QColor kSelection(60, 80, 140);
const QColor kMarkLine(255, 220, 60);
const QColor kHead(255, 40, 40);

/// The menus' texts, in the order of their item indexes.
constexpr const char* kEditItems[] = { N_("切り取り"), N_("削除"), N_("コピー"), N_("貼りつけ"),
    N_("元に戻す"), N_("やり直し"), N_("全て選択") };
constexpr const char* kEraseItems[] = { "L and R", "L", "R" };
constexpr int32_t kEraseChannels[] = { 3, 1, 2 };
constexpr const char* kPlayItems[] = { N_("範囲内"), N_("全て") };

} // namespace

// ---------------------------------------------------------------------------------------
// The waveform.

SampleWavePicture::SampleWavePicture(SampleEditor& pModel, QWidget* pParent)
    : QWidget(pParent)
    , model_(pModel)
{
    setObjectName(QStringLiteral("PictureWave"));
    SetAccessible(this, { .Role = QAccessible::Canvas, .DefaultName = QTr("波形") });
    setMouseTracking(true);
    setMinimumSize(200, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SampleWavePicture::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    model_.SetViewSize(width(), height());
}

void SampleWavePicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), kWaveBack);
    // After the end of the file: the workspace colour.
    const int64_t endX = model_.XOfFrame(model_.Length());
    if (endX < w)
        painter.fillRect(QRect(static_cast<int>(std::max<int64_t>(0, endX)), 0,
                             w - static_cast<int>(std::max<int64_t>(0, endX)), h),
            palette().color(QPalette::Mid));
    // The selection band.
    if (model_.Length() > 0) {
        const int64_t x0 = std::clamp<int64_t>(model_.XOfFrame(model_.SelFirst()), -1, w + 1);
        int64_t x1 = std::clamp<int64_t>(model_.XOfFrame(model_.SelLast() + 1), -1, w + 1);
        x1 = std::max(x1, x0 + 1);
        painter.fillRect(QRect(static_cast<int>(x0), 0, static_cast<int>(x1 - x0), h), kSelection);
    }
    const double zero[2] = { model_.ZeroLine(0), model_.ZeroLine(1) };
    const double scale = model_.Scale();
    painter.setPen(kZeroLine);
    for (double z : zero)
        painter.drawLine(QPointF(0, z), QPointF(w, z));
    painter.setPen(kDivider);
    painter.drawLine(0, h / 2, w, h / 2);

    painter.setPen(kWaveLine);
    if (model_.PixelsPerFrame() > 1) {
        const std::vector<SampleEditor::Point> points = model_.Points();
        for (int ch = 0; ch < 2; ++ch) {
            QPolygonF line;
            for (const SampleEditor::Point& p : points)
                line << QPointF(
                    static_cast<double>(p.X), zero[ch] - p.Value[static_cast<size_t>(ch)] * scale);
            painter.drawPolyline(line);
            if (model_.ShowsHandles())
                for (const QPointF& at : line)
                    painter.drawRect(QRectF(at.x() - 2, at.y() - 2, 4, 4));
        }
    } else {
        const std::vector<SampleEditor::Column> columns = model_.Columns();
        const bool bars = model_.FramesPerColumn() > 3;
        for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
            const SampleEditor::Column& c = columns[static_cast<size_t>(x)];
            if (!c.Valid)
                continue;
            for (int ch = 0; ch < 2; ++ch) {
                const double v = c.Value[static_cast<size_t>(ch)] * scale;
                if (bars)
                    painter.drawLine(QPointF(x, zero[ch] - v), QPointF(x, zero[ch] + v));
                else
                    painter.drawLine(QPointF(x, zero[ch]), QPointF(x, zero[ch] - v));
            }
        }
    }
    // LineMark(0..1) while an edge is dragged.
    if (model_.Selecting()) {
        painter.setPen(kMarkLine);
        for (int64_t frame :
            { static_cast<int64_t>(model_.SelFirst()), static_cast<int64_t>(model_.SelLast()) }) {
            const int64_t x = model_.XOfFrame(frame);
            if (x >= 0 && x <= w)
                painter.drawLine(static_cast<int>(x), 0, static_cast<int>(x), h);
        }
    }
    // LineHead, held between 10 pixels left and right of the area.
    if (model_.HeadFrame() >= 0) {
        const int x = static_cast<int>(
            std::clamp<int64_t>(model_.XOfFrame(model_.HeadFrame()), -10, w + 10));
        painter.setPen(QPen(kHead, 1));
        painter.drawLine(x, 0, x, h);
    }
}

void SampleWavePicture::mousePressEvent(QMouseEvent* pEvent)
{
    const QPoint at = pEvent->position().toPoint();
    if (pEvent->button() == Qt::RightButton) {
        emit ContextMenuAt(pEvent->globalPosition().toPoint());
        return;
    }
    if (pEvent->button() != Qt::LeftButton || model_.Busy())
        return;
    if ((pEvent->modifiers() & Qt::ShiftModifier) != 0)
        model_.PencilDown(at.x(), at.y());
    else
        model_.SelectDown(at.x());
}

void SampleWavePicture::mouseMoveEvent(QMouseEvent* pEvent)
{
    const QPoint at = pEvent->position().toPoint();
    if (model_.Stroking()) {
        model_.PencilMove(at.x(), at.y());
        return;
    }
    if (model_.Selecting()) {
        model_.SelectMove(at.x());
        return;
    }
    setCursor(model_.NearEdge(at.x()) ? Qt::SizeHorCursor : Qt::ArrowCursor);
}

void SampleWavePicture::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton)
        return;
    if (model_.Stroking()) {
        setCursor(Qt::WaitCursor);
        model_.StrokeEnd();
        setCursor(Qt::ArrowCursor);
    } else {
        model_.SelectUp();
    }
}

// ---------------------------------------------------------------------------------------
// The window.

FrmSampleEdit::FrmSampleEdit(GuiContext& pContext, QWidget* pParent)
    : QDialog(pParent)
    , ctx_(pContext)
    , model_(std::make_unique<SampleEditor>(pContext.Logic, pContext.Transport))
{
    setObjectName(QStringLiteral("FrmSampleEdit"));
    setWindowTitle(QTr(kSeTitle));
    setModal(true);
    resize(900, 420);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);

    layout->setMenuBar(BuildMenuBar());

    wave_ = new SampleWavePicture(*model_, this);
    layout->addWidget(wave_, 1);
    connect(wave_, &SampleWavePicture::ContextMenuAt, this,
        [this](const QPoint& pAt) { editMenu_->popup(pAt); });

    slider_ = new QScrollBar(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("SliderSE"));
    slider_->setAccessibleName(QTr("表示位置"));
    layout->addWidget(slider_);
    connect(slider_, &QScrollBar::valueChanged, this,
        [this](int pValue) { model_->SetViewStart(pValue); });

    layout->addWidget(BuildInfoRow());

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("PictureMessage"));
    message_->setFrameShape(QFrame::StyledPanel);
    message_->setMinimumHeight(20);
    layout->addWidget(message_);

    layout->addLayout(BuildButtonRow());

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(50);
    connect(timer_, &QTimer::timeout, this, [this] { model_->Tick(); });
    timer_->start();

    RestoreWindowPlacement(*this, ctx_.Logic.Store(), QStringLiteral("SE"), false);
    model_->OnChange = [this] { Refresh(); };
    model_->SetViewSize(wave_->width(), wave_->height());
    Refresh();
}

/// The play, edit and silence menus.
QMenuBar* FrmSampleEdit::BuildMenuBar()
{
    auto* menuBar = new QMenuBar(this);
    QMenu* playMenu = menuBar->addMenu(QTr("再生(&P)"));
    for (int i = 0; i < 2; ++i) {
        QAction* a = playMenu->addAction(QTr(kPlayItems[i]));
        a->setObjectName(QStringLiteral("MenuPlaySE%1").arg(i));
        a->setCheckable(true);
        a->setShortcut(i == 0 ? QKeySequence(Qt::Key_F5) : QKeySequence(Qt::Key_F6));
        connect(a, &QAction::triggered, this, [this, i] { model_->ChoosePlayMode(i); });
        playActions_[static_cast<size_t>(i)] = a;
    }
    editMenu_ = menuBar->addMenu(QTr("編集(&E)"));
    for (int i = 0; i < 7; ++i) {
        QAction* a = editMenu_->addAction(QTr(kEditItems[i]));
        a->setObjectName(QStringLiteral("MenuEditFCT%1").arg(i));
        connect(a, &QAction::triggered, this, [this, i] {
            setCursor(Qt::WaitCursor);
            model_->EditMenu(i);
            unsetCursor();
        });
        editActions_[static_cast<size_t>(i)] = a;
    }
    QMenu* eraseMenu = menuBar->addMenu(QTr("無音"));
    for (int i = 0; i < 3; ++i) {
        QAction* a = eraseMenu->addAction(QTr(kEraseItems[i]));
        a->setObjectName(QStringLiteral("MenuErase%1").arg(i));
        connect(a, &QAction::triggered, this, [this, i] {
            setCursor(Qt::WaitCursor);
            model_->Silence(kEraseChannels[i]);
            unsetCursor();
        });
        eraseActions_[static_cast<size_t>(i)] = a;
    }
    return menuBar;
}

/// The five information fields; a click on one acts on what it shows.
QWidget* FrmSampleEdit::BuildInfoRow()
{
    auto* infoRow = new QHBoxLayout;
    infoRow->setSpacing(2);
    auto* infoBox = new QWidget(this);
    infoBox->setObjectName(QStringLiteral("PictureInfo"));
    infoBox->setLayout(infoRow);
    infoRow->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 5; ++i) {
        auto* field = new QPushButton(infoBox);
        field->setObjectName(QStringLiteral("InfoField%1").arg(i));
        field->setFlat(true);
        field->setAutoDefault(false);
        field->setFocusPolicy(Qt::NoFocus);
        connect(field, &QPushButton::clicked, this, [this, i] { model_->InfoClick(i); });
        infoRow->addWidget(field);
        info_[static_cast<size_t>(i)] = field;
    }
    return infoBox;
}

/// Zoom, play and OK/Cancel.
QHBoxLayout* FrmSampleEdit::BuildButtonRow()
{
    auto* buttons = new QHBoxLayout;
    auto makeButton = [this, buttons](const QString& pText, const QString& pName) {
        auto* b = new QPushButton(pText, this);
        b->setObjectName(pName);
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
        return b;
    };
    QPushButton* zoomOut = makeButton(QStringLiteral("−"), QStringLiteral("ZoomButton0"));
    QPushButton* zoomIn = makeButton(QStringLiteral("+"), QStringLiteral("ZoomButton1"));
    zoomOut->setToolTip(QTr("縮小"));
    zoomIn->setToolTip(QTr("拡大"));
    connect(zoomOut, &QPushButton::clicked, this, [this] { model_->ZoomButton(0); });
    connect(zoomIn, &QPushButton::clicked, this, [this] { model_->ZoomButton(1); });
    buttons->addSpacing(12);
    playButtons_[0] = makeButton(QStringLiteral("■"), QStringLiteral("PlayButtonsSE0"));
    playButtons_[1] = makeButton(QStringLiteral("❚❚"), QStringLiteral("PlayButtonsSE1"));
    playButtons_[2] = makeButton(QStringLiteral("▶"), QStringLiteral("PlayButtonsSE2"));
    playButtons_[1]->setCheckable(true);
    playButtons_[2]->setCheckable(true);
    connect(playButtons_[0], &QPushButton::clicked, this, [this] { model_->Stop(); });
    connect(playButtons_[1], &QPushButton::clicked, this, [this] { model_->Pause(); });
    connect(playButtons_[2], &QPushButton::clicked, this, [this] { model_->Play(); });
    buttons->addStretch(1);
    QPushButton* cancel = makeButton(tr("Cancel"), QStringLiteral("OKCancelButtons0"));
    QPushButton* ok = makeButton(tr("OK"), QStringLiteral("OKCancelButtons1"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    return buttons;
}

FrmSampleEdit::~FrmSampleEdit()
{
    if (model_) {
        model_->OnChange = nullptr;
        model_->Close(false);
    }
}

void FrmSampleEdit::Refresh()
{
    SampleEditor& m = *model_;
    {
        const QSignalBlocker block(slider_);
        slider_->setRange(0, m.Length());
        slider_->setSingleStep(m.SmallStep());
        slider_->setPageStep(std::max(1, m.ViewFrames()));
        slider_->setValue(m.ViewStart());
    }
    const std::array<std::string, 5> texts = m.InfoTexts();
    for (size_t i = 0; i < info_.size(); ++i)
        info_[i]->setText(QTr(SampleEditor::InfoLabels()[i]) + QStringLiteral(" ")
            + QString::fromStdString(texts[i]));
    message_->setText(QString::fromStdString(m.Message()));
    for (int i = 0; i < 2; ++i)
        playActions_[static_cast<size_t>(i)]->setChecked(m.PlayMode() == i);
    playButtons_[2]->setChecked(m.IsPlaying());
    playButtons_[1]->setChecked(m.IsPaused());
    wave_->update();
}

void FrmSampleEdit::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->modifiers() == Qt::NoModifier) {
        switch (pEvent->key()) {
        case Qt::Key_Space:
            model_->Play();
            return;
        case Qt::Key_Escape:
            // Escape stops playback; it does not close the window.
            model_->Stop();
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(pEvent);
}

void FrmSampleEdit::closeEvent(QCloseEvent* pEvent)
{
    if (model_->Busy()) {
        pEvent->ignore();
        return;
    }
    QDialog::closeEvent(pEvent);
}

void FrmSampleEdit::done(int pResult)
{
    if (model_->Busy())
        return;
    timer_->stop();
    SaveWindowPlacement(*this, ctx_.Logic.Store(), QStringLiteral("SE"));
    model_->OnChange = nullptr;
    hide();
    model_->Close(pResult == QDialog::Accepted);
    QDialog::done(pResult);
}

bool RunSampleEditCommand(GuiContext& pContext, QWidget* pParent)
{
    MainLogic& logic = pContext.Logic;
    std::function<bool()> previous = logic.SampleEditorOpener;
    logic.SampleEditorOpener = [&pContext, pParent] {
        FrmSampleEdit window(pContext, pParent);
        window.exec();
        return true;
    };
    const bool opened = SampleEditCommand(logic);
    logic.SampleEditorOpener = previous;
    return opened;
}

} // namespace tarvok
