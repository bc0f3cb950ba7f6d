#pragma once

#include "core/user_interface.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <set>

namespace tarvok {

class Project;

/// The user-interface boundary over Qt: yielding runs the event loop, messages go to the
/// main window's message area, questions are modal message boxes titled "tarvok2" with the
/// system's Japanese button texts, redraw requests are gathered and handed over once per
/// pass of the event loop. It never answers a question by itself; a test installs an
/// answer hook to stand in for the user.
class QtUserInterface : public QObject, public UserInterface {
    Q_OBJECT
public:
    explicit QtUserInterface(QObject* pParent = nullptr);

    /// The window message boxes and dialogs are centred over.
    void SetWindow(QWidget* pWindow) { window_ = pWindow; }
    /// The project whose zero position and rate the time input reads times with; without
    /// one, times are asked with the plain input box.
    void SetTimeProject(const Project* pProject) { timeProject_ = pProject; }
    QWidget* Window() const { return window_; }

    /// Stand-in for the user (tests): called with each question's text; an answer given
    /// skips the dialog, nothing shows it. Choosers and input boxes get the text as answer
    /// ("" for cancel).
    std::function<std::optional<QString>(const QString& pText)> AnswerHook;

    QString LastMessage() const { return lastMessage_; }
    /// Texts of every message box shown since start (tests read them).
    const QStringList& BoxTexts() const { return boxTexts_; }

    void Yield() override;
    void ShowMessage(std::string_view pText) override;
    MsgAnswer MessageBox(std::string_view pText, MsgButtons pButtons, MsgIcon pIcon) override;
    std::optional<std::string> InputBox(
        std::string_view pPrompt, std::string_view pDefault) override;
    std::optional<std::string> TimeInputBox(
        std::string_view pPrompt, std::string_view pDefault, bool pPosition) override;
    std::optional<std::string> ChooseOpenFile(
        std::string_view pTitle, std::string_view pFilter, std::string_view pInitial) override;
    std::optional<std::string> ChooseSaveFile(
        std::string_view pTitle, std::string_view pFilter, std::string_view pInitial) override;
    std::optional<std::string> ChooseFolder(
        std::string_view pTitle, std::string_view pInitial) override;
    void RequestRedraw(RedrawArea pArea) override;
    void SetBusy(bool pBusy) override;

    /// Delivers the gathered redraw requests now (also done by the event loop).
    void FlushRedraws();

signals:
    /// The message area's new text and, when the text ends in a percentage, its value
    /// (-1 otherwise).
    void MessageShown(const QString& pText, int pPercent);
    /// Gathered redraw requests, each area once.
    void RedrawRequested(const std::set<RedrawArea>& pAreas);
    void BusyChanged(bool pBusy);

private:
    std::optional<QString> Hooked(const QString& pText);

    QPointer<QWidget> window_;
    const Project* timeProject_ = nullptr;
    QString lastMessage_;
    QStringList boxTexts_;
    std::set<RedrawArea> pending_;
    bool flushQueued_ = false;
    int busyDepth_ = 0;
};

/// A file chooser's filter as a file dialog filter: a ";"-separated pattern list
/// ("*.wav;*.mp3"), or "description|patterns" pairs separated by "|"; "all files" follows.
QString DialogFilter(std::string_view pPatterns);

/// The trailing percentage of a progress message ("波形抽出 42%", "波形抽出 64.4%" reads 64),
/// or -1.
int MessagePercent(const QString& pText);

} // namespace tarvok
