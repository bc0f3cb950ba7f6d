#pragma once

#include <string>
#include <vector>

namespace tarvok {

struct CliContext;
struct CliCommandSpec;

extern const CliCommandSpec kMixdownSpec;

/// mixdown NAME -o OUT.wav|OUT.mp3 | --to-track N | --cd, with the window's settings as
/// options (defaults from the stored mixdown settings). Returns the process exit code.
int MixdownCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

} // namespace tarvok
