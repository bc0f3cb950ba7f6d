#include "gui/dialogs/frm_rip.h"
#include "gui/controls/accessible.h"
#include "gui/gui_text.h"

#include "app/commands/rip_command.h"
#include "app/shell/file_copy.h"
#include "app/shell/main_logic.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/settings.h"
#include "engine/playback_engine.h"
#include "gui/controls/uc_file_hand.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

namespace tarvok {

namespace {

QString Q(const std::string& pText) { return QString::fromStdString(pText); }

/// A caption from the settings under pKey, with its English default.
QString Caption(Settings& pStore, const char* pKey, const char* pDefault)
{
    return Q(pStore.GetSetting(pKey, pDefault));
}

/// The meter's scale: -600..0 tenths of a dB over the width.
int MeterX(int32_t pTenths, int pWidth)
{
    const int32_t v = std::clamp(pTenths, -600, 0);
    return static_cast<int>((v + 600) * static_cast<int64_t>(pWidth) / 600);
}

} // namespace

RipWavePicture::RipWavePicture(const RipWindowModel& pModel, QWidget* pParent)
    : QWidget(pParent)
    , model_(pModel)
{
    setObjectName(QStringLiteral("PictureWave"));
    SetAccessible(this, { .Role = QAccessible::Canvas, .DefaultName = QTr("試聴の波形") });
    setMinimumSize(200, 60);
}

void RipWavePicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const int h = height();
    const int left = (h - 4) / 4;
    const int right = 3 * (h - 4) / 4;
    const double scale = (h - 4) / 2.0 / 65534.0;
    painter.setPen(QColor(40, 80, 40));
    painter.drawLine(0, left, width(), left);
    painter.drawLine(0, right, width(), right);
    painter.setPen(QColor(80, 230, 80));
    int x = 0;
    for (const auto& column : model_.WaveColumns()) {
        const int l = static_cast<int>(column[0] * scale);
        const int r = static_cast<int>(column[1] * scale);
        painter.drawLine(x, left - l, x, left + l);
        painter.drawLine(x, right - r, x, right + r);
        if (++x >= width())
            break;
    }
}

RipMeter::RipMeter(const RipWindowModel& pModel, QWidget* pParent)
    : QWidget(pParent)
    , model_(pModel)
{
    setObjectName(QStringLiteral("PictureVU"));
    SetAccessible(this, { .Role = QAccessible::Indicator, .DefaultName = QTr("試聴のレベル") });
    setMinimumSize(200, 20);
}

void RipMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(24, 24, 24));
    const int barHeight = (height() - 3) / 2;
    const int red = MeterX(-200, width());
    for (int c = 0; c < 2; ++c) {
        const int y = 1 + c * (barHeight + 1);
        const int value = MeterX(model_.MeterValue()[static_cast<size_t>(c)], width());
        painter.fillRect(0, y, std::min(value, red), barHeight, QColor(60, 200, 60));
        if (value > red)
            painter.fillRect(red, y, value - red, barHeight, QColor(220, 50, 50));
        const int peak = MeterX(model_.MeterPeak()[static_cast<size_t>(c)], width());
        painter.fillRect(std::max(0, peak - 2), y, 2, barHeight, Qt::white);
    }
}

