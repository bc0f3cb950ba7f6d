#pragma once

#include "cli/cli_args.h"

#include <ostream>
#include <string>
#include <vector>

namespace tarvok {

/// Runs one tarvok2-cli invocation (arguments without the program name). Returns the exit
/// code: 0 on success, 1 when the command failed, 2 for a usage error. Never throws.
int RunCli(const std::vector<std::string>& pArgs, std::ostream& pOut, std::ostream& pErr);

/// The specs of every command, in the order the help lists them.
std::vector<const CliCommandSpec*> CliCommandSpecs();

} // namespace tarvok
