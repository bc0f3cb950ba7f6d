#include "core/headless_ui.h"

#include "base/text.h"

namespace tarvok {

std::vector<std::string> HeadlessUi::BoxTexts() const
{
    std::vector<std::string> out;
    for (const Event& e : events_)
        if (e.Kind == EventKind::MessageBox)
            out.push_back(e.Text);
    return out;
}

std::vector<std::string> HeadlessUi::StatusTexts() const
{
    std::vector<std::string> out;
    for (const Event& e : events_)
        if (e.Kind == EventKind::Message)
            out.push_back(e.Text);
    return out;
}

void HeadlessUi::ShowMessage(std::string_view pText)
{
    lastStatus_ = std::string(pText);
    events_.push_back({ EventKind::Message, lastStatus_, MsgIcon::None, {} });
    if (sink_)
        sink_(pText);
}

std::optional<std::string> HeadlessUi::TakeAnswer()
{
    if (answers_.empty())
        return std::nullopt;
    std::string a = std::move(answers_.front());
    answers_.pop_front();
    return a;
}

MsgAnswer HeadlessUi::MessageBox(std::string_view pText, MsgButtons pButtons, MsgIcon pIcon)
{
    if (boxSink_)
        boxSink_(pText, pIcon);
    // A box with only OK needs no scripted answer; a question without one gets the safe
    // answer: Cancel where offered, else No.
    MsgAnswer answer = MsgAnswer::Ok;
    std::optional<std::string> scripted;
    if (pButtons != MsgButtons::Ok)
        scripted = TakeAnswer();
    switch (pButtons) {
    case MsgButtons::Ok:
        answer = MsgAnswer::Ok;
        break;
    case MsgButtons::OkCancel:
        answer
            = (scripted && EqualsNoCase(Trim(*scripted), "ok")) ? MsgAnswer::Ok : MsgAnswer::Cancel;
        break;
    case MsgButtons::YesNo:
        answer
            = (scripted && EqualsNoCase(Trim(*scripted), "yes")) ? MsgAnswer::Yes : MsgAnswer::No;
        break;
    case MsgButtons::YesNoCancel:
        answer = MsgAnswer::Cancel;
        if (scripted && EqualsNoCase(Trim(*scripted), "yes"))
            answer = MsgAnswer::Yes;
        else if (scripted && EqualsNoCase(Trim(*scripted), "no"))
            answer = MsgAnswer::No;
        break;
    case MsgButtons::RetryCancel:
        answer = (scripted && EqualsNoCase(Trim(*scripted), "retry")) ? MsgAnswer::Retry
                                                                      : MsgAnswer::Cancel;
        break;
    }
    static const char* const kNames[] = { "ok", "cancel", "yes", "no", "retry" };
    events_.push_back(
        { EventKind::MessageBox, std::string(pText), pIcon, kNames[static_cast<int>(answer)] });
    return answer;
}

std::optional<std::string> HeadlessUi::InputBox(std::string_view pPrompt, std::string_view)
{
    std::optional<std::string> a = TakeAnswer();
    events_.push_back({ EventKind::InputBox, std::string(pPrompt), MsgIcon::None, a.value_or("") });
    return a;
}

std::optional<std::string> HeadlessUi::Choose(EventKind pKind, std::string_view pTitle)
{
    std::optional<std::string> a = TakeAnswer();
    if (a && EqualsNoCase(*a, "cancel"))
        a.reset();
    events_.push_back({ pKind, std::string(pTitle), MsgIcon::None, a.value_or("") });
    return a;
}

std::optional<std::string> HeadlessUi::ChooseOpenFile(
    std::string_view pTitle, std::string_view, std::string_view)
{
    return Choose(EventKind::OpenFile, pTitle);
}

std::optional<std::string> HeadlessUi::ChooseSaveFile(
    std::string_view pTitle, std::string_view, std::string_view)
{
    return Choose(EventKind::SaveFile, pTitle);
}

std::optional<std::string> HeadlessUi::ChooseFolder(std::string_view pTitle, std::string_view)
{
    return Choose(EventKind::Folder, pTitle);
}

} // namespace tarvok
