#include "gui/dialogs/frm_fx.h"
#include "gui/gui_text.h"

#include "app/shell/main_logic.h"
#include "app/transport/transport.h"
#include "core/command_ids.h"
#include "core/project.h"
#include "core/time_text.h"
#include "engine/playback_engine.h"
#include "fx/c_fx.h"
#include "gui/controls/uc_vvu.h"
#include "gui/gui_context.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tarvok {

namespace {

/// The height of an effect fader in pixels.
constexpr int kFaderHeight = 140;

} // namespace

QString FaderUnit(int32_t pEffect, const FxFader& pFader)
{
    const std::string& label = pFader.Label;
    if (pFader.Display == FaderDisplay::Frequency)
        return QStringLiteral("Hz");
    if (pFader.Display == FaderDisplay::Q)
        return {};
    // The labels are the effect table's own (untranslated) names, so they are matched as data.
    // The reverb's delay sets the size of the room, not a time.
    const bool delayTime
        = label.find(DATA_TEXT("遅延")) != std::string::npos && pEffect != kCmdFxReverb;
    if (delayTime || label == DATA_TEXT("リリースT") || label == DATA_TEXT("アタックT")
        || label == DATA_TEXT("トリガー") || label == DATA_TEXT("タイム"))
        return QStringLiteral("ms");
    // Faders that reach below zero set a level in decibels; so does the maximiser's boost.
    if ((pFader.Min < 0 && pFader.Max <= 20 && label != DATA_TEXT("微調整"))
        || label == DATA_TEXT("圧"))
        return QStringLiteral("dB");
    if (label == DATA_TEXT("ピッチ"))
        return QTr(DATA_TEXT("半音"));
    static const char* const kPercent[]
        = { DATA_TEXT("レベル"), DATA_TEXT("原音"), DATA_TEXT("デプス"), DATA_TEXT("ステレオ"),
              DATA_TEXT("速さ"), DATA_TEXT("閾値"), DATA_TEXT("レシオ"), "-1oct", "-2oct",
              DATA_TEXT("アタック"), DATA_TEXT("サスティン"), DATA_TEXT("トーン") };
    for (const char* name : kPercent)
        if (label == name)
            return QStringLiteral("%");
    return {};
}

