#pragma once

#include "cd/rip_window.h"
#include "engine/virtual_wave_device.h"
#include "gui/gui_context.h"
#include "platform/loader/lazy_adapters.h"

#include <QDialog>
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
class QTreeWidget;
class QVBoxLayout;

namespace tarvok {

class UC_FileHand;

/// The waveform of the preview buffer now sounding, left channel above, right below.
class RipWavePicture : public QWidget {
public:
    explicit RipWavePicture(const RipWindowModel& pModel, QWidget* pParent = nullptr);
    QSize sizeHint() const override { return { 400, 80 }; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    const RipWindowModel& model_;
};

/// The two-bar level meter of the preview (-60 to 0 dB, red from -20 dB).
class RipMeter : public QWidget {
public:
    explicit RipMeter(const RipWindowModel& pModel, QWidget* pParent = nullptr);
    QSize sizeHint() const override { return { 400, 24 }; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    const RipWindowModel& model_;
};

/// The rip window: the CD drives, the disc's tracks with their titles, the preview player
/// with waveform, meter and position bar, the level slider, "Check Rip" and "Get CD Info",
/// and Start (rip the first selected track into RipTarget and close) or Cancel. Every rule
/// lives in RipWindowModel; this class mirrors it and forwards the events.
class FrmRip : public QDialog {
    Q_OBJECT
public:
    FrmRip(GuiContext& pContext, QWidget* pParent = nullptr);
    ~FrmRip() override;

    RipWindowModel& Model() { return *model_; }
    /// Loads the disc now (the window otherwise does it 100 ms after it appears).
    void LoadDisc();

public slots:
    void StartClicked();
    void CancelClicked();

protected:
    void reject() override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void BuildControls();
    void BuildDiscRows(QVBoxLayout& pLayout, Settings& pStore);
    QHBoxLayout* BuildOptionsRow(Settings& pStore);
    void BuildPlayerRows(QVBoxLayout& pLayout);
    QHBoxLayout* BuildButtonRow(Settings& pStore);
    void ConnectDiscAndOptions();
    void ConnectPlayerAndButtons();
    void Refresh();
    void FillRows();
    void TimerTick();

    GuiContext& context_;
    LazyCdDriveService ownDrives_;
    VirtualWaveOut silentOut_ { 1 };
    std::unique_ptr<RipWindowModel> model_;
    bool closing_ = false;

    QComboBox* comboCd_ = nullptr;
    QPushButton* update_ = nullptr;
    QLineEdit* textTitle_ = nullptr;
    QTreeWidget* lv_ = nullptr;
    QSlider* dbBar_ = nullptr;
    QLabel* textDb_ = nullptr;
    QCheckBox* checkRip_ = nullptr;
    QCheckBox* checkCddb_ = nullptr;
    QCheckBox* checkParanoia_ = nullptr;
    QLabel* discIds_ = nullptr;
    QPushButton* accurateRip_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* play_ = nullptr;
    QLabel* picPlay_ = nullptr;
    RipWavePicture* wave_ = nullptr;
    RipMeter* meter_ = nullptr;
    QSlider* progBar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* start_ = nullptr;
    UC_FileHand* fh1_ = nullptr;
    QTimer* timer1_ = nullptr;
};

/// RIPCD: refused while the editor may not start an edit; otherwise reserves a working
/// file name, shows the rip window and imports the ripped file into the current track at
/// MarkIn. False when refused or nothing was imported.
bool RunRipCommand(GuiContext& pContext, QWidget* pParent);

} // namespace tarvok
