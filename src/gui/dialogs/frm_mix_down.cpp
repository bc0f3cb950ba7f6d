#include "gui/dialogs/frm_mix_down.h"
#include "gui/gui_text.h"

#include "app/shell/main_logic.h"
#include "base/file_name.h"
#include "core/paths.h"
#include "core/project_file.h"
#include "gui/controls/uc_file_hand.h"
#include "gui/dialogs/window_placement.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarvok {

namespace {

QString Q(const std::string& pText) { return QString::fromStdString(pText); }
std::string S(const QString& pText) { return pText.toStdString(); }

/// A line edit with a unit label after it.
QWidget* WithUnit(QWidget* pField, const QString& pUnit, QWidget* pParent)
{
    auto* box = new QWidget(pParent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(pField, 1);
    row->addWidget(new QLabel(pUnit, box));
    return box;
}

} // namespace

FrmMixDown::FrmMixDown(GuiContext& pContext, QWidget* pParent)
    : QDialog(pParent)
    , context_(pContext)
    , model_(pContext.Logic, pContext.Encoder, pContext.FileEncoder)
{
    setObjectName(QStringLiteral("FrmMixDown"));
    setWindowTitle(QTr("wavファイル作成"));
    setModal(true);
    BuildControls();
    LoadControls();
    adjustSize();
    RestoreWindowPlacement(*this, context_.Logic.Store(), QStringLiteral("Mix"), true);
}

void FrmMixDown::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(BuildSourceTargetRow());
    layout->addWidget(BuildFormatBox());
    layout->addWidget(BuildOptionsBox());
    BuildTargetFileRows(*layout);
    layout->addLayout(BuildButtonRow());
    ConnectSourceAndFormat();
    ConnectOptionsAndButtons();
}

/// Source and target side by side.
QHBoxLayout* FrmMixDown::BuildSourceTargetRow()
{
    auto* top = new QHBoxLayout;
    auto* source = new QGroupBox(QTr("ソース"), this);
    auto* sourceGrid = new QVBoxLayout(source);
    sourceTracks_ = new QComboBox(source);
    sourceTracks_->setObjectName(QStringLiteral("ComboSourceTracks"));
    sourceTracks_->setAccessibleName(QTr("ミックスするトラック"));
    for (const std::string& item : MixdownWindowModel::SourceTrackItems())
        sourceTracks_->addItem(QTr(item.c_str()));
    sourceRange_ = new QComboBox(source);
    sourceRange_->setObjectName(QStringLiteral("ComboSourceRange"));
    sourceRange_->setAccessibleName(QTr("ミックスする範囲"));
    for (const std::string& item : MixdownWindowModel::SourceRangeItems())
        sourceRange_->addItem(QTr(item.c_str()));
    sourceGrid->addWidget(sourceTracks_);
    sourceGrid->addWidget(sourceRange_);
    sourceGrid->addStretch();
    top->addWidget(source, 1);

    auto* targetBox = new QGroupBox(QTr("出力先"), this);
    auto* targetGrid = new QGridLayout(targetBox);
    target_ = new QButtonGroup(this);
    const std::vector<std::string>& captions = MixdownWindowModel::TargetCaptions();
    for (int i = 0; i < static_cast<int>(captions.size()); ++i) {
        auto* option = new QRadioButton(QTr(captions[static_cast<size_t>(i)].c_str()), targetBox);
        option->setObjectName(QStringLiteral("CheckTarget%1").arg(i));
        target_->addButton(option, i);
        targetGrid->addWidget(option, i, 0);
    }
    targetTrack_ = new QComboBox(targetBox);
    targetTrack_->setObjectName(QStringLiteral("ComboTargetTrack"));
    targetTrack_->setAccessibleName(QTr("出力先トラック"));
    for (const std::string& item : model_.TargetTrackItems())
        targetTrack_->addItem(Q(item));
    targetGrid->addWidget(targetTrack_, 1, 1);
    top->addWidget(targetBox, 1);
    return top;
}

