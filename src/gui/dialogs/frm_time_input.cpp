#include "gui/dialogs/frm_time_input.h"
#include "gui/gui_text.h"

#include "app/commands/range_input.h"
#include "core/project.h"
#include "core/time_text.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

namespace tarvok {

FrmTimeInput::FrmTimeInput(const Project& pProject, const QString& pPrompt, int32_t pFrames,
    bool pPosition, QWidget* pParent)
    : FrmTimeInput(pProject, pPrompt,
        QString::fromStdString(TimeInputDefault(pProject, pFrames, pPosition)), pPosition, pParent)
{
}

FrmTimeInput::FrmTimeInput(const Project& pProject, const QString& pPrompt, const QString& pText,
    bool pPosition, QWidget* pParent)
    : QDialog(pParent)
    , project_(pProject)
    , position_(pPosition)
    , text_(new QLineEdit(pText, this))
    , preview_(new QLabel(this))
{
    setObjectName(QStringLiteral("FrmTimeInput"));
    setWindowTitle(QStringLiteral("tarvok2"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(pPrompt, this);
    layout->addWidget(prompt);
    text_->setObjectName(QStringLiteral("TextTime"));
    text_->setAccessibleName(pPrompt);
    text_->setMinimumWidth(240);
    text_->selectAll();
    layout->addWidget(text_);
    preview_->setObjectName(QStringLiteral("LabelPreview"));
    preview_->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(preview_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(text_, &QLineEdit::textChanged, this, &FrmTimeInput::UpdatePreview);
    UpdatePreview();
}

void FrmTimeInput::UpdatePreview()
{
    std::optional<int64_t> ms = ParseTimeAnswer(text_->text().toStdString());
    if (!ms) {
        preview_->setText(QString());
        return;
    }
    const int64_t frames = TimeAnswerToFrames(project_, *ms, position_);
    const int64_t shownMs = std::clamp<int64_t>(*ms, -2147483647, 2147483647);
    preview_->setText(
        QTr("= %1  (%2 フレーム)")
            .arg(QString::fromStdString(TimeText(static_cast<int32_t>(shownMs), 0, true)))
            .arg(frames));
}

QString FrmTimeInput::Text() const { return text_->text(); }

std::optional<int32_t> FrmTimeInput::Frames() const
{
    if (result() != QDialog::Accepted)
        return std::nullopt;
    std::optional<int64_t> ms = ParseTimeAnswer(text_->text().toStdString());
    if (!ms)
        return std::nullopt;
    return TimeAnswerToFrames(project_, *ms, position_);
}

} // namespace tarvok
