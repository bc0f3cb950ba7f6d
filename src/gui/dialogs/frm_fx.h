#pragma once

#include "app/commands/fx_dialog.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
class QVBoxLayout;

namespace tarvok {

class C_FX;
class UC_VVU;
struct GuiContext;

/// The unit a fader of effect pEffect shows under its value ("ms", "dB", "Hz", "%"; empty
/// for a plain number).
QString FaderUnit(int32_t pEffect, const FxFader& pFader);

/// The effect window: one fader per parameter with its label and value panel, the check
/// boxes, the length or frequency box, the quality choice of pitch shift and time stretch
/// (enabled when a high-quality engine is wired in), the preview (position and length sliders, play
/// and stop, pause, message line and level meter), "Save Values", OK and Cancel. It mirrors
/// FxDialogModel; OK commits into the C_FX it was given, Cancel sets its FXCanceled.
class FrmFX : public QDialog {
    Q_OBJECT
public:
    FrmFX(GuiContext& pContext, int32_t pId, C_FX& pFx, QWidget* pParent = nullptr);
    /// A window over a processor of its own (the named-window list and screenshots).
    FrmFX(GuiContext& pContext, int32_t pId, QWidget* pParent = nullptr);
    ~FrmFX() override;

    FxDialogModel& Model() { return model_; }
    QSlider* Fader(int32_t pIndex) const;

public slots:
    /// OK: commits the values; an invalid value keeps the window open with its message.
    void Confirm();
    /// Cancel, Escape and the close box.
    void reject() override;
    /// "Save Values".
    void SaveValues();
    /// Play: makes the preview file when something changed, then plays it; Stop while it plays.
    void TogglePreview();
    /// Clicking the preview meter switches it between peak and RMS.
    void ToggleMeterMode();
    bool MeterShowsRms() const { return meterRms_; }

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void AddFaders(QVBoxLayout* pLayout);
    void AddChecksAndBox(QVBoxLayout* pLayout);
    void AddQualityChoice(QVBoxLayout* pLayout);
    void AddPreview(QVBoxLayout* pLayout);
    void AddButtons(QVBoxLayout* pLayout);
    void SyncFromModel();
    void StopPreview();
    void PreviewTick();
    void Finish();

    GuiContext& ctx_;
    std::unique_ptr<C_FX> own_;
    C_FX& fx_;
    FxDialogModel model_;
    FxPreview preview_;
    std::vector<QSlider*> faders_;
    std::vector<QLabel*> values_;
    std::vector<QCheckBox*> checks_;
    QLineEdit* box_ = nullptr;
    QComboBox* quality_ = nullptr; ///< pitch shift and time stretch only
    QSlider* previewFrom_ = nullptr;
    QSlider* previewSec_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* previewButton_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    UC_VVU* meter_ = nullptr;
    QTimer* timer_ = nullptr;
    bool making_ = false;
    bool playing_ = false;
    bool syncing_ = false;
    bool meterRms_ = false;
};

} // namespace tarvok
