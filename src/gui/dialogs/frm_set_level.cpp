#include "gui/dialogs/frm_set_level.h"
#include "gui/gui_text.h"

#include "core/user_interface.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvok {

FrmSetLevel::FrmSetLevel(
    const LevelDialogModel& pModel, UserInterface& pUi, const QString& pTitle, QWidget* pParent)
    : QDialog(pParent)
    , model_(pModel)
    , ui_(pUi)
    , left_(new QLineEdit(QString::fromStdString(pModel.LeftText()), this))
    , right_(new QLineEdit(QString::fromStdString(pModel.RightText()), this))
{
    setObjectName(QStringLiteral("FrmSetLevel"));
    setWindowTitle(pTitle);
    setModal(true);
    left_->setObjectName(QStringLiteral("TextLevelL"));
    right_->setObjectName(QStringLiteral("TextLevelR"));
    left_->setAccessibleName(QTr("L のレベル (db)"));
    right_->setAccessibleName(QTr("R のレベル (db)"));
    right_->setEnabled(model_.RightEnabled());
    for (QLineEdit* box : { left_, right_ }) {
        box->setAlignment(Qt::AlignRight);
        box->setMinimumWidth(90);
    }
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("L"), this), 0, 0);
    grid->addWidget(left_, 0, 1);
    grid->addWidget(new QLabel(tr("db"), this), 0, 2);
    grid->addWidget(new QLabel(tr("R"), this), 1, 0);
    grid->addWidget(right_, 1, 1);
    grid->addWidget(new QLabel(tr("db"), this), 1, 2);
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    // Enter is handled by the boxes themselves, so no button is the default.
    ok->setAutoDefault(false);
    for (QPushButton* b : buttons->findChildren<QPushButton*>())
        b->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &FrmSetLevel::Confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(left_, &QLineEdit::textEdited, this, [this](const QString& pText) {
        model_.SetLeftText(pText.toStdString());
        if (!model_.RightEnabled())
            right_->setText(QString::fromStdString(model_.RightText()));
    });
    connect(right_, &QLineEdit::textEdited, this,
        [this](const QString& pText) { model_.SetRightText(pText.toStdString()); });
    connect(left_, &QLineEdit::returnPressed, this, [this] {
        if (model_.RightEnabled()) {
            right_->setFocus();
            right_->selectAll();
        } else {
            Confirm();
        }
    });
    connect(right_, &QLineEdit::returnPressed, this, &FrmSetLevel::Confirm);
    left_->selectAll();
}

void FrmSetLevel::Confirm()
{
    std::optional<std::pair<double, double>> values = model_.Confirm(ui_);
    if (!values)
        return;
    result_ = values;
    accept();
}

std::pair<double, double> FrmSetLevel::Values() const
{
    return result_.value_or(std::make_pair(kNoChange, kNoChange));
}

} // namespace tarvok
