#pragma once

#include "cli/cli_context.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// One point of an automation curve: a timeline position and a level index.
struct CurvePoint {
    int32_t Frame = 0;
    int32_t Level = 0;
};

/// Reads a curve: one "TIME LEVEL" pair a line (blank lines and lines starting with "#"
/// skipped), TIME a time text of the timeline, LEVEL a level index 0..255 or a level in dB
/// followed by "db" ("-6db", "-inf db" for silence). The times must not go back. An error
/// text when a line is not understood.
std::optional<std::string> ParseCurve(std::string_view pText, int32_t pRate,
    const FadeTable& pTable, std::vector<CurvePoint>& pPoints);

/// The curve's level at a frame: straight lines between its points, the first point's
/// level before it and the last one's after it.
int32_t CurveLevelAt(const std::vector<CurvePoint>& pPoints, int64_t pFrame);

extern const CliCommandSpec kAutomateSpec;

/// tarvok2-cli automate NAME --track N --from TIME --curve FILE: plays the project from
/// TIME on a virtual-clock device as fast as it can, with the automation window open and
/// armed for track N alone, moving the automation fader along the curve (the fader takes
/// the curve's level at the position being written), until the head passes the curve's
/// last point or the project's end; then saves the project.
int AutomateCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

} // namespace tarvok