/// The output format.
QGroupBox* FrmMixDown::BuildFormatBox()
{
    auto* formatBox = new QGroupBox(QTr("形式"), this);
    auto* formatGrid = new QGridLayout(formatBox);
    freq_ = new QComboBox(formatBox);
    freq_->setObjectName(QStringLiteral("ComboFreq"));
    freq_->setAccessibleName(QTr("サンプリング周波数"));
    freq_->setEditable(true);
    freq_->lineEdit()->setAccessibleName(QTr("サンプリング周波数"));
    for (const std::string& item : MixdownWindowModel::RateItems())
        freq_->addItem(Q(item));
    freq_->setValidator(new QIntValidator(1, 768000, freq_));
    format_ = new QComboBox(formatBox);
    format_->setObjectName(QStringLiteral("ComboFmt"));
    format_->setAccessibleName(QTr("形式"));
    for (const std::string& item : MixdownWindowModel::FormatItems())
        format_->addItem(Q(item));
    encode_ = new QCheckBox(tr("mp3"), formatBox);
    encode_->setObjectName(QStringLiteral("CheckEncode"));
    bitRate_ = new QComboBox(formatBox);
    bitRate_->setObjectName(QStringLiteral("ComboBitRate"));
    bitRate_->setAccessibleName(QTr("ビットレート"));
    bitRate_->setMinimumContentsLength(4);
    formatGrid->addWidget(WithUnit(freq_, tr("Hz"), formatBox), 0, 0);
    formatGrid->addWidget(format_, 0, 1);
    formatGrid->addWidget(encode_, 0, 2);
    formatGrid->addWidget(WithUnit(bitRate_, tr("kbps"), formatBox), 0, 3);
    return formatBox;
}

/// Normalisation, loops and silences.
QGroupBox* FrmMixDown::BuildOptionsBox()
{
    auto* optionBox = new QGroupBox(QTr("オプション"), this);
    auto* optionGrid = new QGridLayout(optionBox);
    normalize_ = new QCheckBox(QTr("ノーマライズ"), optionBox);
    normalize_->setObjectName(QStringLiteral("CheckNormalize"));
    normalizeLevel_ = new QLineEdit(optionBox);
    normalizeLevel_->setObjectName(QStringLiteral("TextNormalize"));
    normalizeLevel_->setAccessibleName(QTr("ノーマライズのレベル"));
    rms_ = new QCheckBox(tr("RMS"), optionBox);
    rms_->setObjectName(QStringLiteral("CheckRMS"));
    loudness_ = new QCheckBox(QTr("ラウドネス"), optionBox);
    loudness_->setObjectName(QStringLiteral("CheckLoudness"));
    loudnessLevel_ = new QLineEdit(optionBox);
    loudnessLevel_->setObjectName(QStringLiteral("TextLoudness"));
    loudnessLevel_->setAccessibleName(QTr("ラウドネスの目標"));
    measureLoudness_ = new QCheckBox(QTr("測定"), optionBox);
    measureLoudness_->setObjectName(QStringLiteral("CheckMeasureLoudness"));
    measureLoudness_->setToolTip(QTr("作成したミックスのラウドネスとトゥルーピークを表示します"));
    loop_ = new QLineEdit(optionBox);
    loop_->setObjectName(QStringLiteral("TextLoop"));
    loop_->setAccessibleName(QTr("ループ"));
    suStart_ = new QLineEdit(optionBox);
    suStart_->setObjectName(QStringLiteral("TextSuStart"));
    suStart_->setAccessibleName(QTr("前空白"));
    suEnd_ = new QLineEdit(optionBox);
    suEnd_->setObjectName(QStringLiteral("TextSuEnd"));
    suEnd_->setAccessibleName(QTr("後空白"));
    for (QLineEdit* edit : { normalizeLevel_, loudnessLevel_, loop_, suStart_, suEnd_ })
        edit->setMaximumWidth(80);
    optionGrid->addWidget(normalize_, 0, 0);
    optionGrid->addWidget(WithUnit(normalizeLevel_, tr("db"), optionBox), 0, 1);
    optionGrid->addWidget(rms_, 0, 2);
    optionGrid->addWidget(loudness_, 1, 0);
    optionGrid->addWidget(WithUnit(loudnessLevel_, tr("LUFS"), optionBox), 1, 1);
    optionGrid->addWidget(measureLoudness_, 1, 2);
    optionGrid->addWidget(new QLabel(QTr("ループ"), optionBox), 2, 0);
    optionGrid->addWidget(loop_, 2, 1, Qt::AlignLeft);
    optionGrid->addWidget(new QLabel(QTr("前空白"), optionBox), 3, 0);
    optionGrid->addWidget(WithUnit(suStart_, tr("ms"), optionBox), 3, 1);
    optionGrid->addWidget(new QLabel(QTr("後空白"), optionBox), 3, 2, Qt::AlignRight);
    optionGrid->addWidget(WithUnit(suEnd_, tr("ms"), optionBox), 3, 3);
    return optionBox;
}

