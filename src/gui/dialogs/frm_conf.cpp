#include "gui/dialogs/frm_conf.h"
#include "gui/gui_text.h"

#include "app/shell/main_logic.h"
#include "engine/engine_clock.h"
#include "engine/playback_engine.h"
#include "engine/wave_device.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

namespace tarvok {

namespace {

QString Q(const std::string& pText) { return QString::fromStdString(pText); }
std::string S(const QString& pText) { return pText.toStdString(); }

std::vector<std::string> DeviceNames(const std::vector<WaveDeviceInfo>& pDevices)
{
    std::vector<std::string> names;
    names.reserve(pDevices.size());
    for (const WaveDeviceInfo& d : pDevices)
        names.push_back(d.Name);
    return names;
}

/// A stored colour value (red in the low byte) as a Qt colour, and back.
QColor ToColour(int32_t pValue)
{
    return QColor(pValue & 0xFF, (pValue >> 8) & 0xFF, (pValue >> 16) & 0xFF);
}

int32_t FromColour(const QColor& pColour)
{
    return pColour.red() | (pColour.green() << 8) | (pColour.blue() << 16);
}

void PaintSwatch(QPushButton* pButton, int32_t pValue)
{
    QPixmap swatch(48, 16);
    swatch.fill(ToColour(pValue));
    pButton->setIcon(QIcon(swatch));
    pButton->setIconSize(swatch.size());
}

/// A field followed by a unit or a note.
QWidget* WithNote(QWidget* pField, const QString& pNote, QWidget* pParent)
{
    auto* box = new QWidget(pParent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(pField);
    auto* note = new QLabel(pNote, box);
    row->addWidget(note);
    row->addStretch();
    return box;
}

} // namespace

FrmConf::FrmConf(GuiContext& pContext, KeyAssignment* pAssignment, QWidget* pParent)
    : QDialog(pParent)
    , context_(pContext)
    , ownAssignment_(LoadKeyAssignment(pContext.Logic.Store()))
    , assignment_(pAssignment ? pAssignment : &ownAssignment_)
{
    setObjectName(QStringLiteral("FrmConf"));
    setWindowTitle(QTr("設定"));
    setModal(true);
    std::vector<std::string> outputs;
    std::vector<std::string> inputs;
    if (context_.Engine)
        outputs = DeviceNames(context_.Engine->Out().Devices());
    if (context_.WaveIn)
        inputs = DeviceNames(context_.WaveIn->Devices());
    model_ = std::make_unique<SettingsWindowModel>(
        context_.Logic, *assignment_, std::move(outputs), std::move(inputs));

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("TabConf"));
    tabs_->addTab(BuildGeneral(), QTr("一般"));
    tabs_->addTab(BuildDetails(), QTr("詳細"));
    // Many devices give many rows: each keeps its natural height and the page scrolls.
    auto* devices = new QScrollArea;
    devices->setObjectName(QStringLiteral("DeviceScroll"));
    devices->setFrameShape(QFrame::NoFrame);
    devices->setWidgetResizable(true);
    devices->setWidget(BuildDevices());
    tabs_->addTab(devices, QTr("デバイス"));
    tabs_->addTab(BuildKeyboard(), QTr("キーボード"));
    tabs_->addTab(BuildToolbar(), QTr("ツールバー"));
    layout->addWidget(tabs_);
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int pIndex) {
        if (pIndex == 3 || pIndex == 4)
            model_->KeyTabsPrepared = true;
    });

    auto* buttons = new QDialogButtonBox(this);
    buttons->setObjectName(QStringLiteral("OKCancelButtons"));
    QPushButton* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    ok->setObjectName(QStringLiteral("ButtonOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &FrmConf::ApplyAndClose);
    connect(buttons, &QDialogButtonBox::rejected, this, &FrmConf::reject);
    layout->addWidget(buttons);
    setMinimumSize(520, 440);
    resize(560, 460);
}

FrmConf::~FrmConf() = default;

QWidget* FrmConf::BuildGeneral()
{
    SettingsWindowModel& m = *model_;
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    freq_ = new QComboBox(page);
    freq_->setObjectName(QStringLiteral("ComboFreq"));
    freq_->setAccessibleName(QTr("サンプリング周波数"));
    freq_->setEditable(true);
    freq_->lineEdit()->setAccessibleName(QTr("サンプリング周波数"));
    for (const std::string& item : SettingsWindowModel::FreqItems())
        freq_->addItem(Q(item));
    freq_->setCurrentText(Q(m.Freq));
    form->addRow(QTr("サンプリング周波数"), WithNote(freq_, Q(m.ProjectFreqInfo()), page));

    sampleStep_ = new QLineEdit(Q(m.SampleStep), page);
    sampleStep_->setObjectName(QStringLiteral("TextSampleStep"));
    sampleStep_->setAccessibleName(QTr("最小編集単位"));
    sampleStep_->setMaximumWidth(90);
    form->addRow(QTr("最小編集単位"), WithNote(sampleStep_, Q(m.ProjectStepInfo()), page));

    soundPath_ = new QLineEdit(Q(m.SoundPath), page);
    soundPath_->setObjectName(QStringLiteral("TextSoundPath"));
    soundPath_->setAccessibleName(QTr("データフォルダ"));
    auto* pathRow = new QWidget(page);
    auto* pathLayout = new QHBoxLayout(pathRow);
    pathLayout->setContentsMargins(0, 0, 0, 0);
    auto* browse = new QPushButton(QTr("参照..."), pathRow);
    pathLayout->addWidget(soundPath_, 1);
    pathLayout->addWidget(browse);
    connect(browse, &QPushButton::clicked, this, [this] {
        if (std::optional<std::string> folder
            = context_.Logic.Ui().ChooseFolder(S(QTr("データフォルダ")), S(soundPath_->text())))
            soundPath_->setText(Q(*folder));
    });
    form->addRow(QTr("データフォルダ"), pathRow);

    levelMargin_ = new QLineEdit(Q(m.LevelMargin), page);
    levelMargin_->setObjectName(QStringLiteral("TextLevelMargin"));
    levelMargin_->setAccessibleName(QTr("ヘッドルーム"));
    levelMargin_->setMaximumWidth(90);
    form->addRow(QTr("ヘッドルーム"), WithNote(levelMargin_, tr("db"), page));

    delPrjDate_ = new QLineEdit(Q(m.DelPrjDate), page);
    delPrjDate_->setObjectName(QStringLiteral("TextDelPrjDate"));
    delPrjDate_->setAccessibleName(QTr("wpj削除"));
    delPrjDate_->setMaximumWidth(90);
    form->addRow(QTr("wpj削除"), WithNote(delPrjDate_, QTr("日"), page));

    delOnEnd_ = new QCheckBox(QTr("終了時にデータフォルダ整理"), page);
    delOnEnd_->setObjectName(QStringLiteral("CheckDelOnEnd"));
    delOnEnd_->setChecked(m.DelOnEnd);
    form->addRow(QString(), delOnEnd_);
    adjustClock_ = new QCheckBox(QTr("録音同時再生同期"), page);
    adjustClock_->setObjectName(QStringLiteral("CheckAdjustClock"));
    adjustClock_->setChecked(m.AdjustClock);
    form->addRow(QString(), adjustClock_);

    fadeTable_ = new QComboBox(page);
    fadeTable_->setObjectName(QStringLiteral("ComboFadeTableType"));
    for (const std::string& item : SettingsWindowModel::FadeTableItems())
        fadeTable_->addItem(QTr(item.c_str()));
    fadeTable_->setCurrentIndex(m.FadeTableType);
    form->addRow(QTr("フェードテーブル"), fadeTable_);

    mixerApp_ = new QLineEdit(Q(m.MixerApp), page);
    mixerApp_->setObjectName(QStringLiteral("TextMixerApp"));
    mixerApp_->setAccessibleName(QTr("ミキサー"));
    auto* mixerRow = new QWidget(page);
    auto* mixerLayout = new QHBoxLayout(mixerRow);
    mixerLayout->setContentsMargins(0, 0, 0, 0);
    auto* pick = new QPushButton(QTr("参照..."), mixerRow);
    mixerLayout->addWidget(mixerApp_, 1);
    mixerLayout->addWidget(pick);
    connect(pick, &QPushButton::clicked, this, [this] {
        if (std::optional<std::string> file
            = context_.Logic.Ui().ChooseOpenFile(S(QTr("ミキサー")), "", S(mixerApp_->text())))
            mixerApp_->setText(Q(*file));
    });
    form->addRow(QTr("ミキサー"), mixerRow);
    return page;
}

QWidget* FrmConf::BuildDetails()
{
    SettingsWindowModel& m = *model_;
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    sizeRate_ = new QLineEdit(Q(m.SizeRate), page);
    sizeRate_->setObjectName(QStringLiteral("TextSizeRate"));
    sizeRate_->setAccessibleName(QTr("表示サイズ"));
    sizeRate_->setMaximumWidth(90);
    form->addRow(QTr("表示サイズ"), WithNote(sizeRate_, QString(), page));
    language_ = new QComboBox(page);
    language_->setObjectName(QStringLiteral("ComboLanguage"));
    language_->setAccessibleName(QTr("言語"));
    for (const std::string& item : SettingsWindowModel::LanguageItems())
        language_->addItem(QTr(item.c_str()));
    language_->setCurrentIndex(m.Language);
    form->addRow(QTr("言語"), WithNote(language_, QTr("次回の起動から"), page));
    vuLevelTrim_ = new QLineEdit(Q(m.VULevelTrim), page);
    vuLevelTrim_->setObjectName(QStringLiteral("TextVULevelTrim"));
    vuLevelTrim_->setAccessibleName(QTr("メーターレベル"));
    vuLevelTrim_->setMaximumWidth(90);
    form->addRow(QTr("メーターレベル"), WithNote(vuLevelTrim_, tr("dbfs"), page));
    waveColour_ = new QPushButton(page);
    waveColour_->setObjectName(QStringLiteral("PictureColor0"));
    waveColour_->setAccessibleName(QTr("波形色"));
    PaintSwatch(waveColour_, m.WaveColor);
    lockColour_ = new QPushButton(page);
    lockColour_->setObjectName(QStringLiteral("PictureColor1"));
    lockColour_->setAccessibleName(QTr("ロック色"));
    PaintSwatch(lockColour_, m.WaveColorLocked);
    connect(waveColour_, &QPushButton::clicked, this,
        [this] { ChooseColour(model_->WaveColor, waveColour_); });
    connect(lockColour_, &QPushButton::clicked, this,
        [this] { ChooseColour(model_->WaveColorLocked, lockColour_); });
    auto* colours = new QWidget(page);
    auto* colourRow = new QHBoxLayout(colours);
    colourRow->setContentsMargins(0, 0, 0, 0);
    colourRow->addWidget(new QLabel(QTr("波形色"), colours));
    colourRow->addWidget(waveColour_);
    colourRow->addSpacing(16);
    colourRow->addWidget(new QLabel(QTr("ロック色"), colours));
    colourRow->addWidget(lockColour_);
    colourRow->addStretch();
    form->addRow(colours);
    layout->addLayout(form);

    displayOptions_ = new QListWidget(page);
    displayOptions_->setObjectName(QStringLiteral("CheckDispOP"));
    displayOptions_->setAccessibleName(QTr("表示オプション"));
    const std::vector<std::string>& captions = SettingsWindowModel::DisplayOptionCaptions();
    for (size_t i = 0; i < captions.size(); ++i) {
        auto* item = new QListWidgetItem(QTr(captions[i].c_str()), displayOptions_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(m.DisplayOptions[i] ? Qt::Checked : Qt::Unchecked);
    }
    connect(displayOptions_, &QListWidget::itemChanged, this, [this](QListWidgetItem* pItem) {
        if (displayOptions_->row(pItem) == 0)
            model_->SetHideMark(pItem->checkState() == Qt::Checked);
    });
    layout->addWidget(displayOptions_, 1);
    return page;
}

QWidget* FrmConf::BuildDevices()
{
    SettingsWindowModel& m = *model_;
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto deviceGroup = [&](const QString& pTitle, const std::vector<std::string>& pNames,
                           int32_t pSlots, std::array<int32_t, 8>& pChoice,
                           std::array<QComboBox*, 8>& pCombos, const QString& pPrefix) {
        auto* group = new QGroupBox(pTitle, page);
        auto* form = new QFormLayout(group);
        for (int32_t slot = 0; slot < pSlots; ++slot) {
            auto* combo = new QComboBox(group);
            combo->setObjectName(pPrefix + QString::number(slot));
            for (int32_t id = 0; id < static_cast<int32_t>(pNames.size()); ++id)
                combo->addItem(
                    Q(SettingsWindowModel::DeviceItem(id, pNames[static_cast<size_t>(id)])));
            combo->setCurrentIndex(pChoice[static_cast<size_t>(slot)]);
            pCombos[static_cast<size_t>(slot)] = combo;
            form->addRow(Q(SettingsWindowModel::SlotLabel(slot)), combo);
        }
        if (pSlots == 0)
            form->addRow(new QLabel(QTr("デバイスがありません"), group));
        layout->addWidget(group);
    };
    deviceGroup(QTr("出力デバイス"), m.OutputDevices(), m.OutputSlotCount(), m.OutputChoice,
        outputs_, QStringLiteral("ComboOutput"));
    deviceGroup(QTr("入力デバイス"), m.InputDevices(), m.InputSlotCount(), m.InputChoice, inputs_,
        QStringLiteral("ComboInput"));
    auto* trims = new QFormLayout;
    playTrim_ = new QLineEdit(Q(m.PlayTrim), page);
    playTrim_->setObjectName(QStringLiteral("TextTrimDB0"));
    playTrim_->setAccessibleName(QTr("再生トリム"));
    playTrim_->setMaximumWidth(90);
    recTrim_ = new QLineEdit(Q(m.RecTrim), page);
    recTrim_->setObjectName(QStringLiteral("TextTrimDB1"));
    recTrim_->setAccessibleName(QTr("録音トリム"));
    recTrim_->setMaximumWidth(90);
    trims->addRow(QTr("再生トリム"), WithNote(playTrim_, tr("db"), page));
    trims->addRow(QTr("録音トリム"), WithNote(recTrim_, tr("db"), page));
    layout->addLayout(trims);
    // The round trip of the first output and input: a click played and recorded back.
    auto* measure = new QPushButton(QTr("往復遅延を測定"), page);
    measure->setObjectName(QStringLiteral("ButtonMeasureLatency"));
    measure->setAutoDefault(false);
    measure->setEnabled(context_.Engine && context_.WaveIn);
    auto* measured = new QLabel(page);
    measured->setObjectName(QStringLiteral("LabelLatency"));
    measured->setWordWrap(true);
    connect(measure, &QPushButton::clicked, this, [this, measured] {
        if (outputs_[0])
            model_->OutputChoice[0] = outputs_[0]->currentIndex();
        if (inputs_[0])
            model_->InputChoice[0] = inputs_[0]->currentIndex();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        SystemEngineClock clock;
        measured->setText(
            Q(model_->MeasureLatency(context_.Engine->Out(), *context_.WaveIn, clock)));
        QApplication::restoreOverrideCursor();
    });
    layout->addWidget(WithNote(measure, QString(), page));
    layout->addWidget(measured);
    layout->addStretch();
    return page;
}

QComboBox* FrmConf::CommandCombo(const std::string& pCurrent, QWidget* pParent) const
{
    auto* combo = new QComboBox(pParent);
    for (const std::string& choice : SettingsWindowModel::CommandChoices())
        combo->addItem(Q(choice));
    combo->setCurrentIndex(combo->findText(Q(pCurrent)));
    combo->setMaxVisibleItems(20);
    return combo;
}

QWidget* FrmConf::BuildKeyboard()
{
    SettingsWindowModel& m = *model_;
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    keys_ = new QTableWidget(SettingsWindowModel::kKeyRowCount, 2, page);
    keys_->setObjectName(QStringLiteral("LVSC"));
    keys_->setAccessibleName(QTr("キー割り当て"));
    keys_->setHorizontalHeaderLabels({ QTr("キー"), QTr("機能") });
    keys_->verticalHeader()->hide();
    keys_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    keys_->horizontalHeader()->setStretchLastSection(true);
    keys_->setSelectionMode(QAbstractItemView::NoSelection);
    for (int row = 0; row < SettingsWindowModel::kKeyRowCount; ++row) {
        auto* name = new QTableWidgetItem(Q(SettingsWindowModel::KeyRowName(row)));
        name->setFlags(Qt::ItemIsEnabled);
        keys_->setItem(row, 0, name);
        QComboBox* command = CommandCombo(m.KeyRows[static_cast<size_t>(row)], keys_);
        command->setAccessibleName(Q(SettingsWindowModel::KeyRowName(row)));
        keys_->setCellWidget(row, 1, command);
    }
    layout->addWidget(keys_);
    return page;
}

QWidget* FrmConf::BuildToolbar()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    toolbar_ = new QTableWidget(0, 2, page);
    toolbar_->setObjectName(QStringLiteral("LVSCToolbar"));
    toolbar_->setHorizontalHeaderLabels({ QTr("ボタン"), QTr("機能") });
    toolbar_->verticalHeader()->hide();
    toolbar_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    toolbar_->horizontalHeader()->setStretchLastSection(true);
    toolbar_->setSelectionBehavior(QAbstractItemView::SelectRows);
    toolbar_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FillToolbarTable();
    layout->addWidget(toolbar_, 1);

    auto* strip = new QHBoxLayout;
    showToolBar_ = new QCheckBox(QTr("ツールバー表示"), page);
    showToolBar_->setObjectName(QStringLiteral("CheckShowToolBar"));
    showToolBar_->setChecked(model_->ShowToolBar);
    strip->addWidget(showToolBar_);
    strip->addStretch();
    const QString captions[] = { QTr("追加"), QTr("削除"), tr("▽"), tr("△") };
    const char* names[] = { "ButtonAdd", "ButtonDelete", "ButtonDown", "ButtonUp" };
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(captions[i], page);
        button->setObjectName(QLatin1String(names[i]));
        button->setAutoDefault(false);
        strip->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, i] {
            ReadToolbarTable();
            int select = -1;
            if (i == 0) {
                select = model_->AddToolbarRow(SelectedToolbarRow());
            } else if (i == 1) {
                std::set<int32_t> rows;
                for (const QModelIndex& index : toolbar_->selectionModel()->selectedRows())
                    rows.insert(index.row());
                model_->DeleteToolbarRows(rows);
            } else if (i == 2) {
                select = model_->MoveToolbarRowDown(SelectedToolbarRow());
            } else {
                select = model_->MoveToolbarRowUp(SelectedToolbarRow());
            }
            FillToolbarTable();
            if (select >= 0)
                toolbar_->selectRow(select);
        });
    }
    layout->addLayout(strip);
    return page;
}

