#include "gui/dialogs/frm_rename.h"
#include "gui/gui_text.h"

#include "app/windows/level_dialog.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvok {

FrmRename::FrmRename(const QString& pCurrent, QWidget* pParent)
    : QDialog(pParent)
    , current_(pCurrent)
    , text_(new QLineEdit(pCurrent, this))
{
    setObjectName(QStringLiteral("FrmRename"));
    setWindowTitle(QTr("名称入力"));
    setModal(true);
    text_->setObjectName(QStringLiteral("TextName"));
    text_->setAccessibleName(QTr("名称"));
    text_->setMinimumWidth(320);
    text_->selectAll();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString FrmRename::Name() const
{
    if (result() != QDialog::Accepted)
        return current_;
    return QString::fromStdString(CleanedName(text_->text().toStdString()));
}

QString FrmRename::Ask(const QString& pCurrent, QWidget* pParent)
{
    FrmRename dialog(pCurrent, pParent);
    dialog.exec();
    return dialog.Name();
}

} // namespace tarvok
