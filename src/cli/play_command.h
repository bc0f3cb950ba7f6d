#pragma once

#include "cli/cli_context.h"

#include <string>
#include <vector>

namespace tarvok {

class WaveOutService;
class WaveInService;

extern const CliCommandSpec kDevicesSpec;
extern const CliCommandSpec kPlaySpec;

/// devices: the output and input devices with their IDs (ID 0 is the system default).
int DevicesCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);
/// play NAME [--from TIME] [--to TIME] [--device ID]: plays a project in real time, the
/// PlaySelected tracks from --from to the end, or the range --from .. --to; returns when
/// the playing is done.
int PlayCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

/// The same commands on given devices (tests pass their own).
int RunDevices(CliContext& pCtx, WaveOutService& pOut, WaveInService& pIn);
int RunPlay(CliContext& pCtx, const std::vector<std::string>& pArgs, WaveOutService& pOut);

} // namespace tarvok
