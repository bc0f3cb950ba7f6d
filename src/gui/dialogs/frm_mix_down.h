#pragma once

#include "app/windows/mixdown_window.h"
#include "gui/gui_context.h"

#include <QDialog>

#include <optional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace tarvok {

class UC_FileHand;

/// The mixdown window "wavファイル作成": chooses tracks, range, target, format, MP3,
/// normalisation, loops and silences, saves them as defaults ("Save Values") and runs the
/// mixdown (OK). While the mixdown runs the controls are disabled and the file-copy control
/// shows the progress; its Cancel stops the run between chunks. The window closes when the
/// run ends; a settings message or a declined overwrite leaves it open. Every rule lives in
/// MixdownWindowModel; this class only mirrors it. Its place is remembered under "Mix".
class FrmMixDown : public QDialog {
    Q_OBJECT
public:
    FrmMixDown(GuiContext& pContext, QWidget* pParent = nullptr);

    MixdownWindowModel& Model() { return model_; }
    /// The outcome of the last OK, if there was one.
    const std::optional<MixdownResult>& LastResult() const { return lastResult_; }
    bool Running() const { return running_; }
    UC_FileHand* Progress() const { return progress_; }

public slots:
    /// OK: runs the mixdown.
    void RunOk();
    /// "Save Values".
    void SaveValues();

protected:
    void done(int pResult) override;
    void reject() override;

private:
    void BuildControls();
    QHBoxLayout* BuildSourceTargetRow();
    QGroupBox* BuildFormatBox();
    QGroupBox* BuildOptionsBox();
    void BuildTargetFileRows(QVBoxLayout& pLayout);
    QHBoxLayout* BuildButtonRow();
    void ConnectSourceAndFormat();
    void ConnectOptionsAndButtons();
    void LoadControls();
    void RefreshEnabling();
    void RefreshBitRates();
    void ChooseFile();
    void SetControlsEnabled(bool pOn);

    GuiContext& context_;
    MixdownWindowModel model_;
    std::optional<MixdownResult> lastResult_;
    bool running_ = false;
    bool loading_ = false;

    QComboBox* sourceTracks_ = nullptr;
    QComboBox* sourceRange_ = nullptr;
    QButtonGroup* target_ = nullptr;
    QComboBox* targetTrack_ = nullptr;
    QComboBox* freq_ = nullptr;
    QComboBox* format_ = nullptr;
    QCheckBox* encode_ = nullptr;
    QComboBox* bitRate_ = nullptr;
    QCheckBox* normalize_ = nullptr;
    QLineEdit* normalizeLevel_ = nullptr;
    QCheckBox* rms_ = nullptr;
    QCheckBox* loudness_ = nullptr;
    QLineEdit* loudnessLevel_ = nullptr;
    QCheckBox* measureLoudness_ = nullptr;
    QLineEdit* loop_ = nullptr;
    QLineEdit* suStart_ = nullptr;
    QLineEdit* suEnd_ = nullptr;
    QLineEdit* targetFile_ = nullptr;
    QPushButton* browse_ = nullptr;
    QLabel* info_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    UC_FileHand* progress_ = nullptr;
};

} // namespace tarvok
