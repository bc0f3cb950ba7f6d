#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tarvok {

class FileCopy;

/// The file-copy control: a message line, a progress bar and a Cancel button, 320 x 100
/// pixels. Display mode 0 draws the message and the bar itself with a plain Cancel button
/// near the bottom edge; mode 1 uses a text display, a bar (0..1000) and a one-button strip.
/// It shows the progress of a FileCopy (Attach) or of any chunked job (ShowProgress), and
/// its Cancel button sets Canceled, which the job reads between chunks.
///
/// Use: `auto* fh = new UC_FileHand(parent); fh->Init(0); fh->Attach(copy); fh->show();
/// copy.MirrorFile(a, b); fh->hide();`, or for another job connect CancelClicked and call
/// ShowProgress(text, fraction) from its progress event.
class UC_FileHand : public QWidget {
    Q_OBJECT
public:
    explicit UC_FileHand(QWidget* pParent = nullptr);

    /// Lays the control out for display mode 0 or 1.
    void Init(int pMode);
    int Mode() const { return mode_; }

    /// Routes a FileCopy's progress events here: the bar follows them, its message line is
    /// shown, and Cancel stops the copy after its current chunk. The handlers refer to this
    /// control, so it must outlive the copy's operations (or the copy gets new handlers).
    void Attach(FileCopy& pCopy);

    /// Shows a message and a fraction (0..1) done.
    void ShowProgress(const QString& pMessage, double pFraction);
    void SetMessage(const QString& pMessage);
    void SetFraction(double pFraction);
    QString Message() const { return message_; }
    double Fraction() const { return fraction_; }

    /// Set by the Cancel button, cleared by ResetCancel.
    bool Canceled() const { return canceled_; }
    void ResetCancel() { canceled_ = false; }
    QPushButton* CancelButton() const { return cancel_; }

    QSize sizeHint() const override { return { 320, 100 }; }

signals:
    void CancelClicked();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void Layout();

    int mode_ = 0;
    QString message_;
    double fraction_ = 0.0;
    bool canceled_ = false;
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace tarvok
