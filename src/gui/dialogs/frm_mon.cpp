#include "gui/dialogs/frm_mon.h"
#include "gui/gui_text.h"

#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "engine/recording_engine.h"
#include "gui/controls/uc_vu.h"
#include "gui/dialogs/window_placement.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace tarvok {

namespace {

QString Q(const std::string& pText) { return QString::fromStdString(pText); }

} // namespace

FrmMon::FrmMon(GuiContext& pContext, RecordingEngine& pRecorder,
    const std::array<int32_t, 8>& pInputEnabled, std::function<void(int32_t)> pRunCommand,
    QWidget* pParent)
    : QWidget(pParent, Qt::Tool)
    , ctx_(pContext)
    , rec_(pRecorder)
    , run_(std::move(pRunCommand))
    , monitor_(pRecorder, pInputEnabled, pContext.Logic.Store().GetSetting("modedb", int32_t { 1 }),
          pContext.Logic.Options().RMSP3)
{
    setObjectName(QStringLiteral("FrmMon"));
    setWindowTitle(QTr("録音モニター"));
    if (!run_)
        run_ = [this](int32_t pCommand) {
            if (ctx_.Logic.TransportHandler)
                ctx_.Logic.TransportHandler(pCommand, 0);
        };

    monitor_.Meter().BarWidth = 6;
    monitor_.Meter().TopMargin = 8;
    monitor_.Meter().BarMargin = 5;
    monitor_.Open();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);

    layout->addWidget(BuildMeter());
    layout->addWidget(BuildLevelsBox());
    layout->addWidget(BuildMuonBox());
    layout->addLayout(BuildButtonRow());
    ShowButtons();

    resize(sizeHint().expandedTo(QSize(460, 0)));
    RestoreWindowPlacement(*this, ctx_.Logic.Store(), QStringLiteral("Mon"), true);
    vu_->ModelChanged();

    timer_.setInterval(100);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &FrmMon::TimerMonTick);
    timer_.start();
}

/// The input meter; a click switches between dB and linear.
UC_VU* FrmMon::BuildMeter()
{
    vu_ = new UC_VU(monitor_.Meter(), this);
    vu_->setToolTip(QTr("クリックで dB 表示とリニア表示を切り替えます"));
    vu_->SetDbMode(monitor_.DbMode());
    connect(vu_, &UC_VU::Clicked, this, [this] {
        monitor_.ToggleMeterMode();
        vu_->SetDbMode(monitor_.DbMode());
        vu_->ModelChanged();
    });
    return vu_;
}

/// One level slider per channel, in the meter's order.
QGroupBox* FrmMon::BuildLevelsBox()
{
    auto* levels = new QGroupBox(QTr("入力レベル"), this);
    auto* grid = new QGridLayout(levels);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    if (monitor_.ChannelCount() == 0)
        grid->addWidget(new QLabel(QTr("使用できる入力デバイスがありません"), levels), 0, 0);
    for (int32_t c = 0; c < monitor_.ChannelCount(); ++c) {
        auto* label = new QLabel(Q(monitor_.ChannelLabel(c)), levels);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setMinimumWidth(18);
        auto* slider = new QSlider(Qt::Horizontal, levels);
        slider->setObjectName(QStringLiteral("LevelSlider%1").arg(c));
        slider->setAccessibleName(QTr("入力 %1 のレベル").arg(label->text()));
        slider->setRange(-400, 200);
        slider->setSingleStep(1);
        slider->setPageStep(10);
        slider->setValue(monitor_.SliderValue(c));
        slider->setToolTip(QTr("右クリックで 0.0 db に戻します"));
        slider->installEventFilter(this);
        auto* text = new QLabel(Q(monitor_.SliderText(c)), levels);
        text->setObjectName(QStringLiteral("Textdb%1").arg(c));
        text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("-00.0 ")));
        connect(slider, &QSlider::valueChanged, this, [this, c, text](int pValue) {
            monitor_.SetSlider(c, pValue);
            text->setText(Q(monitor_.SliderText(c)));
        });
        grid->addWidget(label, c, 0);
        grid->addWidget(slider, c, 1);
        grid->addWidget(text, c, 2);
        grid->addWidget(new QLabel(QStringLiteral("db"), levels), c, 3);
        sliders_.push_back(slider);
        texts_.push_back(text);
    }
    grid->setColumnStretch(1, 1);
    return levels;
}

