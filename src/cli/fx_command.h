#pragma once

#include "cli/cli_context.h"

#include <string>
#include <vector>

namespace tarvok {

extern const CliCommandSpec kFxSpec;

/// tarvok2-cli fx NAME FX_ID [P0 P1 ...] [--check N=0|1] [--freq HZ] [--quality
/// standard|high] [--track N --from TIME --to TIME]: applies an effect to the project's
/// selection (or the one given) as the menu command does after the dialog's OK, with the
/// faders at the values given (the saved values or defaults for the rest), and saves the
/// project. --quality chooses between the own algorithm of pitch shift and time stretch
/// and the high-quality engine for this run (else the saved choice). `fx --list` prints every
/// effect with its parameters. Exit code 0 on success, 1 when the effect failed or was refused
/// (nothing saved), 2 for a usage error.
int FxCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

} // namespace tarvok
