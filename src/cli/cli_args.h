#pragma once

#include <map>
#include <string>
#include <vector>

namespace tarvok {

/// A command's arguments: options of the form --name VALUE (or --name=VALUE), bare flags,
/// and the positional arguments in their order.
struct ParsedArgs {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Values;
    std::vector<std::string> Flags;
    /// Why the arguments cannot be used ("--x needs a value", "unknown option: --y"), or empty.
    std::string Error;

    bool Has(const std::string& pFlag) const;
};

/// How a token is told to be an option.
enum class OptionStyle {
    /// Only "--name" tokens are options; "-x" is a positional argument (a file name may
    /// start with "-").
    DoubleDash,
    /// Every token starting with "-" that is not a number is an option ("-o FILE"), written
    /// exactly as listed; "-6" stays a positional number.
    AnyDash,
};

/// Splits pArgs by the value options and flags a command knows; an unknown option or a value
/// option at the end stops the parse with Error set.
ParsedArgs ParseArgs(const std::vector<std::string>& pArgs,
    const std::vector<std::string>& pValueOptions, const std::vector<std::string>& pFlagOptions,
    OptionStyle pStyle = OptionStyle::DoubleDash);

} // namespace tarvok
