#pragma once

#include "cli/cli_context.h"

#include <atomic>
#include <string>
#include <vector>

namespace tarvok {

class WaveOutService;
class WaveInService;

extern const CliCommandSpec kRecordSpec;

/// record NAME --track N [--input RECCH] [--device ID|NAME] [--seconds S] [--with-playback]
/// [--voice-start DB] [--voice-stop DB --stop-after MS] [--place-orphans]: records one
/// track of a project from a sound input until S seconds are written, the voice-activated
/// stop, or Ctrl-C (which stops and keeps the recording), then saves the project.
int RecordCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

/// The same on given devices; the recording also stops when pStop becomes true.
int RunRecord(CliContext& pCtx, const std::vector<std::string>& pArgs, WaveOutService& pOut,
    WaveInService& pIn, const std::atomic<bool>& pStop);

/// The RecCh value of an input as the user names it: "1+2" .. "15+16" for a stereo input,
/// "1" .. "16" for one channel; -1 when it names none.
int32_t ParseRecInput(const std::string& pText);

} // namespace tarvok