FrmFX::FrmFX(GuiContext& pContext, int32_t pId, C_FX& pFx, QWidget* pParent)
    : QDialog(pParent)
    , ctx_(pContext)
    , fx_(pFx)
    , model_(pId, pContext.Logic.Store(),
          static_cast<int64_t>(pContext.Logic.Proj().MarkOut) - pContext.Logic.Proj().MarkIn,
          pContext.Logic.Proj().SampleRate, pContext.Logic.Options().RMSP3)
    , preview_(pContext.Logic)
{
    setObjectName(QStringLiteral("FrmFX"));
    setWindowTitle(QTr(std::string(model_.Info().Label).c_str()));
    setModal(true);
    if (model_.Info().Extras.Parms == FxParms::GraphicEq)
        fx_.SetEQasGEQ();
    if (model_.Info().Extras.Parms == FxParms::ParametricEq)
        fx_.SetEQBands(3);
    if (!fx_.TimePitch())
        fx_.SetTimePitchEngine(ctx_.Logic.TimePitch());

    auto* layout = new QVBoxLayout(this);
    AddFaders(layout);
    AddChecksAndBox(layout);
    AddQualityChoice(layout);
    AddPreview(layout);
    AddButtons(layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SyncFromModel();
}

// One column per fader: its label, the fader and its value panel.
void FrmFX::AddFaders(QVBoxLayout* pLayout)
{
    const FxInfo& info = model_.Info();
    if (!info.Faders.empty()) {
        auto* grid = new QGridLayout;
        for (int32_t i = 0; i < model_.FaderCount(); ++i) {
            const FxFader& f = info.Faders[static_cast<size_t>(i)];
            auto* label = new QLabel(QTr(f.Label.c_str()), this);
            label->setAlignment(Qt::AlignCenter);
            auto* slider = new QSlider(Qt::Vertical, this);
            slider->setObjectName(QStringLiteral("SliderValue%1").arg(i));
            slider->setAccessibleName(label->text());
            slider->setRange(f.Min, f.Max);
            slider->setMinimumHeight(kFaderHeight);
            slider->installEventFilter(this);
            auto* value = new QLabel(this);
            value->setObjectName(QStringLiteral("TextValue%1").arg(i));
            value->setAlignment(Qt::AlignCenter);
            value->setMinimumWidth(44);
            value->setFrameShape(QFrame::Panel);
            value->setFrameShadow(QFrame::Sunken);
            auto* unit = new QLabel(FaderUnit(info.Id, f), this);
            unit->setObjectName(QStringLiteral("LabelUnit%1").arg(i));
            unit->setAlignment(Qt::AlignCenter);
            grid->addWidget(label, 0, i, Qt::AlignHCenter);
            grid->addWidget(slider, 1, i, Qt::AlignHCenter);
            grid->addWidget(value, 2, i, Qt::AlignHCenter);
            grid->addWidget(unit, 3, i, Qt::AlignHCenter);
            faders_.push_back(slider);
            values_.push_back(value);
            connect(slider, &QSlider::valueChanged, this, [this, i](int pValue) {
                if (syncing_)
                    return;
                model_.SetValue(i, pValue);
                SyncFromModel();
            });
        }
        pLayout->addLayout(grid);
    }
}

// The check boxes and the length or frequency box, in one row.
void FrmFX::AddChecksAndBox(QVBoxLayout* pLayout)
{
    const FxInfo& info = model_.Info();
    if (model_.CheckCount() > 0 || info.Box != FxBox::None) {
        auto* row = new QHBoxLayout;
        for (int32_t i = 0; i < model_.CheckCount(); ++i) {
            const std::string_view text = info.Checks[static_cast<size_t>(i)];
            auto* check = new QCheckBox(
                QString::fromUtf8(text.data(), static_cast<int>(text.size())), this);
            check->setObjectName(QStringLiteral("CheckOPT%1").arg(i));
            checks_.push_back(check);
            row->addWidget(check);
            connect(check, &QCheckBox::toggled, this, [this, i](bool pOn) {
                if (syncing_)
                    return;
                model_.SetCheck(i, pOn);
                SyncFromModel();
            });
        }
        if (info.Box != FxBox::None) {
            row->addWidget(
                new QLabel(info.Box == FxBox::Length ? QTr("長さ") : QTr("周波数"), this));
            box_ = new QLineEdit(this);
            box_->setObjectName(QStringLiteral("TextTime"));
            box_->setAccessibleName(info.Box == FxBox::Length ? QTr("長さ") : QTr("周波数"));
            row->addWidget(box_);
            if (info.Box == FxBox::Frequency)
                row->addWidget(new QLabel(QStringLiteral("Hz"), this));
            connect(box_, &QLineEdit::textEdited, this,
                [this](const QString& pText) { model_.SetBoxText(pText.toStdString()); });
            connect(box_, &QLineEdit::returnPressed, this, [this] {
                if (model_.BoxEnter())
                    Confirm();
                else
                    SyncFromModel();
            });
        }
        row->addStretch();
        pLayout->addLayout(row);
    }
}

// The effect's own algorithm, or the high-quality engine when one is wired in.
void FrmFX::AddQualityChoice(QVBoxLayout* pLayout)
{
    if (model_.HasQualityChoice()) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(QTr("品質"), this));
        quality_ = new QComboBox(this);
        quality_->setObjectName(QStringLiteral("ComboQuality"));
        quality_->setAccessibleName(QTr("品質"));
        quality_->addItem(QTr("標準"));
        quality_->addItem(QTr("高品質"));
        quality_->setEnabled(fx_.TimePitch() != nullptr);
        row->addWidget(quality_);
        row->addStretch();
        pLayout->addLayout(row);
        connect(quality_, &QComboBox::currentIndexChanged, this, [this](int pIndex) {
            if (syncing_)
                return;
            model_.SetHighQuality(pIndex == 1);
            SyncFromModel();
        });
    }
}

