#include "gui/dialogs/frm_ver.h"
#include "gui/gui_text.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtGlobal>

#ifndef TARVOK_VERSION
#define TARVOK_VERSION "0.0.0"
#endif

namespace tarvok {

FrmVer::FrmVer(QWidget* pParent)
    : QDialog(pParent)
{
    setObjectName(QStringLiteral("FrmVer"));
    setWindowTitle(QTr("バージョン情報"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    auto* title = new QLabel(QStringLiteral("tarvok2"), this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 2.0);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    auto* version = new QLabel(QTr("バージョン %1").arg(QStringLiteral(TARVOK_VERSION)), this);
    version->setObjectName(QStringLiteral("LabelVersion"));
    version->setAlignment(Qt::AlignCenter);
    layout->addWidget(version);
    auto* about = new QLabel(QTr("マルチトラック録音・編集ソフト"), this);
    about->setAlignment(Qt::AlignCenter);
    layout->addWidget(about);
    auto* maker = new QLabel(QStringLiteral("© lumora"), this);
    maker->setAlignment(Qt::AlignCenter);
    layout->addWidget(maker);
    auto* libraries = new QLabel(
        tr("Qt %1, PortAudio, LAME, FFmpeg").arg(QString::fromLatin1(qVersion())), this);
    libraries->setAlignment(Qt::AlignCenter);
    libraries->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(libraries);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(320);
}

} // namespace tarvok