/// The target file, the information line and the progress control.
void FrmMixDown::BuildTargetFileRows(QVBoxLayout& pLayout)
{
    auto* pathRow = new QHBoxLayout;
    targetFile_ = new QLineEdit(this);
    targetFile_->setObjectName(QStringLiteral("TextTargetFile"));
    targetFile_->setAccessibleName(QTr("出力ファイル"));
    targetFile_->setMinimumWidth(360);
    browse_ = new QPushButton(QTr("参照..."), this);
    browse_->setObjectName(QStringLiteral("ButtonBrowse"));
    pathRow->addWidget(targetFile_, 1);
    pathRow->addWidget(browse_);
    pLayout.addLayout(pathRow);

    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("LabelInfo"));
    info_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pLayout.addWidget(info_);

    progress_ = new UC_FileHand(this);
    progress_->setObjectName(QStringLiteral("FH1"));
    progress_->Init(1);
    progress_->hide();
    pLayout.addWidget(progress_, 0, Qt::AlignHCenter);
}

QHBoxLayout* FrmMixDown::BuildButtonRow()
{
    auto* buttons = new QHBoxLayout;
    save_ = new QPushButton(tr("Save Values"), this);
    save_->setObjectName(QStringLiteral("SaveButtons"));
    save_->setAutoDefault(false);
    auto* box = new QDialogButtonBox(this);
    box->setObjectName(QStringLiteral("OKCancelButtons"));
    ok_ = box->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    cancel_ = box->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    buttons->addWidget(save_);
    buttons->addStretch();
    buttons->addWidget(box);
    return buttons;
}

void FrmMixDown::ConnectSourceAndFormat()
{
    connect(sourceTracks_, &QComboBox::currentIndexChanged, this,
        [this](int pIndex) { model_.SetSourceTracks(pIndex); });
    connect(sourceRange_, &QComboBox::currentIndexChanged, this,
        [this](int pIndex) { model_.SetSourceRange(pIndex); });
    connect(target_, &QButtonGroup::idClicked, this, [this](int pId) {
        model_.SetTargetMode(pId);
        RefreshEnabling();
    });
    connect(targetTrack_, &QComboBox::currentIndexChanged, this,
        [this](int pIndex) { model_.SetTargetTrack(pIndex); });
    connect(freq_, &QComboBox::currentTextChanged, this, [this](const QString& pText) {
        if (loading_)
            return;
        model_.SetFreq(S(pText));
        RefreshBitRates();
    });
    connect(format_, &QComboBox::currentIndexChanged, this, [this](int pIndex) {
        if (loading_)
            return;
        model_.SetWaveMode(pIndex);
        RefreshBitRates();
    });
    connect(encode_, &QCheckBox::toggled, this, [this](bool pOn) {
        if (loading_)
            return;
        model_.SetEncode(pOn);
        targetFile_->setText(Q(model_.Request().TargetFile));
        RefreshEnabling();
    });
    connect(bitRate_, &QComboBox::currentTextChanged, this, [this](const QString& pText) {
        if (!loading_)
            model_.SetBitRate(S(pText));
    });
}