// The preview: position and length sliders, play and pause, the message line and the meter.
void FrmFX::AddPreview(QVBoxLayout* pLayout)
{
    const int32_t rate = ctx_.Logic.Proj().SampleRate;
    auto* previewRow = new QGridLayout;
    previewButton_ = new QPushButton(QTr("▶ 試聴"), this);
    previewButton_->setObjectName(QStringLiteral("PreviewButton"));
    pauseButton_ = new QPushButton(QTr("一時停止"), this);
    pauseButton_->setObjectName(QStringLiteral("PauseButton"));
    pauseButton_->setEnabled(false);
    previewFrom_ = new QSlider(Qt::Horizontal, this);
    previewFrom_->setObjectName(QStringLiteral("SliderPreviewFrom"));
    previewFrom_->setAccessibleName(QTr("試聴位置"));
    const int64_t step = std::max<int32_t>(rate / 10, 1);
    previewFrom_->setRange(
        0, static_cast<int>(std::min<int64_t>(preview_.PartFrames() / step, INT32_MAX)));
    previewSec_ = new QSlider(Qt::Horizontal, this);
    previewSec_->setObjectName(QStringLiteral("SliderPreviewSec"));
    previewSec_->setAccessibleName(QTr("試聴秒数"));
    previewSec_->setRange(5, 20);
    previewSec_->setValue(model_.PreviewSec());
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("TextMessage"));
    message_->setMinimumWidth(200);
    meter_ = new UC_VVU(this);
    meter_->setObjectName(QStringLiteral("PictureMVU"));
    meter_->setFixedSize(18, 72);
    meter_->SetRange(0, 32767);
    meter_->SetRedPoint(29000);
    meter_->setToolTip(QTr("クリックで RMS 表示とピーク表示を切り替えます"));
    meter_->setAccessibleName(QTr("試聴レベル"));
    meter_->installEventFilter(this);
    previewRow->addWidget(new QLabel(QTr("試聴位置"), this), 0, 0);
    previewRow->addWidget(previewFrom_, 0, 1);
    previewRow->addWidget(new QLabel(QTr("試聴秒数"), this), 1, 0);
    previewRow->addWidget(previewSec_, 1, 1);
    auto* buttonsRow = new QHBoxLayout;
    buttonsRow->addWidget(previewButton_);
    buttonsRow->addWidget(pauseButton_);
    buttonsRow->addWidget(message_, 1);
    previewRow->addLayout(buttonsRow, 2, 0, 1, 2);
    previewRow->addWidget(meter_, 0, 2, 3, 1);
    pLayout->addLayout(previewRow);
    connect(previewFrom_, &QSlider::valueChanged, this, [this, step](int pValue) {
        model_.SetPreviewFrom(pValue * step);
        message_->setText(QString::fromStdString(model_.Message()));
    });
    connect(previewSec_, &QSlider::valueChanged, this, [this](int pValue) {
        model_.SetPreviewSec(pValue);
        message_->setText(QString::fromStdString(model_.Message()));
    });
    connect(previewButton_, &QPushButton::clicked, this, &FrmFX::TogglePreview);
    connect(pauseButton_, &QPushButton::clicked, this, [this] {
        if (ctx_.Transport && playing_) {
            ctx_.Transport->TogglePreviewPause();
        }
    });
    timer_ = new QTimer(this);
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, &FrmFX::PreviewTick);
}

// "Save Values", Cancel and OK.
void FrmFX::AddButtons(QVBoxLayout* pLayout)
{
    const FxInfo& info = model_.Info();
    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(tr("Save Values"), this);
    save->setObjectName(QStringLiteral("SaveButton"));
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    // Enter in the length box is the box's own; elsewhere it acts as OK.
    ok->setDefault(info.Box != FxBox::Length);
    for (QPushButton* b : { previewButton_, pauseButton_, save, cancel })
        b->setAutoDefault(false);
    buttons->addWidget(save);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    pLayout->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, &FrmFX::SaveValues);
    connect(cancel, &QPushButton::clicked, this, &FrmFX::reject);
    connect(ok, &QPushButton::clicked, this, &FrmFX::Confirm);
}

FrmFX::FrmFX(GuiContext& pContext, int32_t pId, QWidget* pParent)
    : FrmFX(
        pContext, pId, *new C_FX(pContext.Logic.Proj().SampleRate, &pContext.Logic.Ui()), pParent)
{
    own_.reset(&fx_);
}

FrmFX::~FrmFX() { StopPreview(); }

QSlider* FrmFX::Fader(int32_t pIndex) const
{
    if (pIndex < 0 || pIndex >= static_cast<int32_t>(faders_.size()))
        return nullptr;
    return faders_[static_cast<size_t>(pIndex)];
}

