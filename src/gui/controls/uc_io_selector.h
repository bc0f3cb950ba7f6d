#pragma once

#include <QString>
#include <QWidget>

namespace tarvok {

/// A track's input/output selector: an upper half for the recording input (its text from
/// the track's RecCh, lit red while the track is armed) and a lower half for the playback
/// output (its text from PlayCh, lit green while the track plays). A left click on a half
/// toggles it (the owner decides whether the toggle is allowed and calls the setters back);
/// a right click, or a click on the small arrow, asks for the channel menu.
///
/// Use: `auto* io = new UC_IOSelector(parent); io->SetInput(track.RecCh, track.RecSelected
/// != 0); io->SetOutput(track.PlayCh, track.PlaySelected != 0);` and connect the signals.
/// Setters never emit signals.
class UC_IOSelector : public QWidget {
    Q_OBJECT
public:
    explicit UC_IOSelector(QWidget* pParent = nullptr);

    void SetInput(int pRecCh, bool pArmed);
    void SetOutput(int pPlayCh, bool pPlaying);
    /// A disabled half is drawn greyed (its slot has no device) and sends no toggle.
    void SetInputAvailable(bool pAvailable);
    void SetOutputAvailable(bool pAvailable);
    int RecCh() const { return recCh_; }
    int PlayCh() const { return playCh_; }
    bool Armed() const { return armed_; }
    bool Playing() const { return playing_; }

    /// "1+2" .. "15+16" for the stereo inputs 0..7, "1" .. "16" for the single channels
    /// 100..115.
    static QString InputText(int pRecCh);
    /// "1+2" .. "15+16" for the output slots 0..7.
    static QString OutputText(int pPlayCh);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void InputToggled();
    void OutputToggled();
    /// The channel menu of a half, at a global position.
    void InputMenuRequested(const QPoint& pGlobal);
    void OutputMenuRequested(const QPoint& pGlobal);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    QRect InputRect() const;
    QRect OutputRect() const;

    int recCh_ = 0;
    int playCh_ = 0;
    bool armed_ = false;
    bool playing_ = true;
    bool inputAvailable_ = true;
    bool outputAvailable_ = true;
};

} // namespace tarvok
