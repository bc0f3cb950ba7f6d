#include "gui/controls/uc_file_hand.h"

#include "app/shell/file_copy.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace tarvok {

UC_FileHand::UC_FileHand(QWidget* pParent)
    : QWidget(pParent)
    , text_(new QLabel(this))
    , bar_(new QProgressBar(this))
    , cancel_(new QPushButton(tr("Cancel"), this))
{
    setFixedSize(320, 100);
    text_->setAlignment(Qt::AlignCenter);
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        canceled_ = true;
        emit CancelClicked();
    });
    Init(0);
}

void UC_FileHand::Init(int pMode)
{
    mode_ = pMode == 1 ? 1 : 0;
    text_->setVisible(mode_ == 1);
    bar_->setVisible(mode_ == 1);
    Layout();
    update();
}

void UC_FileHand::Layout()
{
    if (mode_ == 1) {
        text_->setGeometry(20, 20, 280, 20);
        bar_->setGeometry(20, 45, 280, 20);
        cancel_->setGeometry((width() - 100) / 2, 70, 100, 20);
    } else {
        const QSize button = cancel_->sizeHint();
        cancel_->setGeometry((width() - std::max(button.width(), 80)) / 2,
            height() - button.height() - 6, std::max(button.width(), 80), button.height());
    }
}

void UC_FileHand::resizeEvent(QResizeEvent*) { Layout(); }

void UC_FileHand::Attach(FileCopy& pCopy)
{
    FileCopy* copy = &pCopy;
    auto handler = [this, copy](double pRate, std::string_view) {
        ShowProgress(QString::fromStdString(copy->Message()), pRate);
        return !canceled_;
    };
    pCopy.SetMirrorProg(handler);
    pCopy.SetHikakuProg(handler);
    canceled_ = false;
}

void UC_FileHand::ShowProgress(const QString& pMessage, double pFraction)
{
    SetMessage(pMessage);
    SetFraction(pFraction);
}

void UC_FileHand::SetMessage(const QString& pMessage)
{
    message_ = pMessage;
    text_->setText(pMessage);
    update();
}

void UC_FileHand::SetFraction(double pFraction)
{
    fraction_ = std::clamp(pFraction, 0.0, 1.0);
    bar_->setValue(static_cast<int>(fraction_ * 1000.0));
    update();
}

void UC_FileHand::paintEvent(QPaintEvent*)
{
    if (mode_ != 0)
        return;
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Window));
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    // Sunken trough and the bar in the highlight colour.
    const QRect trough(20, 20, width() - 40, 10);
    p.setPen(pal.color(QPalette::Dark));
    p.setBrush(pal.color(QPalette::Base));
    p.drawRect(trough);
    p.fillRect(QRect(22, 22, static_cast<int>((width() - 44) * fraction_), 5),
        pal.color(QPalette::Highlight));
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(QRect(10, 36, width() - 20, 20), Qt::AlignHCenter | Qt::AlignVCenter, message_);
}

} // namespace tarvok