/// Voice-activated recording.
QGroupBox* FrmMon::BuildMuonBox()
{
    auto* muon = new QGroupBox(QTr("自動録音"), this);
    auto* mgrid = new QGridLayout(muon);
    mgrid->setHorizontalSpacing(6);
    const bool use[2] = { rec_.Options().UseMuonStart != 0, rec_.Options().UseMuonStop != 0 };
    const QString captions[2] = { QStringLiteral("Start"), QStringLiteral("Stop") };
    for (int i = 0; i < 2; ++i) {
        check_[i] = new QCheckBox(captions[i], muon);
        check_[i]->setObjectName(QStringLiteral("CheckUseMuon%1").arg(i));
        check_[i]->setChecked(use[i]);
        connect(check_[i], &QCheckBox::toggled, this, [this, i](bool pOn) {
            if (i == 0)
                monitor_.SetUseStart(pOn);
            else
                monitor_.SetUseStop(pOn);
        });
        level_[i] = new QLineEdit(Q(monitor_.LevelText(i == 1)), muon);
        level_[i]->setObjectName(QStringLiteral("TextMuonDB%1").arg(i));
        level_[i]->setAccessibleName(i == 0 ? QTr("録音開始レベル") : QTr("録音停止レベル"));
        level_[i]->setAlignment(Qt::AlignRight);
        level_[i]->setMaximumWidth(72);
        connect(level_[i], &QLineEdit::editingFinished, this, [this, i] { LevelEntered(i); });
        mgrid->addWidget(check_[i], i, 0);
        mgrid->addWidget(level_[i], i, 1);
        mgrid->addWidget(new QLabel(QStringLiteral("db"), muon), i, 2);
    }
    check_[0]->setToolTip(QTr("入力がこのレベルを超えたら録音を始めます"));
    check_[1]->setToolTip(QTr("入力がこのレベルより小さい状態が続いたら録音を止めます"));
    seconds_ = new QComboBox(muon);
    seconds_->setObjectName(QStringLiteral("ComboMuonStopSec"));
    seconds_->setAccessibleName(QTr("録音停止までの秒数"));
    for (int s = 1; s <= 10; ++s)
        seconds_->addItem(QString::number(s));
    seconds_->setCurrentIndex(monitor_.StopSecondsItem());
    connect(seconds_, &QComboBox::activated, this,
        [this](int pItem) { monitor_.ChooseStopSeconds(pItem); });
    mgrid->addWidget(seconds_, 1, 3);
    mgrid->addWidget(new QLabel(QStringLiteral("sec"), muon), 1, 4);
    mgrid->setColumnStretch(5, 1);
    return muon;
}

/// Stop and Start while recording, Close otherwise.
QHBoxLayout* FrmMon::BuildButtonRow()
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    recButtons_[0] = new QPushButton(QStringLiteral("Stop"), this);
    recButtons_[1] = new QPushButton(QStringLiteral("Start"), this);
    close_ = new QPushButton(QStringLiteral("Close"), this);
    recButtons_[0]->setObjectName(QStringLiteral("OKCancelButtons0"));
    recButtons_[1]->setObjectName(QStringLiteral("OKCancelButtons1"));
    close_->setObjectName(QStringLiteral("CloseButton"));
    for (QPushButton* b : { recButtons_[0], recButtons_[1], close_ }) {
        b->setAutoDefault(false);
        b->setMinimumWidth(84);
        buttons->addWidget(b);
    }
    connect(recButtons_[0], &QPushButton::clicked, this, [this] {
        if (!rec_.Recording) {
            close();
            return;
        }
        run_(kCmdStop);
    });
    connect(recButtons_[1], &QPushButton::clicked, this, [this] {
        if (!rec_.Recording) {
            close();
            return;
        }
        if (!rec_.RecStarted)
            run_(kCmdPlay);
    });
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    return buttons;
}

FrmMon::~FrmMon() { Shutdown(); }

void FrmMon::SetTimerRunning(bool pOn)
{
    if (pOn && !closed_)
        timer_.start();
    else
        timer_.stop();
}

void FrmMon::ShowButtons()
{
    const bool recording = monitor_.ShowsRecordingButtons();
    recButtons_[0]->setVisible(recording);
    recButtons_[1]->setVisible(recording);
    close_->setVisible(!recording);
}

void FrmMon::TimerMonTick()
{
    if (closed_)
        return;
    timer_.stop();
    if (!monitor_.Tick()) {
        // STOP asked the monitor to close; the model closed itself.
        modelClosed_ = true;
        close();
        return;
    }
    ShowButtons();
    vu_->update();
    timer_.start();
}

void FrmMon::LevelEntered(int pIndex)
{
    // A text that is not a number is ignored: the box shows the level in force again.
    monitor_.EnterLevel(pIndex == 1, level_[pIndex]->text().toStdString());
    level_[pIndex]->setText(Q(monitor_.LevelText(pIndex == 1)));
}

void FrmMon::Shutdown()
{
    timer_.stop();
    if (closed_)
        return;
    closed_ = true;
    SaveWindowPlacement(*this, ctx_.Logic.Store(), QStringLiteral("Mon"));
    ctx_.Logic.Store().SaveSetting("modedb", int32_t { monitor_.DbMode() ? 1 : 0 });
    if (!modelClosed_)
        monitor_.Close();
}

void FrmMon::closeEvent(QCloseEvent* pEvent)
{
    Shutdown();
    pEvent->accept();
}

void FrmMon::keyPressEvent(QKeyEvent* pEvent)
{
    // Keys the window does not use are the main window's (transport keys, function keys).
    if (parentWidget())
        QApplication::sendEvent(parentWidget(), pEvent);
    else
        QWidget::keyPressEvent(pEvent);
}

void FrmMon::keyReleaseEvent(QKeyEvent* pEvent)
{
    if (parentWidget())
        QApplication::sendEvent(parentWidget(), pEvent);
    else
        QWidget::keyReleaseEvent(pEvent);
}

bool FrmMon::eventFilter(QObject* pObject, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(pEvent)->button() == Qt::RightButton) {
        for (size_t c = 0; c < sliders_.size(); ++c)
            if (pObject == sliders_[c]) {
                monitor_.ResetSlider(static_cast<int32_t>(c));
                sliders_[c]->setValue(0);
                texts_[c]->setText(Q(monitor_.SliderText(static_cast<int32_t>(c))));
                return true;
            }
    }
    return QWidget::eventFilter(pObject, pEvent);
}

} // namespace tarvok
