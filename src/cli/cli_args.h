#pragma once

#include "core/option_parser.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

struct CliContext;

/// What a command of tarvok2-cli accepts and what its help says: one row of the command
/// table, defined next to the command.
struct CliCommandSpec {
    std::string_view Name; ///< "mixdown"
    /// The arguments after the command name; '\n' separates several forms of the command.
    std::string_view Synopsis;
    /// What the command does, as the command list shows it.
    std::string_view Summary;
    /// More of what the command's own help says after the summary; may be empty.
    std::string_view Details;
    std::span<const OptionSpec> Options;
    OptionRules Rules = {};
};

/// The help of one command: its usage, what it does and its options (with -h, --help).
std::string CommandHelpText(const CliCommandSpec& pSpec);

/// "usage: NAME SYNOPSIS", the forms separated by " | ".
std::string CommandUsageText(const CliCommandSpec& pSpec);

/// Parses a command's arguments by its spec. Returns the exit code when the command ends
/// here: 0 after printing the help for -h or --help, 2 after naming the command and the
/// problem on the error stream; nothing when pArgs holds what to run with.
std::optional<int> ParseCommandArgs(CliContext& pCtx, const CliCommandSpec& pSpec,
    const std::vector<std::string>& pArgs, ParsedOptions& pParsed);

/// Reports a usage error of the command (its usage line) and returns 2.
int CommandUsageError(CliContext& pCtx, const CliCommandSpec& pSpec);

} // namespace tarvok
