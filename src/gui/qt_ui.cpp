#include "gui/qt_ui.h"
#include "gui/gui_text.h"

#include "gui/dialogs/frm_time_input.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>

namespace tarvok {

namespace {

constexpr const char* kProductTitle = "tarvok2";

QString Q(std::string_view pText)
{
    return QString::fromUtf8(pText.data(), static_cast<qsizetype>(pText.size()));
}

QMessageBox::Icon BoxIcon(MsgIcon pIcon)
{
    switch (pIcon) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Error:
        return QMessageBox::Critical;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

/// The answer a hook text stands for.
MsgAnswer AnswerOf(const QString& pText, MsgButtons pButtons)
{
    const QString t = pText.toLower();
    if (t == "yes")
        return MsgAnswer::Yes;
    if (t == "no")
        return MsgAnswer::No;
    if (t == "retry")
        return MsgAnswer::Retry;
    if (t == "ok")
        return MsgAnswer::Ok;
    return pButtons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
}

/// A chooser's title: the caller's, else what the chooser does.
QString DialogTitle(std::string_view pTitle, const QString& pDefault)
{
    return pTitle.empty() ? pDefault : Q(pTitle);
}

} // namespace

QString DialogFilter(std::string_view pPatterns)
{
    QString all = QTr("すべてのファイル (*)");
    if (pPatterns.empty())
        return all;
    // "description|patterns|description|patterns..." pairs, or a bare pattern list.
    const QStringList parts = Q(pPatterns).split('|');
    QStringList filters;
    if (parts.size() == 1) {
        const QString patterns = QString(parts[0]).replace(';', ' ');
        filters << patterns + " (" + patterns + ")";
    } else {
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
            const QString patterns = QString(parts[i + 1]).replace(';', ' ');
            filters << parts[i] + " (" + patterns + ")";
        }
    }
    filters << all;
    return filters.join(QStringLiteral(";;"));
}

int MessagePercent(const QString& pText)
{
    // "64%" and "64.4%": the whole percent, the tenths dropped.
    static const QRegularExpression kPercent(
        QStringLiteral("(?<![\\d.])(\\d{1,3})(?:\\.\\d+)?\\s*%\\s*$"));
    const QRegularExpressionMatch m = kPercent.match(pText);
    if (!m.hasMatch())
        return -1;
    return std::min(100, m.captured(1).toInt());
}

QtUserInterface::QtUserInterface(QObject* pParent)
    : QObject(pParent)
{
}

void QtUserInterface::Yield() { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }

void QtUserInterface::ShowMessage(std::string_view pText)
{
    lastMessage_ = Q(pText);
    emit MessageShown(lastMessage_, MessagePercent(lastMessage_));
}

std::optional<QString> QtUserInterface::Hooked(const QString& pText)
{
    if (!AnswerHook)
        return std::nullopt;
    return AnswerHook(pText);
}

MsgAnswer QtUserInterface::MessageBox(std::string_view pText, MsgButtons pButtons, MsgIcon pIcon)
{
    const QString text = Q(pText);
    boxTexts_.push_back(text);
    if (std::optional<QString> answer = Hooked(text))
        return AnswerOf(*answer, pButtons);

    QMessageBox box(
        BoxIcon(pIcon), QString::fromLatin1(kProductTitle), text, QMessageBox::NoButton, window_);
    struct Choice {
        QString Text;
        MsgAnswer Answer;
        QMessageBox::ButtonRole Role;
    };
    std::vector<Choice> choices;
    const Choice ok { tr("OK"), MsgAnswer::Ok, QMessageBox::AcceptRole };
    const Choice cancel { QTr("キャンセル"), MsgAnswer::Cancel, QMessageBox::RejectRole };
    const Choice yes { QTr("はい(&Y)"), MsgAnswer::Yes, QMessageBox::YesRole };
    const Choice no { QTr("いいえ(&N)"), MsgAnswer::No, QMessageBox::NoRole };
    const Choice retry { QTr("再試行(&R)"), MsgAnswer::Retry, QMessageBox::AcceptRole };
    switch (pButtons) {
    case MsgButtons::Ok:
        choices = { ok };
        break;
    case MsgButtons::OkCancel:
        choices = { ok, cancel };
        break;
    case MsgButtons::YesNo:
        choices = { yes, no };
        break;
    case MsgButtons::YesNoCancel:
        choices = { yes, no, cancel };
        break;
    case MsgButtons::RetryCancel:
        choices = { retry, cancel };
        break;
    }
    std::vector<QPushButton*> buttons;
    buttons.reserve(choices.size());
    for (const Choice& c : choices)
        buttons.push_back(box.addButton(c.Text, c.Role));
    box.setDefaultButton(buttons.front());
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            return choices[i].Answer;
    // Closed with the window's close button or Esc.
    return pButtons == MsgButtons::YesNo ? MsgAnswer::No
        : pButtons == MsgButtons::Ok     ? MsgAnswer::Ok
                                         : MsgAnswer::Cancel;
}

std::optional<std::string> QtUserInterface::InputBox(
    std::string_view pPrompt, std::string_view pDefault)
{
    const QString prompt = Q(pPrompt);
    if (std::optional<QString> answer = Hooked(prompt)) {
        if (answer->isEmpty())
            return std::nullopt;
        return answer->toStdString();
    }
    bool ok = false;
    const QString text = QInputDialog::getText(
        window_, QString::fromLatin1(kProductTitle), prompt, QLineEdit::Normal, Q(pDefault), &ok);
    if (!ok)
        return std::nullopt;
    return text.toStdString();
}

std::optional<std::string> QtUserInterface::TimeInputBox(
    std::string_view pPrompt, std::string_view pDefault, bool pPosition)
{
    const QString prompt = Q(pPrompt);
    if (std::optional<QString> answer = Hooked(prompt)) {
        if (answer->isEmpty())
            return std::nullopt;
        return answer->toStdString();
    }
    if (!timeProject_)
        return InputBox(pPrompt, pDefault);
    FrmTimeInput dialog(*timeProject_, prompt, Q(pDefault), pPosition, window_);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Text().toStdString();
}

std::optional<std::string> QtUserInterface::ChooseOpenFile(
    std::string_view pTitle, std::string_view pFilter, std::string_view pInitial)
{
    if (std::optional<QString> answer = Hooked(Q(pTitle)))
        return answer->isEmpty() ? std::nullopt : std::optional<std::string>(answer->toStdString());
    const QString path = QFileDialog::getOpenFileName(
        window_, DialogTitle(pTitle, QTr("開く")), Q(pInitial), DialogFilter(pFilter));
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> QtUserInterface::ChooseSaveFile(
    std::string_view pTitle, std::string_view pFilter, std::string_view pInitial)
{
    if (std::optional<QString> answer = Hooked(Q(pTitle)))
        return answer->isEmpty() ? std::nullopt : std::optional<std::string>(answer->toStdString());
    // The callers ask their own replace questions, so the dialog does not ask again.
    const QString path
        = QFileDialog::getSaveFileName(window_, DialogTitle(pTitle, QTr("名前を付けて保存")),
            Q(pInitial), DialogFilter(pFilter), nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> QtUserInterface::ChooseFolder(
    std::string_view pTitle, std::string_view pInitial)
{
    if (std::optional<QString> answer = Hooked(Q(pTitle)))
        return answer->isEmpty() ? std::nullopt : std::optional<std::string>(answer->toStdString());
    QString path = QFileDialog::getExistingDirectory(
        window_, DialogTitle(pTitle, QTr("フォルダの選択")), Q(pInitial));
    if (path.isEmpty())
        return std::nullopt;
    if (!path.endsWith('/'))
        path += '/';
    return path.toStdString();
}

void QtUserInterface::RequestRedraw(RedrawArea pArea)
{
    pending_.insert(pArea);
    if (flushQueued_)
        return;
    flushQueued_ = true;
    QTimer::singleShot(0, this, &QtUserInterface::FlushRedraws);
}

void QtUserInterface::FlushRedraws()
{
    flushQueued_ = false;
    if (pending_.empty())
        return;
    std::set<RedrawArea> areas;
    areas.swap(pending_);
    emit RedrawRequested(areas);
}

void QtUserInterface::SetBusy(bool pBusy)
{
    if (pBusy) {
        if (busyDepth_++ == 0) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            emit BusyChanged(true);
        }
    } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
        QApplication::restoreOverrideCursor();
        emit BusyChanged(false);
    }
}

} // namespace tarvok
