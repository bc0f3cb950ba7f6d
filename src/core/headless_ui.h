#pragma once

#include "core/user_interface.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tarvok {

/// A UserInterface without a window: answers come from a queue that a test or a command
/// script fills, and everything shown is recorded so that the exact texts can be checked.
class HeadlessUi : public UserInterface {
public:
    enum class EventKind { Message, MessageBox, InputBox, OpenFile, SaveFile, Folder };
    struct Event {
        EventKind Kind;
        std::string Text;
        MsgIcon Icon = MsgIcon::None;
        std::string Answer;
    };

    /// Queues the answer to the next question of any kind: "yes", "no", "ok", "cancel",
    /// "retry" for message boxes, the text for input boxes and choosers ("cancel" there
    /// means the user cancelled, and so does an empty queue).
    void QueueAnswer(std::string pAnswer) { answers_.push_back(std::move(pAnswer)); }
    size_t PendingAnswers() const { return answers_.size(); }
    /// Drops the answers no question took.
    void ClearAnswers() { answers_.clear(); }

    /// Called with every status message as it is shown (the CLI prints them).
    void SetMessageSink(std::function<void(std::string_view)> pSink) { sink_ = std::move(pSink); }
    /// Called with every message box text and icon as it is shown.
    void SetBoxSink(std::function<void(std::string_view, MsgIcon)> pSink)
    {
        boxSink_ = std::move(pSink);
    }

    const std::vector<Event>& Events() const { return events_; }
    /// The texts of all message boxes shown, in order.
    std::vector<std::string> BoxTexts() const;
    /// The texts of all status messages shown, in order.
    std::vector<std::string> StatusTexts() const;
    std::string LastStatus() const { return lastStatus_; }
    int YieldCount() const { return yields_; }
    int RedrawCount() const { return redraws_; }
    bool Busy() const { return busy_; }
    void ClearEvents() { events_.clear(); }

    void Yield() override { ++yields_; }
    void ShowMessage(std::string_view pText) override;
    MsgAnswer MessageBox(std::string_view pText, MsgButtons pButtons, MsgIcon pIcon) override;
    std::optional<std::string> InputBox(
        std::string_view pPrompt, std::string_view pDefault) override;
    std::optional<std::string> ChooseOpenFile(
        std::string_view pTitle, std::string_view pFilter, std::string_view pInitial) override;
    std::optional<std::string> ChooseSaveFile(
        std::string_view pTitle, std::string_view pFilter, std::string_view pInitial) override;
    std::optional<std::string> ChooseFolder(
        std::string_view pTitle, std::string_view pInitial) override;
    void RequestRedraw(RedrawArea) override { ++redraws_; }
    void SetBusy(bool pBusy) override { busy_ = pBusy; }

private:
    std::optional<std::string> TakeAnswer();
    std::optional<std::string> Choose(EventKind pKind, std::string_view pTitle);

    std::deque<std::string> answers_;
    std::vector<Event> events_;
    std::function<void(std::string_view)> sink_;
    std::function<void(std::string_view, MsgIcon)> boxSink_;
    std::string lastStatus_;
    int yields_ = 0;
    int redraws_ = 0;
    bool busy_ = false;
};

} // namespace tarvok
