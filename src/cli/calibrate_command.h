#pragma once

#include "cli/cli_context.h"

#include <string>
#include <vector>

namespace tarvok {

class EngineClock;
class WaveOutService;
class WaveInService;

extern const CliCommandSpec kCalibrateSpec;

/// calibrate [--output ID|NAME] [--input ID|NAME]: plays a click on the output, records it
/// on the input, prints where it landed against where it was played (in samples and ms)
/// and stores that offset for the device pair, so that later takes recorded against
/// playback on the pair are moved by it.
int CalibrateCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

/// The same on given devices, waiting on pClock (the system clock when null).
int RunCalibrate(CliContext& pCtx, const std::vector<std::string>& pArgs, WaveOutService& pOut,
    WaveInService& pIn, EngineClock* pClock = nullptr);

} // namespace tarvok
