#pragma once

#include "engine/recording_monitor.h"
#include "gui/gui_context.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace tarvok {

class RecordingEngine;
class UC_VU;

/// The recording monitor: a small modeless window over the main window showing the level
/// of every enabled input channel while the inputs run, a level slider per channel, and the
/// voice-activated recording group ("自動録音": start above a level, stop after seconds
/// below a level). It is a view of RecordingMonitor: every value shown comes from the model
/// and every action goes to it; STOP and PLAY go through pRunCommand, as the main window's
/// buttons do. Its own 100 ms timer measures the inputs; STOP in the main window asks it to
/// close, which it does at its next tick. Closing stores its place ("Mon") and the meter
/// scale ("modedb").
class FrmMon : public QWidget {
    Q_OBJECT
public:
    /// pRecorder and pInputEnabled: the recording engine and its enabled input slots.
    FrmMon(GuiContext& pContext, RecordingEngine& pRecorder,
        const std::array<int32_t, 8>& pInputEnabled, std::function<void(int32_t)> pRunCommand,
        QWidget* pParent = nullptr);
    ~FrmMon() override;

    RecordingMonitor& Model() { return monitor_; }
    /// One TimerMon tick (the timer calls it; tests call it directly).
    void TimerMonTick();
    /// Starts or stops TimerMon (tests drive the ticks by hand).
    void SetTimerRunning(bool pOn);

    QSlider* LevelSlider(int pChannel) const { return sliders_.at(static_cast<size_t>(pChannel)); }
    QLabel* LevelText(int pChannel) const { return texts_.at(static_cast<size_t>(pChannel)); }
    QCheckBox* UseMuon(int pIndex) const { return check_[pIndex]; }
    QLineEdit* MuonDb(int pIndex) const { return level_[pIndex]; }
    QComboBox* StopSeconds() const { return seconds_; }
    /// "Stop" (0) and "Start" (1), shown while recording; "Close" otherwise.
    QPushButton* RecordingButton(int pIndex) const { return recButtons_[pIndex]; }
    QPushButton* CloseButton() const { return close_; }
    UC_VU* Meter() const { return vu_; }

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void keyReleaseEvent(QKeyEvent* pEvent) override;
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    UC_VU* BuildMeter();
    QGroupBox* BuildLevelsBox();
    QGroupBox* BuildMuonBox();
    QHBoxLayout* BuildButtonRow();
    void ShowButtons();
    void LevelEntered(int pIndex);
    void Shutdown();

    GuiContext& ctx_;
    RecordingEngine& rec_;
    std::function<void(int32_t)> run_;
    RecordingMonitor monitor_;
    QTimer timer_;
    bool closed_ = false;
    bool modelClosed_ = false;
    UC_VU* vu_ = nullptr;
    std::vector<QSlider*> sliders_;
    std::vector<QLabel*> texts_;
    QCheckBox* check_[2] {};
    QLineEdit* level_[2] {};
    QComboBox* seconds_ = nullptr;
    QPushButton* recButtons_[2] {};
    QPushButton* close_ = nullptr;
};

} // namespace tarvok
