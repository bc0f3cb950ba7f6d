#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvok {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgAnswer { Ok, Cancel, Yes, No, Retry };

/// What a redraw request covers; the window decides how to bring it on screen.
enum class RedrawArea { All, Tracks, TimeDisplay, Title, Menus };

/// The one way the core reaches the user. The GUI implements it with Qt; the CLI and the
/// tests implement it headless with scripted answers. Every call is made on the
/// user-interface thread. The product title on message boxes is the implementation's job.
class UserInterface {
public:
    virtual ~UserInterface() = default;

    /// Lets the window system process pending events (input, timers) during a long job.
    virtual void Yield() = 0;
    /// Replaces the text of the one-line message area.
    virtual void ShowMessage(std::string_view pText) = 0;
    /// Shows a modal message box and returns the button chosen.
    virtual MsgAnswer MessageBox(std::string_view pText, MsgButtons pButtons, MsgIcon pIcon) = 0;
    /// Asks for a line of text; nothing when the user cancels.
    virtual std::optional<std::string> InputBox(std::string_view pPrompt, std::string_view pDefault)
        = 0;
    /// Asks for a time as time text: a position on the timeline (pPosition) or a length;
    /// pDefault is the current value's text. Nothing when the user cancels. A window shows
    /// its time input, which reads the text back as the user types; the plain form asks
    /// with InputBox.
    virtual std::optional<std::string> TimeInputBox(
        std::string_view pPrompt, std::string_view pDefault, bool pPosition)
    {
        (void)pPosition;
        return InputBox(pPrompt, pDefault);
    }
    /// File and folder choosers; nothing when the user cancels. pFilter is a list of
    /// patterns separated by ";" ("*.wav;*.mp3"), or "description|patterns" pairs separated
    /// by "|", empty for all files.
    virtual std::optional<std::string> ChooseOpenFile(
        std::string_view pTitle, std::string_view pFilter, std::string_view pInitial)
        = 0;
    virtual std::optional<std::string> ChooseSaveFile(
        std::string_view pTitle, std::string_view pFilter, std::string_view pInitial)
        = 0;
    virtual std::optional<std::string> ChooseFolder(
        std::string_view pTitle, std::string_view pInitial)
        = 0;
    /// Asks for a redraw; cheap, may be coalesced.
    virtual void RequestRedraw(RedrawArea pArea) = 0;
    /// Busy cursor and disabled controls while an edit runs.
    virtual void SetBusy(bool pBusy) = 0;

    /// Yes/No question with the question icon; true for Yes.
    bool AskYesNo(std::string_view pText)
    {
        return MessageBox(pText, MsgButtons::YesNo, MsgIcon::Question) == MsgAnswer::Yes;
    }
    void ShowError(std::string_view pText) { MessageBox(pText, MsgButtons::Ok, MsgIcon::Error); }
    void ShowInfo(std::string_view pText)
    {
        MessageBox(pText, MsgButtons::Ok, MsgIcon::Information);
    }
};

} // namespace tarvok
