#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok {

class MainLogic;
class Project;
class UserInterface;

/// Records the timeline frame of the last left-button press in the track area; the window
/// calls it at every such press, and MARKIN_CLICK and MARKOUT_CLICK read it. The record is
/// kept per MainLogic for the life of the process (ForgetClickFrame drops it).
void SetClickFrame(MainLogic& pLogic, int32_t pFrame);

/// The frame last recorded by SetClickFrame, or the left edge of the view (ViewStart) when
/// there has been no press yet.
int32_t ClickFrame(const MainLogic& pLogic);

/// Drops the press recorded for this MainLogic (when it goes away).
void ForgetClickFrame(MainLogic& pLogic);

/// The timeline frame at pPixels from the left edge of the track area: nearest(pixels x
/// Zoom x SampleStep + ViewStart), at least 0.
int32_t FrameFromTrackX(const Project& pProject, double pPixels);

/// The default answer of the time input: the value as time text style 0 of its nearest
/// millisecond count; a position (pPosition) is shown minus ZeroPos and signed.
std::string TimeInputDefault(const Project& pProject, int32_t pFrames, bool pPosition);

/// Reads an answer of the time input as milliseconds: nothing for an empty answer or a lone
/// "-" (both cancel); a leading "-" makes the value negative; the rest is a time text, and a
/// text that cannot be read counts as 0 ms.
std::optional<int64_t> ParseTimeAnswer(std::string_view pAnswer);

/// Milliseconds of the time input as frames: nearest(ms / 1000 x SampleRate), halves to
/// even; a position gets ZeroPos added back and is at least 0; the magnitude is at most
/// kMaxLength.
int32_t TimeAnswerToFrames(const Project& pProject, int64_t pMs, bool pPosition);

/// The time input: asks with pPrompt and TimeInputDefault as the default answer; the answer
/// in frames (TimeAnswerToFrames), or nothing when the user cancels.
std::optional<int32_t> AskTimeFrames(UserInterface& pUi, const Project& pProject,
    std::string_view pPrompt, int32_t pFrames, bool pPosition);

} // namespace tarvok