void FrmFX::SyncFromModel()
{
    syncing_ = true;
    for (int32_t i = 0; i < static_cast<int32_t>(faders_.size()); ++i) {
        faders_[static_cast<size_t>(i)]->setValue(model_.Value(i));
        values_[static_cast<size_t>(i)]->setText(QString::fromStdString(model_.ValueText(i)));
    }
    for (int32_t i = 0; i < static_cast<int32_t>(checks_.size()); ++i)
        checks_[static_cast<size_t>(i)]->setChecked(model_.Check(i));
    if (quality_)
        quality_->setCurrentIndex(model_.HighQuality() && quality_->isEnabled() ? 1 : 0);
    if (box_ && box_->text() != QString::fromStdString(model_.BoxText()))
        box_->setText(QString::fromStdString(model_.BoxText()));
    syncing_ = false;
}

bool FrmFX::eventFilter(QObject* pObject, QEvent* pEvent)
{
    if (pObject == meter_ && pEvent->type() == QEvent::MouseButtonPress) {
        ToggleMeterMode();
        return true;
    }
    if (pEvent->type() == QEvent::MouseButtonDblClick) {
        const auto it = std::find(faders_.begin(), faders_.end(), pObject);
        if (it != faders_.end() && model_.Info().Extras.BandReset) {
            model_.ResetBand(static_cast<int32_t>(it - faders_.begin()));
            SyncFromModel();
            return true;
        }
    }
    return QDialog::eventFilter(pObject, pEvent);
}

void FrmFX::ToggleMeterMode()
{
    meterRms_ = !meterRms_;
    meter_->ClearVU();
}

void FrmFX::Confirm()
{
    if (making_)
        return;
    if (!model_.Commit(fx_, ctx_.Logic.Ui()))
        return;
    Finish();
    accept();
}

void FrmFX::reject()
{
    if (making_)
        return;
    fx_.FXCanceled = 1;
    Finish();
    QDialog::reject();
}

void FrmFX::closeEvent(QCloseEvent* pEvent)
{
    // The preview file cannot be abandoned half made.
    if (making_) {
        pEvent->ignore();
        return;
    }
    QDialog::closeEvent(pEvent);
}

void FrmFX::Finish()
{
    StopPreview();
    preview_.Discard();
    model_.SavePreviewSec();
}

void FrmFX::SaveValues()
{
    if (!making_)
        model_.SaveValues(fx_, ctx_.Logic.Ui());
}

void FrmFX::TogglePreview()
{
    if (playing_) {
        StopPreview();
        return;
    }
    if (making_)
        return;
    if (preview_.Stale(model_)) {
        making_ = true;
        message_->setText(QTr("ファイル作成中…"));
        const bool made = preview_.Render(model_, fx_);
        making_ = false;
        message_->setText(QString::fromStdString(model_.Message()));
        if (!made)
            return;
    }
    // The preview runs through the transport, so that its end leaves the play state at STOP.
    Transport* transport = ctx_.Transport;
    if (!transport || preview_.File().empty())
        return;
    if (!transport->StartPreview(preview_.File(), 0))
        return;
    playing_ = true;
    previewButton_->setText(QTr("■ 停止"));
    pauseButton_->setEnabled(true);
    timer_->start();
}

void FrmFX::StopPreview()
{
    if (timer_)
        timer_->stop();
    if (playing_ && ctx_.Transport)
        ctx_.Transport->StopPreview();
    playing_ = false;
    if (previewButton_) {
        previewButton_->setText(QTr("▶ 試聴"));
        pauseButton_->setEnabled(false);
    }
    if (meter_)
        meter_->ClearVU();
}

void FrmFX::PreviewTick()
{
    PlaybackEngine* engine = ctx_.Engine;
    Transport* transport = ctx_.Transport;
    if (!engine || !transport || !playing_) {
        StopPreview();
        return;
    }
    const int32_t rate = std::max(ctx_.Logic.Proj().SampleRate, 1);
    if (!previewFrom_->isSliderDown() && !previewSec_->isSliderDown()) {
        const int64_t frames = transport->PreviewPosition();
        message_->setText(QString::fromStdString(TimeText(
            static_cast<int32_t>(std::min<int64_t>(frames * 1000 / rate, INT32_MAX)), 0, false)));
    }
    const int32_t result = transport->RefillPreview();
    if (result == kRefillEndIdle || result == kRefillError) {
        StopPreview();
        return;
    }
    if (result >= 0) {
        const std::array<int32_t, 2> levels
            = PreviewMeterLevels(engine->Samples(0, result), engine->BufferSamples(), meterRms_);
        meter_->SetValues(levels[0], levels[1]);
    }
}

} // namespace tarvok
