#pragma once

#include <QWidget>

#include <array>

class QGridLayout;
class QLabel;
class QProgressBar;
class QPushButton;
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
    /// The message area's text; a percentage from 0 to 99 shows the progress bar and the
    /// Cancel button beside it, anything else hides them.
    void SetMessage(const QString& pText, int pPercent);
    QString Message() const;
    QString Info(int pField) const;
    /// The information field pField (0..4) and its caption.
    QLabel* InfoField(int pField) const { return info_[pField]; }
    QLabel* InfoCaption(int pField) const { return infoCaption_[pField]; }
    QProgressBar* ProgressBar() const { return progress_; }
    QPushButton* CancelButton() const { return cancel_; }
    QString CounterText() const;
    QToolButton* TransportButton(int pIndex) const { return transport_[pIndex]; }
    QToolButton* DisplayButton(int pIndex) const { return display_[pIndex]; }
    void SetTransportState(bool pRecording, bool pPaused, bool pPlaying);
    void ResetShuttle();
    /// Scales the buttons, the shuttle, the counter, the fields and the bar by pRate.
    void ApplySizeRate(double pRate);

signals:
    /// The Cancel button beside the progress bar was clicked.
    void CancelClicked();

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    QGridLayout* BuildButtonGrid();
    QVBoxLayout* BuildInfoAndMessage();
    /// Puts the five information fields in one row or, when that is too narrow, in rows of
    /// three or of two.
    void ArrangeInfo();

    FrmMain& owner_;
    std::array<QToolButton*, 4> transport_ {};
    std::array<QToolButton*, 4> display_ {};
    QSlider* shuttle_ = nullptr;
    QLabel* counter_ = nullptr;
    std::array<QLabel*, 5> info_ {};
    std::array<QLabel*, 5> infoCaption_ {};
    /// Each field with its caption above it, as placed in the grid.
    std::array<QWidget*, 5> infoCell_ {};
    QGridLayout* infoGrid_ = nullptr;
    int infoColumns_ = 5;
    QLabel* message_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace tarvok
