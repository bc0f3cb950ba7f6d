#include "gui/bottom_row.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include "app/commands/command_table.h"
#include "core/command_ids.h"
#include "gui/frm_main.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tarvok {

namespace {

/// pFont grown by pRate, whether its size is given in points or in pixels.
QFont Scaled(QFont pFont, double pRate)
{
    if (pFont.pointSizeF() > 0)
        pFont.setPointSizeF(pFont.pointSizeF() * pRate);
    else if (pFont.pixelSize() > 0)
        pFont.setPixelSize(static_cast<int>(pFont.pixelSize() * pRate));
    return pFont;
}

/// The speed shuttle: 110 pixels wide (times the display size) where the row has room, down
/// to 60 where it has not, so that the information fields keep their width.
class ShuttleSlider : public QSlider {
public:
    explicit ShuttleSlider(QWidget* pParent)
        : QSlider(Qt::Horizontal, pParent)
    {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    void SetSizeRate(double pRate)
    {
        rate_ = pRate;
        updateGeometry();
    }
    QSize sizeHint() const override
    {
        return { static_cast<int>(110 * rate_), QSlider::sizeHint().height() };
    }
    QSize minimumSizeHint() const override
    {
        return { static_cast<int>(60 * rate_), QSlider::minimumSizeHint().height() };
    }

private:
    double rate_ = 1.0;
};

QString Description(int32_t pCommand)
{
    return QString::fromUtf8(GetCommandText(pCommand, kCommandDescription).data());
}

QIcon RecordIcon()
{
    // Drawn at several sizes, so that a larger display size or a high-density screen gets
    // a sharp dot rather than a stretched one.
    QIcon icon;
    for (int size : { 16, 24, 32, 48, 64, 96 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        p.setPen(QPen(QColor(150, 20, 20), 1.0));
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QToolButton* Button(QWidget* pParent, const QString& pName)
{
    auto* b = new QToolButton(pParent);
    b->setObjectName(pName);
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::NoFocus);
    b->setMinimumSize(30, 26);
    return b;
}

} // namespace

BottomRow::BottomRow(FrmMain& pOwner, QWidget* pParent)
    : QWidget(pParent)
    , owner_(pOwner)
{
    setObjectName(QStringLiteral("PictureTool"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);

    row->addLayout(BuildButtonGrid());

    shuttle_ = new ShuttleSlider(this);
    shuttle_->setObjectName(QStringLiteral("SpeedShuttle"));
    shuttle_->setRange(-300, 300);
    shuttle_->setValue(0);
    shuttle_->setToolTip(QTr("シャトル"));
    shuttle_->setAccessibleName(QTr("シャトル"));
    shuttle_->setFocusPolicy(Qt::NoFocus);
    connect(shuttle_, &QSlider::sliderPressed, this,
        [this] { owner_.ShuttlePressed(shuttle_->value()); });
    connect(shuttle_, &QSlider::sliderMoved, this, [this](int v) { owner_.ShuttleMoved(v); });
    connect(shuttle_, &QSlider::sliderReleased, this, [this] { owner_.ShuttleReleased(); });
    row->addWidget(shuttle_);

    counter_ = new QLabel(this);
    counter_->setObjectName(QStringLiteral("PictureCounter"));
    counter_->setFrameShape(QFrame::StyledPanel);
    counter_->setFrameShadow(QFrame::Sunken);
    counter_->setAutoFillBackground(true);
    counter_->setAlignment(Qt::AlignCenter);
    counter_->setMinimumWidth(120);
    QFont counterFont = font();
    counterFont.setFamilies({ QStringLiteral("Noto Sans Mono CJK JP"),
        QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace") });
    counterFont.setStyleHint(QFont::Monospace);
    counter_->setFont(counterFont);
    counter_->installEventFilter(this);
    SetAccessible(counter_,
        { .Role = QAccessible::StaticText,
            .DefaultName = QTr("カウンター"),
            .ValueText = [this] { return counter_->text().simplified(); },
            .NameWithValue = true });
    row->addWidget(counter_);

    row->addLayout(BuildInfoAndMessage(), 1);
}

/// Transport and display buttons, two rows of four.
QGridLayout* BottomRow::BuildButtonGrid()
{
    auto* buttons = new QGridLayout;
    buttons->setSpacing(2);
    const QStyle::StandardPixmap transportIcons[4] = { QStyle::SP_CustomBase, QStyle::SP_MediaStop,
        QStyle::SP_MediaPause, QStyle::SP_MediaPlay };
    const int32_t transportCommands[4] = { kCmdRec, kCmdStop, kCmdPause, kCmdPlayWhole };
    for (int i = 0; i < 4; ++i) {
        QToolButton* b = Button(this, QStringLiteral("PlayCtrl%1").arg(i));
        b->setIcon(i == 0 ? RecordIcon() : style()->standardIcon(transportIcons[i]));
        b->setToolTip(Description(transportCommands[i]));
        b->setAccessibleName(Description(transportCommands[i]));
        b->setCheckable(i != 1);
        connect(b, &QToolButton::clicked, this, [this, i] { owner_.TransportButton(i); });
        if (i == 0) {
            b->installEventFilter(this); // a right click opens the recording monitor
            b->setToolTip(Description(kCmdRec) + QTr("（右クリックで録音モニター）"));
        }
        transport_[i] = b;
        buttons->addWidget(b, 0, i);
    }
    const QString displayTexts[4] = { QTr("－"), QTr("全体"), QTr("＋"), tr("Mix") };
    const QString displayNames[4]
        = { QTr("縮小"), QTr("全体表示"), QTr("拡大"), QTr("音量ミキサー") };
    const QString displayTips[4]
        = { Description(kCmdZoomMinus), QTr("プロジェクト全体を表示"), Description(kCmdZoomPlus),
              QTr("システムの音量ミキサーを開きます（ミックスダウンではありません）") };
    for (int i = 0; i < 4; ++i) {
        QToolButton* b = Button(this, QStringLiteral("DispCtrl%1").arg(i));
        b->setText(displayTexts[i]);
        b->setToolTip(displayTips[i]);
        b->setAccessibleName(displayNames[i]);
        b->installEventFilter(this);
        display_[i] = b;
        buttons->addWidget(b, 1, i);
    }
    return buttons;
}

/// The information bar above the message area and its progress bar.
QVBoxLayout* BottomRow::BuildInfoAndMessage()
{
    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    infoGrid_ = new QGridLayout;
    infoGrid_->setSpacing(2);
    const QString infoTips[5] = { QTr("全長"), QTr("表示開始位置"), QTr("マークイン"),
        QTr("マークアウト"), QTr("選択範囲の長さ") };
    const QString captions[5]
        = { QTr("全長"), QTr("表示開始"), QTr("マークイン"), QTr("マークアウト"), QTr("選択長") };
    QFont captionFont = font();
    captionFont.setPointSizeF(std::max(6.0, captionFont.pointSizeF() * 0.8));
    for (int i = 0; i < 5; ++i) {
        auto* cell = new QWidget(this);
        auto* stack = new QVBoxLayout(cell);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(0);
        auto* caption = new QLabel(captions[i], cell);
        caption->setObjectName(QStringLiteral("InfoCaption%1").arg(i));
        caption->setFont(captionFont);
        caption->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
        stack->addWidget(caption);
        auto* l = new QLabel(cell);
        l->setObjectName(QStringLiteral("PictureInfo%1").arg(i));
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
        l->setAlignment(Qt::AlignCenter);
        l->setToolTip(infoTips[i]);
        SetAccessible(l,
            { .Role = QAccessible::StaticText,
                .DefaultName = infoTips[i],
                .ValueText = [l] { return l->text(); },
                .NameWithValue = true });
        l->setMinimumWidth(84);
        l->installEventFilter(this);
        stack->addWidget(l);
        info_[i] = l;
        infoCaption_[i] = caption;
        infoCell_[i] = cell;
        infoGrid_->addWidget(cell, 0, i);
    }
    right->addLayout(infoGrid_);
    auto* messageRow = new QHBoxLayout;
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("PictureMessage"));
    message_->setFrameShape(QFrame::StyledPanel);
    message_->setFrameShadow(QFrame::Sunken);
    message_->setMinimumWidth(200);
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    message_->setTextInteractionFlags(Qt::NoTextInteraction);
    message_->setAccessibleDescription(QTr("メッセージ"));
    messageRow->addWidget(message_, 1);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setFixedWidth(90);
    progress_->setAccessibleName(QTr("進行状況"));
    progress_->setVisible(false);
    messageRow->addWidget(progress_);
    cancel_ = new QPushButton(QTr("キャンセル"), this);
    cancel_->setObjectName(QStringLiteral("ProgressCancel"));
    cancel_->setFocusPolicy(Qt::NoFocus);
    cancel_->setToolTip(QTr("実行中の処理を中止します"));
    cancel_->setVisible(false);
    connect(cancel_, &QPushButton::clicked, this, &BottomRow::CancelClicked);
    messageRow->addWidget(cancel_);
    right->addLayout(messageRow);
    return right;
}

void BottomRow::ArrangeInfo()
{
    // One row of five fields when they fit beside each other at their minimum width, else
    // rows of three, else rows of two, so that no field overlaps another or is cut.
    const int width = message_->width();
    const int spacing = infoGrid_->horizontalSpacing();
    auto fits = [&](int pColumns) {
        return width >= pColumns * info_[0]->minimumWidth() + (pColumns - 1) * spacing;
    };
    const int columns = fits(5) ? 5 : fits(3) ? 3 : 2;
    if (columns == infoColumns_)
        return;
    infoColumns_ = columns;
    for (int i = 0; i < 5; ++i) {
        infoGrid_->removeWidget(infoCell_[i]);
        infoGrid_->addWidget(infoCell_[i], i / columns, i % columns);
    }
}

void BottomRow::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    ArrangeInfo();
}

void BottomRow::SetCounter(const std::array<QString, 3>& pLines, int pColourSet)
{
    counter_->setText(pLines[0] + "\n" + (pLines[1].isEmpty() ? QStringLiteral(" ") : pLines[1])
        + "\n" + pLines[2]);
    QPalette pal = counter_->palette();
    const QColor background = pColourSet == 2 ? QColor(90, 10, 10)
        : pColourSet == 1                     ? QColor(10, 50, 20)
                                              : QColor(20, 20, 24);
    const QColor text = pColourSet == 2 ? QColor(255, 140, 140)
        : pColourSet == 1               ? QColor(120, 255, 150)
                                        : QColor(140, 220, 255);
    pal.setColor(QPalette::Window, background);
    pal.setColor(QPalette::WindowText, text);
    counter_->setPalette(pal);
}

void BottomRow::SetInfo(int pField, const QString& pText)
{
    if (pField >= 0 && pField < 5)
        info_[pField]->setText(pText);
}

void BottomRow::SetMessage(const QString& pText, int pPercent)
{
    message_->setText(pText);
    const bool running = pPercent >= 0 && pPercent < 100;
    progress_->setVisible(running);
    cancel_->setVisible(running);
    if (pPercent >= 0)
        progress_->setValue(pPercent);
}

QString BottomRow::Message() const { return message_->text(); }
QString BottomRow::Info(int pField) const
{
    return pField >= 0 && pField < 5 ? info_[pField]->text() : QString();
}
QString BottomRow::CounterText() const { return counter_->text(); }

void BottomRow::SetTransportState(bool pRecording, bool pPaused, bool pPlaying)
{
    transport_[0]->setChecked(pRecording);
    transport_[2]->setChecked(pPaused);
    transport_[3]->setChecked(pPlaying);
}

void BottomRow::ResetShuttle() { shuttle_->setValue(0); }

void BottomRow::ApplySizeRate(double pRate)
{
    auto px = [pRate](int pPixels) { return static_cast<int>(pPixels * pRate); };
    for (QToolButton* b : transport_) {
        b->setMinimumSize(px(30), px(26));
        b->setIconSize(QSize(px(16), px(16)));
    }
    for (QToolButton* b : display_)
        b->setMinimumSize(px(30), px(26));
    static_cast<ShuttleSlider*>(shuttle_)->SetSizeRate(pRate);
    counter_->setMinimumWidth(px(120));
    // The captions chose their own size: they grow here; the rest inherit the window's.
    for (int i = 0; i < 5; ++i) {
        info_[i]->setMinimumWidth(px(84));
        infoCaption_[i]->setFont(Scaled(infoCaption_[i]->font(), pRate));
    }
    message_->setMinimumWidth(px(200));
    progress_->setFixedWidth(px(90));
    infoColumns_ = 0; // arrange again for the new widths
    ArrangeInfo();
}

bool BottomRow::eventFilter(QObject* pObject, QEvent* pEvent)
{
    if (pEvent->type() != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(pObject, pEvent);
    auto* mouse = static_cast<QMouseEvent*>(pEvent);
    if (pObject == transport_[0] && mouse->button() == Qt::RightButton) {
        owner_.OpenMonitor();
        return true;
    }
    for (int i = 0; i < 4; ++i) {
        if (pObject != display_[i])
            continue;
        const int mods = (mouse->modifiers() & Qt::ShiftModifier ? 1 : 0)
            | (mouse->modifiers() & Qt::ControlModifier ? 2 : 0)
            | (mouse->modifiers() & Qt::AltModifier ? 4 : 0);
        owner_.DisplayButton(
            i, mouse->button() == Qt::RightButton, mods, mouse->globalPosition().toPoint());
        // Let the button pop back up.
        return QWidget::eventFilter(pObject, pEvent);
    }
    for (int i = 0; i < 5; ++i)
        if (pObject == info_[i] && mouse->button() == Qt::LeftButton)
            owner_.InfoClicked(i);
    if (pObject == counter_ && mouse->button() == Qt::LeftButton)
        owner_.CounterClicked();
    return QWidget::eventFilter(pObject, pEvent);
}

} // namespace tarvok
