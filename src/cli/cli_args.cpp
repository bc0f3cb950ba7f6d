#include "cli/cli_args.h"

#include "cli/cli_context.h"

namespace tarvok {

namespace {

constexpr OptionSpec kHelpOption { "--help", "", "show this help", "-h" };

/// The lines of a synopsis, each a form of the command.
std::vector<std::string_view> Forms(std::string_view pSynopsis)
{
    std::vector<std::string_view> forms;
    for (;;) {
        const size_t nl = pSynopsis.find('\n');
        forms.push_back(pSynopsis.substr(0, nl));
        if (nl == std::string_view::npos)
            return forms;
        pSynopsis = pSynopsis.substr(nl + 1);
    }
}

std::string Form(const CliCommandSpec& pSpec, std::string_view pForm)
{
    std::string text(pSpec.Name);
    if (!pForm.empty())
        text.append(" ").append(pForm);
    return text;
}

/// True when -h or --help comes before any "--" that ends the options.
bool AsksForHelp(const CliCommandSpec& pSpec, const std::vector<std::string>& pArgs)
{
    for (const std::string& a : pArgs) {
        if (a == "--" && pSpec.Rules.EndMarker)
            return false;
        if (a == kHelpOption.Name || a == kHelpOption.Alias)
            return true;
    }
    return false;
}

} // namespace

std::string CommandUsageText(const CliCommandSpec& pSpec)
{
    std::string text = "usage: ";
    bool first = true;
    for (std::string_view form : Forms(pSpec.Synopsis)) {
        text += (first ? "" : " | ") + Form(pSpec, form);
        first = false;
    }
    return text;
}

std::string CommandHelpText(const CliCommandSpec& pSpec)
{
    std::string text;
    bool first = true;
    for (std::string_view form : Forms(pSpec.Synopsis)) {
        text += (first ? "usage: tarvok2-cli " : "       tarvok2-cli ") + Form(pSpec, form) + "\n";
        first = false;
    }
    text += "\n" + WrapText(pSpec.Summary, 0, 92, 0);
    if (!pSpec.Details.empty())
        text += "\n" + WrapText(pSpec.Details, 0, 92, 0);
    text += "\nOptions:\n";
    text += OptionHelpText(pSpec.Options);
    text += OptionHelpText(std::span(&kHelpOption, 1));
    return text;
}

std::optional<int> ParseCommandArgs(CliContext& pCtx, const CliCommandSpec& pSpec,
    const std::vector<std::string>& pArgs, ParsedOptions& pParsed)
{
    if (AsksForHelp(pSpec, pArgs)) {
        pCtx.Out << CommandHelpText(pSpec);
        return 0;
    }
    pParsed = ParseOptions(pArgs, pSpec.Options, pSpec.Rules);
    if (pParsed.Problem == OptionProblem::None)
        return std::nullopt;
    pCtx.Err << "tarvok2-cli " << pSpec.Name << ": error: " << pParsed.Error << " (see tarvok2-cli "
             << pSpec.Name << " --help)\n";
    return 2;
}

int CommandUsageError(CliContext& pCtx, const CliCommandSpec& pSpec)
{
    return pCtx.Fail(CommandUsageText(pSpec), 2);
}

} // namespace tarvok