FrmRip::FrmRip(GuiContext& pContext, QWidget* pParent)
    : QDialog(pParent)
    , context_(pContext)
{
    setObjectName(QStringLiteral("FrmRip"));
    setWindowTitle(QTr("CDオーディオ"));
    setModal(true);
    MainLogic& logic = context_.Logic;
    RipCheckOptions options = RipOptionsFromSettings(logic);
    // The compare shows its progress in FH1 while it runs.
    options.Compare = [this](const std::string& pA, const std::string& pB) {
        FileCopy copy(&context_.Logic.Ui());
        fh1_->Attach(copy);
        fh1_->show();
        const bool same = copy.HikakuFile(pA, pB);
        fh1_->hide();
        return same;
    };
    options.Status = [this](std::string_view pText) { picPlay_->setText(Q(std::string(pText))); };
    CdDriveService& drives = context_.CdDrives ? *context_.CdDrives : ownDrives_;
    WaveOutService& out = context_.Engine ? context_.Engine->Out() : silentOut_;
    model_ = std::make_unique<RipWindowModel>(
        drives, context_.Http, logic.Ui(), out, logic.Store(), std::move(options));
    model_->Open();
    BuildControls();
    for (const CdDriveEntry& d : model_->Drives())
        comboCd_->addItem(Q(d.Name), Q(d.Path));
    comboCd_->setCurrentIndex(model_->SelectedDrive());
    dbBar_->setValue(model_->LevelDb());
    textDb_->setText(Q(model_->LevelText()));
    checkRip_->setChecked(model_->CheckRip);
    checkCddb_->setChecked(model_->UseCddb);
    checkParanoia_->setChecked(model_->ParanoiaRip);
    model_->SetWaveSize(wave_->width(), wave_->height());
    QTimer::singleShot(100, this, [this] {
        if (model_->Rows().empty())
            LoadDisc();
    });
}

FrmRip::~FrmRip()
{
    if (!model_->Closed())
        model_->Close(true);
}

void FrmRip::BuildControls()
{
    Settings& store = context_.Logic.Store();
    auto* layout = new QVBoxLayout(this);
    BuildDiscRows(*layout, store);
    layout->addLayout(BuildOptionsRow(store));
    BuildPlayerRows(*layout);
    layout->addLayout(BuildButtonRow(store));
    ConnectDiscAndOptions();
    ConnectPlayerAndButtons();

    timer1_ = new QTimer(this);
    timer1_->setInterval(50);
    connect(timer1_, &QTimer::timeout, this, &FrmRip::TimerTick);
    timer1_->start();
}

/// The drive choice, the disc title and identifiers, and the track list.
void FrmRip::BuildDiscRows(QVBoxLayout& pLayout, Settings& pStore)
{
    auto* driveRow = new QHBoxLayout;
    comboCd_ = new QComboBox(this);
    comboCd_->setObjectName(QStringLiteral("ComboCD"));
    comboCd_->setAccessibleName(QTr("CD ドライブ"));
    comboCd_->setMinimumWidth(300);
    update_ = new QPushButton(Caption(pStore, "Name_Update", "Update"), this);
    update_->setObjectName(QStringLiteral("UpdateButton"));
    driveRow->addWidget(comboCd_, 1);
    driveRow->addWidget(update_);
    pLayout.addLayout(driveRow);

    textTitle_ = new QLineEdit(this);
    textTitle_->setObjectName(QStringLiteral("TextTitle"));
    textTitle_->setAccessibleName(QTr("タイトル"));
    pLayout.addWidget(textTitle_);
    discIds_ = new QLabel(this);
    discIds_->setObjectName(QStringLiteral("DiscIds"));
    discIds_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pLayout.addWidget(discIds_);

    lv_ = new QTreeWidget(this);
    lv_->setObjectName(QStringLiteral("LV"));
    lv_->setAccessibleName(QTr("トラック一覧"));
    lv_->setRootIsDecorated(false);
    lv_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lv_->setHeaderLabels({ Caption(pStore, "Name_No", "No"), Caption(pStore, "Name_Time", "Time"),
        Caption(pStore, "Name_Title", "Title"), QStringLiteral("AccurateRip"), QTr("照合") });
    lv_->setColumnWidth(0, 40);
    lv_->setColumnWidth(1, 70);
    lv_->setColumnWidth(2, 180);
    lv_->setColumnWidth(3, 170);
    lv_->setMinimumHeight(160);
    lv_->viewport()->installEventFilter(this);
    pLayout.addWidget(lv_, 1);
}