void FrmMixDown::ConnectOptionsAndButtons()
{
    // Normalising and the loudness target exclude each other: the model clears the other.
    const auto syncLevelChecks = [this] {
        const bool wasLoading = loading_;
        loading_ = true;
        normalize_->setChecked(model_.Request().Normalize);
        loudness_->setChecked(model_.Request().Loudness);
        loading_ = wasLoading;
        RefreshEnabling();
    };
    connect(normalize_, &QCheckBox::toggled, this, [this, syncLevelChecks](bool pOn) {
        if (loading_)
            return;
        model_.SetNormalize(pOn);
        syncLevelChecks();
    });
    connect(loudness_, &QCheckBox::toggled, this, [this, syncLevelChecks](bool pOn) {
        if (loading_)
            return;
        model_.SetLoudness(pOn);
        syncLevelChecks();
    });
    connect(measureLoudness_, &QCheckBox::toggled, this,
        [this](bool pOn) { model_.SetMeasureLoudness(pOn); });
    connect(loudnessLevel_, &QLineEdit::textChanged, this,
        [this](const QString& pText) { model_.SetLoudnessLevel(S(pText)); });
    connect(rms_, &QCheckBox::toggled, this, [this](bool pOn) { model_.SetUseRms(pOn); });
    connect(normalizeLevel_, &QLineEdit::textChanged, this,
        [this](const QString& pText) { model_.SetNormalizeLevel(S(pText)); });
    connect(loop_, &QLineEdit::textChanged, this,
        [this](const QString& pText) { model_.SetLoop(S(pText)); });
    connect(suStart_, &QLineEdit::textChanged, this,
        [this](const QString& pText) { model_.SetSuStart(S(pText)); });
    connect(suEnd_, &QLineEdit::textChanged, this,
        [this](const QString& pText) { model_.SetSuEnd(S(pText)); });
    connect(targetFile_, &QLineEdit::textChanged, this,
        [this](const QString& pText) { model_.SetTargetFile(S(pText)); });
    connect(browse_, &QPushButton::clicked, this, &FrmMixDown::ChooseFile);
    connect(save_, &QPushButton::clicked, this, &FrmMixDown::SaveValues);
    connect(ok_, &QPushButton::clicked, this, &FrmMixDown::RunOk);
    connect(cancel_, &QPushButton::clicked, this, &FrmMixDown::reject);
    connect(progress_, &UC_FileHand::CancelClicked, this,
        [this] { context_.Logic.CancelRequest = true; });
}

void FrmMixDown::LoadControls()
{
    loading_ = true;
    const MixdownRequest& r = model_.Request();
    sourceTracks_->setCurrentIndex(r.SourceTracks);
    sourceRange_->setCurrentIndex(r.SourceRange);
    if (QAbstractButton* option = target_->button(r.TargetMode))
        option->setChecked(true);
    targetTrack_->setCurrentIndex(r.TargetTrack);
    freq_->setCurrentText(Q(r.Freq));
    format_->setCurrentIndex(r.WaveMode);
    encode_->setChecked(r.Encode);
    normalize_->setChecked(r.Normalize);
    rms_->setChecked(r.UseRMS);
    normalizeLevel_->setText(Q(r.NormalizeLevel));
    loudness_->setChecked(r.Loudness);
    loudnessLevel_->setText(Q(r.LoudnessLevel));
    measureLoudness_->setChecked(r.MeasureLoudness);
    loop_->setText(Q(r.Loop));
    suStart_->setText(Q(r.SuStart));
    suEnd_->setText(Q(r.SuEnd));
    targetFile_->setText(Q(r.TargetFile));
    QString info = Q(model_.ProjectInfo());
    if (!model_.SoundFileInfo().empty())
        info += QStringLiteral("    ") + Q(model_.SoundFileInfo());
    info_->setText(info);
    loading_ = false;
    RefreshBitRates();
}

