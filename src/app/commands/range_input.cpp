#include "app/commands/range_input.h"

#include "app/shell/main_logic.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/project.h"
#include "core/time_text.h"
#include "core/user_interface.h"

namespace tarvok {

void SetClickFrame(MainLogic& pLogic, int32_t pFrame) { pLogic.LastClickFrame = pFrame; }

int32_t ClickFrame(const MainLogic& pLogic)
{
    return pLogic.LastClickFrame.value_or(pLogic.Proj().ViewStart);
}

void ForgetClickFrame(MainLogic& pLogic) { pLogic.LastClickFrame.reset(); }

int32_t FrameFromTrackX(const Project& pProject, double pPixels)
{
    const double frames = pPixels * pProject.Zoom * pProject.SampleStep + pProject.ViewStart;
    return Clamp32(RoundHalfEven(frames), 0, kMaxLength);
}

std::string TimeInputDefault(const Project& pProject, int32_t pFrames, bool pPosition)
{
    int64_t frames = pPosition ? static_cast<int64_t>(pFrames) - pProject.ZeroPos : pFrames;
    return TimeText(FramesToMs(frames, pProject.SampleRate), 0, pPosition);
}

std::optional<int64_t> ParseTimeAnswer(std::string_view pAnswer)
{
    std::string_view text = Trim(pAnswer);
    if (text.empty() || text == "-")
        return std::nullopt;
    bool negative = false;
    if (text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int64_t ms = ParseTimeText(text, false).Ms;
    return negative ? -ms : ms;
}

int32_t TimeAnswerToFrames(const Project& pProject, int64_t pMs, bool pPosition)
{
    int64_t frames = MsToFrames(pMs, pProject.SampleRate);
    if (pPosition) {
        frames += pProject.ZeroPos;
        if (frames < 0)
            frames = 0;
    }
    return Clamp32(frames, -kMaxLength, kMaxLength);
}

std::optional<int32_t> AskTimeFrames(UserInterface& pUi, const Project& pProject,
    std::string_view pPrompt, int32_t pFrames, bool pPosition)
{
    std::optional<std::string> answer
        = pUi.TimeInputBox(pPrompt, TimeInputDefault(pProject, pFrames, pPosition), pPosition);
    if (!answer)
        return std::nullopt;
    std::optional<int64_t> ms = ParseTimeAnswer(*answer);
    if (!ms)
        return std::nullopt;
    return TimeAnswerToFrames(pProject, *ms, pPosition);
}

} // namespace tarvok
