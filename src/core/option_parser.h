#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvok {

/// One option a command line accepts: a value option when Value names what follows it, a
/// flag when Value is empty.
struct OptionSpec {
    std::string_view Name; ///< "--track", "-o"
    std::string_view Value; ///< what the help shows after the name ("N", "FILE"); empty: a flag
    std::string_view Help; ///< the help text; '\n' starts a new help line
    std::string_view Alias = {}; ///< a second spelling ("-h" of "--help"), or empty
};

/// How a token is told to be an option. A token that is exactly a listed name or alias is
/// one in either style.
enum class OptionStyle {
    /// Only "--name" tokens are options; "-x" is a positional argument (a file name may
    /// start with "-", a parameter may be "-10").
    DoubleDash,
    /// Every token starting with "-" that is not a number is an option ("-o FILE"), written
    /// exactly as listed; "-6" stays a positional number.
    AnyDash,
};

/// The rules of one command line beyond its options.
struct OptionRules {
    OptionStyle Style = OptionStyle::DoubleDash;
    /// "--name=VALUE" gives a value option its value in one token.
    bool InlineValues = true;
    /// A token "--" ends the options: every later token is positional.
    bool EndMarker = true;
    /// An option that is not listed is kept as a positional argument instead of an error.
    bool UnknownIsPositional = false;
    /// The first positional argument ends the options: it and every later token go to Rest.
    bool StopAtPositional = false;
};

/// Why a command line could not be parsed.
enum class OptionProblem {
    None,
    UnknownOption, ///< a token that looks like an option is not listed (or a flag got "=")
    MissingValue, ///< a value option is the last token
};

/// A parsed command line. Options are stored under their Name, whichever spelling was used.
struct ParsedOptions {
    std::vector<std::string> Positional;
    /// Every value option given, in command-line order (repeated options appear repeatedly).
    std::vector<std::pair<std::string, std::string>> Values;
    std::vector<std::string> Flags;
    /// With StopAtPositional: the first positional argument and everything after it.
    std::vector<std::string> Rest;
    OptionProblem Problem = OptionProblem::None;
    /// The token the problem is about ("--y", "--x"), or empty.
    std::string ProblemToken;
    /// Why the arguments cannot be used ("--x needs a value", "unknown option: --y"), or empty.
    std::string Error;

    bool Has(std::string_view pName) const;
    /// The value of the last pName given; nothing when it was not given.
    std::optional<std::string> Value(std::string_view pName) const;
    /// The values of every pName given, in order.
    std::vector<std::string> ValuesOf(std::string_view pName) const;
};

/// Splits pArgs by the options of pOptions and pRules. An unknown option (unless the rules
/// keep it) or a value option at the end stops the parse with Problem and Error set.
ParsedOptions ParseOptions(const std::vector<std::string>& pArgs,
    std::span<const OptionSpec> pOptions, const OptionRules& pRules = {});

/// The options as help lines: "  -h, --help   show this help", the texts aligned at
/// pColumn (on the next line when the name reaches it) and wrapped before pWidth.
std::string OptionHelpText(
    std::span<const OptionSpec> pOptions, size_t pColumn = 27, size_t pWidth = 92);

/// pText wrapped at blanks so that lines starting at column pIndent end before pWidth, every
/// line indented by pIndent blanks and ending in '\n'; a '\n' in pText starts a new line.
/// The first line gets pFirstIndent blanks (less when its start is already written).
std::string WrapText(std::string_view pText, size_t pIndent, size_t pWidth, size_t pFirstIndent);

} // namespace tarvok
