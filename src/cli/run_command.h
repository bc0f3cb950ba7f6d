#pragma once

#include "cli/cli_context.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// tarvok2-cli run NAME SCRIPT: runs the command script SCRIPT (a file, or "-" for standard
/// input) on project NAME and saves the project back when every line was understood.
int RunScriptCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

/// Runs script text on project pName; the same rules as RunScriptCommand. Exit code 0 on
/// success, 1 when the project cannot be opened or saved or a line is not understood.
int RunScriptText(CliContext& pCtx, const std::string& pName, std::string_view pScript);

} // namespace tarvok
