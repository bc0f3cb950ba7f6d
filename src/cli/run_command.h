#pragma once

#include "cli/cli_context.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// How a script run treats failures.
struct RunOptions {
    /// Go on after a failed step (each is reported); the project is saved at the end and the
    /// exit code is still 1.
    bool KeepGoing = false;
    /// Save even when opening the project dropped working files that are missing.
    bool Force = false;
};

extern const CliCommandSpec kRunSpec;

/// tarvok2-cli run NAME SCRIPT [--keep-going] [--force]: runs the command script SCRIPT (a
/// file, or "-" for standard input) on project NAME and saves the project back when every
/// step succeeded.
int RunScriptCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

/// Runs script text on project pName; the same rules as RunScriptCommand. Exit code 0 on
/// success; 1 when the project cannot be opened, locked or saved, a line is not understood
/// or a step fails (a command refused or reporting an error): the line and the reason go to
/// the error stream and nothing of the run is saved; 3 when opening the project dropped
/// working files and pOptions.Force is not set (nothing is saved then either).
int RunScriptText(CliContext& pCtx, const std::string& pName, std::string_view pScript,
    const RunOptions& pOptions = {});

} // namespace tarvok
