#include "gui/dialogs/frm_automation.h"
#include "gui/gui_text.h"

#include "app/commands/command_table.h"
#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "core/project.h"
#include "gui/controls/uc_fader.h"
#include "gui/dialogs/window_placement.h"
#include "gui/gui_context.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace tarvok {

FrmAutomation::FrmAutomation(GuiContext& pContext, QWidget* pParent)
    : QDialog(pParent)
    , ctx_(pContext)
    , model_(pContext.Logic)
{
    setObjectName(QStringLiteral("FrmAutomation"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(GetCommandText(kCmdFadeAuto, kCommandDescription).data()));
    auto* layout = new QVBoxLayout(this);
    const Project& p = ctx_.Logic.Proj();
    fader_ = new UC_Fader(this);
    fader_->setObjectName(QStringLiteral("SliderValue"));
    fader_->setAccessibleName(QTr("オートメーションのレベル"));
    fader_->SetFadeTable(p.Fades, p.UnityLevel);
    fader_->SetLinked(true);
    fader_->SetLevels(p.UnityLevel, p.UnityLevel);
    layout->addWidget(fader_, 1, Qt::AlignHCenter);
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("TextValue"));
    text_->setAlignment(Qt::AlignCenter);
    text_->setFrameShape(QFrame::Panel);
    text_->setFrameShadow(QFrame::Sunken);
    text_->setMinimumWidth(90);
    text_->setAutoFillBackground(true);
    text_->setCursor(Qt::PointingHandCursor);
    text_->setToolTip(QTr("クリックで書き込みのON/OFF"));
    text_->installEventFilter(this);
    layout->addWidget(text_);
    resize(130, 320);

    auto store = [this](int pLeft, int) {
        model_.SetFader(pLeft);
        ShowState();
    };
    connect(fader_, &UC_Fader::LevelsChanged, this, store);
    connect(fader_, &UC_Fader::Released, this, store);
}

FrmAutomation::~FrmAutomation()
{
    if (model_.IsOpen())
        model_.Close();
}

void FrmAutomation::Start()
{
    RestoreWindowPlacement(*this, ctx_.Logic.Store(), QStringLiteral("Curve"), true);
    model_.Open();
    fader_->SetLevels(model_.Fader(), model_.Fader());
    ShowState();
}

void FrmAutomation::ShowState()
{
    text_->setText(QString::fromStdString(model_.ValueText()));
    QPalette palette = text_->palette();
    palette.setColor(QPalette::Window, model_.Armed() ? QColor(192, 0, 0) : QColor(64, 64, 64));
    palette.setColor(QPalette::WindowText, Qt::white);
    text_->setPalette(palette);
}

bool FrmAutomation::eventFilter(QObject* pObject, QEvent* pEvent)
{
    if (pObject == text_ && pEvent->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(pEvent)->button() == Qt::LeftButton) {
        model_.ToggleArmed();
        ShowState();
        return true;
    }
    return QDialog::eventFilter(pObject, pEvent);
}

void FrmAutomation::closeEvent(QCloseEvent* pEvent)
{
    if (model_.IsOpen()) {
        model_.Close();
        SaveWindowPlacement(*this, ctx_.Logic.Store(), QStringLiteral("Curve"));
    }
    QDialog::closeEvent(pEvent);
}

} // namespace tarvok