void FrmMixDown::RefreshBitRates()
{
    const bool wasLoading = loading_;
    loading_ = true;
    bitRate_->clear();
    for (int32_t rate : model_.BitRates())
        bitRate_->addItem(QString::number(rate));
    if (!model_.BitRates().empty())
        bitRate_->setCurrentText(Q(model_.Request().BitRate));
    loading_ = wasLoading;
    RefreshEnabling();
}

void FrmMixDown::RefreshEnabling()
{
    if (running_)
        return;
    const MixdownWindowModel::Enabling e = model_.Enabled();
    targetTrack_->setEnabled(e.TrackList);
    format_->setEnabled(e.Format);
    freq_->setEnabled(e.Rate);
    encode_->setEnabled(e.Encode);
    bitRate_->setEnabled(e.BitRate);
    targetFile_->setEnabled(e.Path);
    browse_->setEnabled(e.Path);
    normalizeLevel_->setEnabled(e.NormalizeLevel);
    rms_->setEnabled(e.Rms);
    loudness_->setEnabled(e.Loudness);
    loudnessLevel_->setEnabled(e.LoudnessLevel);
    measureLoudness_->setEnabled(e.MeasureLoudness);
}

void FrmMixDown::SetControlsEnabled(bool pOn)
{
    for (QWidget* w : findChildren<QWidget*>()) {
        if (w != progress_ && !progress_->isAncestorOf(w) && w->parentWidget() == this)
            w->setEnabled(pOn);
    }
    if (pOn)
        RefreshEnabling();
}

void FrmMixDown::ChooseFile()
{
    const std::string extension = model_.PathExtension();
    // The chooser starts in the folder of "MixDownPath" with the name of the path box.
    const std::string current = model_.Request().TargetFile;
    const std::string& folder = model_.Request().Path;
    const std::string initial = (folder.empty() ? std::string() : WithTrailingSlash(folder))
        + current.substr(FolderOf(current).size());
    std::optional<std::string> chosen
        = context_.Logic.Ui().ChooseSaveFile(S(QTr("wavファイル作成")), "*." + extension, initial);
    if (!chosen)
        return;
    targetFile_->setText(Q(EnsureOutputExtension(*chosen, model_.PathKind())));
}

void FrmMixDown::SaveValues()
{
    model_.SaveValues();
    loop_->setText(Q(model_.Request().Loop));
}

void FrmMixDown::RunOk()
{
    if (running_)
        return;
    running_ = true;
    SetControlsEnabled(false);
    progress_->ResetCancel();
    progress_->ShowProgress(QTr("wavファイル作成"), 0.0);
    progress_->show();
    const QString label = QTr("wavファイル作成");
    MixdownResult result = model_.Run([this, &label](double pDone, std::string_view) {
        progress_->ShowProgress(
            QStringLiteral("%1 %2%").arg(label).arg(pDone * 100.0, 0, 'f', 1), pDone);
        return true;
    });
    running_ = false;
    progress_->hide();
    lastResult_ = result;
    if (MixdownWindowModel::ClosesAfter(result)) {
        accept();
        return;
    }
    SetControlsEnabled(true);
}

void FrmMixDown::reject()
{
    // The run is stopped through the progress control's Cancel, not by closing the window.
    if (running_)
        return;
    QDialog::reject();
}

void FrmMixDown::done(int pResult)
{
    SaveWindowPlacement(*this, context_.Logic.Store(), QStringLiteral("Mix"));
    QDialog::done(pResult);
}

} // namespace tarvok