void FrmConf::FillToolbarTable()
{
    toolbar_->clearContents();
    toolbar_->setRowCount(static_cast<int>(model_->ToolbarRows.size()));
    for (int row = 0; row < toolbar_->rowCount(); ++row) {
        auto* name = new QTableWidgetItem(Q(SettingsWindowModel::ToolbarRowName(row)));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        toolbar_->setItem(row, 0, name);
        toolbar_->setCellWidget(
            row, 1, CommandCombo(model_->ToolbarRows[static_cast<size_t>(row)], toolbar_));
    }
}

void FrmConf::ReadToolbarTable()
{
    for (int row = 0; row < toolbar_->rowCount(); ++row) {
        if (auto* combo = qobject_cast<QComboBox*>(toolbar_->cellWidget(row, 1)))
            model_->ToolbarRows[static_cast<size_t>(row)] = S(combo->currentText());
    }
}

int FrmConf::SelectedToolbarRow() const
{
    const QModelIndexList rows = toolbar_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void FrmConf::ChooseColour(int32_t& pValue, QPushButton* pButton)
{
    const QColor chosen = QColorDialog::getColor(ToColour(pValue), this);
    if (!chosen.isValid())
        return;
    pValue = FromColour(chosen);
    PaintSwatch(pButton, pValue);
}

void FrmConf::ReadControls()
{
    SettingsWindowModel& m = *model_;
    m.Freq = S(freq_->currentText());
    m.SampleStep = S(sampleStep_->text());
    m.SoundPath = S(soundPath_->text());
    m.LevelMargin = S(levelMargin_->text());
    m.DelPrjDate = S(delPrjDate_->text());
    m.DelOnEnd = delOnEnd_->isChecked();
    m.AdjustClock = adjustClock_->isChecked();
    m.FadeTableType = fadeTable_->currentIndex();
    m.MixerApp = S(mixerApp_->text());
    m.SizeRate = S(sizeRate_->text());
    m.Language = language_->currentIndex();
    m.VULevelTrim = S(vuLevelTrim_->text());
    for (int i = 0; i < displayOptions_->count(); ++i)
        m.DisplayOptions[static_cast<size_t>(i)]
            = displayOptions_->item(i)->checkState() == Qt::Checked;
    for (int32_t slot = 0; slot < m.OutputSlotCount(); ++slot)
        m.OutputChoice[static_cast<size_t>(slot)]
            = outputs_[static_cast<size_t>(slot)]->currentIndex();
    for (int32_t slot = 0; slot < m.InputSlotCount(); ++slot)
        m.InputChoice[static_cast<size_t>(slot)]
            = inputs_[static_cast<size_t>(slot)]->currentIndex();
    m.PlayTrim = S(playTrim_->text());
    m.RecTrim = S(recTrim_->text());
    for (int row = 0; row < SettingsWindowModel::kKeyRowCount; ++row) {
        if (auto* combo = qobject_cast<QComboBox*>(keys_->cellWidget(row, 1)))
            m.KeyRows[static_cast<size_t>(row)] = S(combo->currentText());
    }
    ReadToolbarTable();
    m.ShowToolBar = showToolBar_->isChecked();
}

void FrmConf::ApplyAndClose()
{
    ReadControls();
    model_->Apply();
    delPrjDate_->setText(Q(model_->DelPrjDate));
    accept();
}

} // namespace tarvok