/// The level slider and the rip options.
QHBoxLayout* FrmRip::BuildOptionsRow(Settings& pStore)
{
    auto* options = new QHBoxLayout;
    dbBar_ = new QSlider(Qt::Horizontal, this);
    dbBar_->setObjectName(QStringLiteral("DBBar"));
    dbBar_->setAccessibleName(QTr("読み込みレベル"));
    dbBar_->setRange(RipWindowModel::kMinLevelDb, RipWindowModel::kMaxLevelDb);
    dbBar_->setSingleStep(1);
    dbBar_->installEventFilter(this);
    textDb_ = new QLabel(this);
    textDb_->setObjectName(QStringLiteral("Textdb"));
    textDb_->setMinimumWidth(50);
    checkRip_ = new QCheckBox(Caption(pStore, "Name_CheckRip", "Check Rip"), this);
    checkRip_->setObjectName(QStringLiteral("CheckRip"));
    checkCddb_ = new QCheckBox(Caption(pStore, "Name_CDDB", "Get CD Info"), this);
    checkCddb_->setObjectName(QStringLiteral("CheckCDDB"));
    checkParanoia_ = new QCheckBox(QTr("誤り訂正読み込み"), this);
    checkParanoia_->setObjectName(QStringLiteral("CheckParanoia"));
    checkParanoia_->setToolTip(QTr("読み込みを重ねて照合し、傷の誤りを訂正します (遅くなります)"));
    options->addWidget(dbBar_, 1);
    options->addWidget(textDb_);
    options->addWidget(checkRip_);
    options->addWidget(checkCddb_);
    options->addWidget(checkParanoia_);
    return options;
}

/// The player buttons and counter, the wave picture, the meter, the seek bar and FH1.
void FrmRip::BuildPlayerRows(QVBoxLayout& pLayout)
{
    auto* player = new QHBoxLayout;
    stop_ = new QPushButton(QStringLiteral("■"), this);
    stop_->setObjectName(QStringLiteral("PlayButtons0"));
    stop_->setAccessibleName(QTr("停止"));
    pause_ = new QPushButton(QStringLiteral("❚❚"), this);
    pause_->setObjectName(QStringLiteral("PlayButtons1"));
    pause_->setAccessibleName(QTr("一時停止"));
    pause_->setCheckable(true);
    play_ = new QPushButton(QStringLiteral("▶"), this);
    play_->setObjectName(QStringLiteral("PlayButtons2"));
    play_->setAccessibleName(QTr("再生"));
    play_->setCheckable(true);
    picPlay_ = new QLabel(QStringLiteral("000'00.000"), this);
    picPlay_->setObjectName(QStringLiteral("PicPlay"));
    picPlay_->setMinimumWidth(110);
    picPlay_->setAlignment(Qt::AlignCenter);
    picPlay_->setFrameShape(QFrame::Panel);
    picPlay_->setFrameShadow(QFrame::Sunken);
    for (QPushButton* b : { stop_, pause_, play_ }) {
        b->setFixedWidth(40);
        player->addWidget(b);
    }
    player->addWidget(picPlay_);
    player->addStretch();
    pLayout.addLayout(player);

    wave_ = new RipWavePicture(*model_, this);
    wave_->setFixedHeight(80);
    pLayout.addWidget(wave_);
    meter_ = new RipMeter(*model_, this);
    meter_->setFixedHeight(24);
    pLayout.addWidget(meter_);
    progBar_ = new QSlider(Qt::Horizontal, this);
    progBar_->setObjectName(QStringLiteral("ProgBar"));
    progBar_->setAccessibleName(QTr("再生位置"));
    progBar_->setRange(0, 1000);
    pLayout.addWidget(progBar_);

    fh1_ = new UC_FileHand(this);
    fh1_->setObjectName(QStringLiteral("FH1"));
    fh1_->Init(1);
    fh1_->hide();
    pLayout.addWidget(fh1_, 0, Qt::AlignHCenter);
}

