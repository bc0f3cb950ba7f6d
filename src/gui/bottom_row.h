#pragma once

#include <QWidget>

#include <array>

class QGridLayout;
class QLabel;
class QProgressBar;
class QSlider;
class QToolButton;
class QVBoxLayout;

namespace tarvok {

class FrmMain;

/// The row under the track area: transport buttons (REC, STOP, PAUSE, PLAY), display
/// buttons (zoom out, whole project, zoom in, mixer), the speed shuttle, the counter, the
/// information bar with its five fields and the message area with its progress bar.
class BottomRow : public QWidget {
    Q_OBJECT
public:
    BottomRow(FrmMain& pOwner, QWidget* pParent);

    void SetCounter(const std::array<QString, 3>& pLines, int pColourSet);
    /// Field 0 length, 1 view start, 2 mark in, 3 mark out, 4 selection length.
    void SetInfo(int pField, const QString& pText);
    void SetMessage(const QString& pText, int pPercent);
    QString Message() const;
    QString Info(int pField) const;
    QString CounterText() const;
    QToolButton* TransportButton(int pIndex) const { return transport_[pIndex]; }
    QToolButton* DisplayButton(int pIndex) const { return display_[pIndex]; }
    void SetTransportState(bool pRecording, bool pPaused, bool pPlaying);
    void ResetShuttle();

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    QGridLayout* BuildButtonGrid();
    QVBoxLayout* BuildInfoAndMessage();
    /// Puts the five information fields in one row or, when that is too narrow, in two.
    void ArrangeInfo();

    FrmMain& owner_;
    std::array<QToolButton*, 4> transport_ {};
    std::array<QToolButton*, 4> display_ {};
    QSlider* shuttle_ = nullptr;
    QLabel* counter_ = nullptr;
    std::array<QLabel*, 5> info_ {};
    QGridLayout* infoGrid_ = nullptr;
    bool infoOneRow_ = true;
    QLabel* message_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

} // namespace tarvok