QHBoxLayout* FrmRip::BuildButtonRow(Settings& pStore)
{
    auto* buttons = new QHBoxLayout;
    accurateRip_ = new QPushButton(QTr("AccurateRip照合"), this);
    accurateRip_->setObjectName(QStringLiteral("AccurateRipButton"));
    buttons->addWidget(accurateRip_);
    buttons->addStretch();
    cancel_ = new QPushButton(Caption(pStore, "Name_Cancel", "Cancel"), this);
    cancel_->setObjectName(QStringLiteral("CtrlButton0"));
    start_ = new QPushButton(Caption(pStore, "Name_Start", "Start"), this);
    start_->setObjectName(QStringLiteral("CtrlButton1"));
    buttons->addWidget(cancel_);
    buttons->addWidget(start_);
    return buttons;
}

void FrmRip::ConnectDiscAndOptions()
{
    connect(comboCd_, qOverload<int>(&QComboBox::activated), this, [this](int pIndex) {
        if (model_->Playing() || model_->Busy())
            return;
        model_->SelectDrive(pIndex);
        FillRows();
    });
    connect(update_, &QPushButton::clicked, this, [this] { LoadDisc(); });
    connect(lv_, &QTreeWidget::itemSelectionChanged, this, [this] {
        std::vector<int32_t> rows;
        for (QTreeWidgetItem* item : lv_->selectedItems())
            rows.push_back(lv_->indexOfTopLevelItem(item));
        model_->SetSelectedRows(rows);
    });
    connect(dbBar_, &QSlider::valueChanged, this, [this](int pValue) {
        model_->SetLevelDb(pValue);
        textDb_->setText(Q(model_->LevelText()));
    });
    connect(checkRip_, &QCheckBox::toggled, this, [this](bool pOn) { model_->CheckRip = pOn; });
    connect(checkCddb_, &QCheckBox::toggled, this, [this](bool pOn) { model_->UseCddb = pOn; });
    connect(
        checkParanoia_, &QCheckBox::toggled, this, [this](bool pOn) { model_->ParanoiaRip = pOn; });
}

void FrmRip::ConnectPlayerAndButtons()
{
    connect(accurateRip_, &QPushButton::clicked, this, [this] {
        if (model_->Playing() || model_->Busy())
            return;
        setCursor(Qt::WaitCursor);
        Refresh();
        model_->VerifyAccurateRip();
        unsetCursor();
        FillRows();
        Refresh();
    });
    connect(stop_, &QPushButton::clicked, this, [this] {
        if (!model_->Busy())
            model_->Stop(true);
        Refresh();
    });
    connect(pause_, &QPushButton::clicked, this, [this] {
        model_->PauseToggle();
        Refresh();
    });
    connect(play_, &QPushButton::clicked, this, [this] {
        model_->Play();
        Refresh();
    });
    connect(progBar_, &QSlider::sliderPressed, this, [this] { model_->SeekPress(); });
    connect(progBar_, &QSlider::sliderMoved, this, [this](int pValue) {
        model_->SeekMove(pValue);
        picPlay_->setText(Q(model_->PicPlay()));
    });
    connect(progBar_, &QSlider::sliderReleased, this, [this] {
        model_->SeekRelease(progBar_->value());
        Refresh();
    });
    connect(cancel_, &QPushButton::clicked, this, &FrmRip::CancelClicked);
    connect(start_, &QPushButton::clicked, this, &FrmRip::StartClicked);
}

void FrmRip::LoadDisc()
{
    if (model_->Playing() || model_->Busy())
        return;
    if (comboCd_->count() > 0 && comboCd_->currentIndex() < 0)
        comboCd_->setCurrentIndex(0);
    setCursor(Qt::WaitCursor);
    model_->UseCddb = checkCddb_->isChecked();
    model_->ParanoiaRip = checkParanoia_->isChecked();
    if (comboCd_->currentIndex() >= 0)
        model_->SelectDrive(comboCd_->currentIndex());
    unsetCursor();
    // Cancel or the close box during the look-ups stopped their wait; now the window goes.
    if (model_->Closed()) {
        QDialog::reject();
        return;
    }
    FillRows();
}

void FrmRip::FillRows()
{
    textTitle_->setText(Q(model_->DiscTitle()));
    discIds_->setText(Q(model_->DiscIdText()));
    const std::vector<int32_t> selected = model_->SelectedRows();
    lv_->clear();
    for (const RipWindowModel::Row& row : model_->Rows())
        lv_->addTopLevelItem(new QTreeWidgetItem(QStringList {
            Q(row.No), Q(row.Time), Q(row.Title), Q(row.AccurateRip), Q(row.Verdict) }));
    // A refill after the AccurateRip check keeps the rows the user had selected.
    for (int32_t r : selected)
        if (QTreeWidgetItem* item = lv_->topLevelItem(r))
            item->setSelected(true);
}

void FrmRip::Refresh()
{
    if (!model_->Busy() && model_->Playing() != play_->isChecked())
        play_->setChecked(model_->Playing());
    pause_->setChecked(model_->Paused());
    if (!progBar_->isSliderDown())
        progBar_->setValue(model_->ProgBar());
    if (!model_->Busy())
        picPlay_->setText(model_->Playing() || !model_->PicPlay().empty()
                ? Q(model_->PicPlay())
                : QStringLiteral("000'00.000"));
    QPalette palette = picPlay_->palette();
    palette.setColor(
        QPalette::WindowText, model_->Playing() ? QColor(200, 40, 40) : QColor(0, 0, 0));
    picPlay_->setPalette(palette);
    // The list follows the model's selection when the preview moves on to the next track.
    if (model_->Playing() && model_->FirstSelectedRow() >= 0) {
        QTreeWidgetItem* item = lv_->topLevelItem(model_->FirstSelectedRow());
        if (item && !item->isSelected()) {
            lv_->blockSignals(true);
            lv_->clearSelection();
            item->setSelected(true);
            lv_->blockSignals(false);
        }
    }
    const bool idle = !model_->Busy();
    for (QWidget* w : std::initializer_list<QWidget*> {
             comboCd_, update_, stop_, pause_, play_, start_, accurateRip_ })
        w->setEnabled(idle);
    wave_->update();
    meter_->update();
}

void FrmRip::TimerTick()
{
    model_->SetWaveSize(wave_->width(), wave_->height());
    if (model_->DeviceOpen())
        model_->Tick();
    Refresh();
}

void FrmRip::StartClicked()
{
    if (model_->Playing() || model_->Busy())
        return;
    setCursor(Qt::WaitCursor);
    Refresh();
    const bool ran = model_->Start();
    unsetCursor();
    if (!ran)
        return;
    closing_ = true;
    accept();
}

void FrmRip::CancelClicked()
{
    // While the AccurateRip reads run, Cancel stops them and the window stays.
    if (model_->Verifying()) {
        model_->Cancel();
        return;
    }
    model_->Cancel();
    closing_ = true;
    // A rip in progress stops at its next progress event; Start closes the window then.
    if (!model_->Busy())
        reject();
}

void FrmRip::reject()
{
    if (model_->Busy()) {
        model_->Cancel();
        return;
    }
    if (!model_->Closed())
        model_->Close(true);
    QDialog::reject();
}

bool FrmRip::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(pEvent);
        if (pWatched == dbBar_ && mouse->button() == Qt::RightButton) {
            dbBar_->setValue(0);
            return true;
        }
        if (pWatched == lv_->viewport() && mouse->button() == Qt::LeftButton && model_->Playing()) {
            model_->ListClicked();
            Refresh();
        }
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

bool RunRipCommand(GuiContext& pContext, QWidget* pParent)
{
    MainLogic& logic = pContext.Logic;
    if (!CanStartRip(logic))
        return false;
    const std::string target = logic.Folder().NewTempName(1);
    if (target.empty())
        return false;
    std::string ripped;
    {
        FrmRip window(pContext, pParent);
        window.Model().RipTarget = target;
        window.exec();
        ripped = window.Model().RipTarget;
    }
    if (ripped.empty()) {
        // The reserved name is still the empty file NewTempName made.
        if (FileExists(target) && FileSize64(target) == 0)
            DeleteFileForce(target);
        return false;
    }
    return ImportRip(logic, ripped);
}

} // namespace tarvok
