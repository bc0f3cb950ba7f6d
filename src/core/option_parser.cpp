#include "core/option_parser.h"

#include "base/text.h"

#include <algorithm>

namespace tarvok {

namespace {

const OptionSpec* FindOption(std::span<const OptionSpec> pOptions, std::string_view pName)
{
    for (const OptionSpec& o : pOptions)
        if (o.Name == pName || (!o.Alias.empty() && o.Alias == pName))
            return &o;
    return nullptr;
}

bool LooksLikeOption(const std::string& pToken, OptionStyle pStyle)
{
    if (pStyle == OptionStyle::DoubleDash)
        return pToken.size() > 2 && pToken.rfind("--", 0) == 0;
    return pToken.size() > 1 && pToken[0] == '-' && !ParseNumber(pToken);
}

} // namespace

bool ParsedOptions::Has(std::string_view pName) const
{
    return std::find(Flags.begin(), Flags.end(), pName) != Flags.end();
}

std::optional<std::string> ParsedOptions::Value(std::string_view pName) const
{
    for (auto it = Values.rbegin(); it != Values.rend(); ++it)
        if (it->first == pName)
            return it->second;
    return std::nullopt;
}

std::vector<std::string> ParsedOptions::ValuesOf(std::string_view pName) const
{
    std::vector<std::string> out;
    for (const auto& [name, value] : Values)
        if (name == pName)
            out.push_back(value);
    return out;
}

ParsedOptions ParseOptions(const std::vector<std::string>& pArgs,
    std::span<const OptionSpec> pOptions, const OptionRules& pRules)
{
    ParsedOptions out;
    bool optionsEnded = false;
    for (size_t i = 0; i < pArgs.size(); ++i) {
        const std::string& a = pArgs[i];
        if (!optionsEnded && pRules.EndMarker && a == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionSpec* spec = optionsEnded ? nullptr : FindOption(pOptions, a);
        std::optional<std::string> inlineValue;
        const size_t eq = a.find('=');
        if (!optionsEnded && !spec && pRules.InlineValues && a.rfind("--", 0) == 0
            && eq != std::string::npos) {
            spec = FindOption(pOptions, std::string_view(a).substr(0, eq));
            if (spec)
                inlineValue = a.substr(eq + 1);
        }
        if (!spec && (optionsEnded || !LooksLikeOption(a, pRules.Style))) {
            if (pRules.StopAtPositional) {
                out.Rest.assign(pArgs.begin() + static_cast<std::ptrdiff_t>(i), pArgs.end());
                return out;
            }
            out.Positional.push_back(a);
            continue;
        }
        if (!spec || (spec->Value.empty() && inlineValue)) {
            if (pRules.UnknownIsPositional) {
                out.Positional.push_back(a);
                continue;
            }
            out.Problem = OptionProblem::UnknownOption;
            out.ProblemToken = a;
            out.Error = "unknown option: " + a;
            return out;
        }
        const std::string name(spec->Name);
        if (spec->Value.empty()) {
            out.Flags.push_back(name);
        } else if (inlineValue) {
            out.Values.emplace_back(name, *inlineValue);
        } else if (i + 1 < pArgs.size()) {
            out.Values.emplace_back(name, pArgs[++i]);
        } else {
            out.Problem = OptionProblem::MissingValue;
            out.ProblemToken = name;
            out.Error = name + " needs a value";
            return out;
        }
    }
    return out;
}

std::string WrapText(std::string_view pText, size_t pIndent, size_t pWidth, size_t pFirstIndent)
{
    std::string out;
    size_t indent = pFirstIndent;
    for (;;) {
        const size_t nl = pText.find('\n');
        std::string_view paragraph = pText.substr(0, nl);
        do {
            const size_t room = pWidth > pIndent + 10 ? pWidth - pIndent : 10;
            size_t cut = paragraph.size();
            if (cut > room) {
                cut = paragraph.rfind(' ', room);
                if (cut == std::string_view::npos || cut == 0)
                    cut = std::min(paragraph.find(' '), paragraph.size());
            }
            if (cut > 0)
                out.append(indent, ' ').append(paragraph.substr(0, cut));
            out += '\n';
            indent = pIndent;
            paragraph = paragraph.substr(cut);
            while (!paragraph.empty() && paragraph.front() == ' ')
                paragraph.remove_prefix(1);
        } while (!paragraph.empty());
        if (nl == std::string_view::npos)
            return out;
        pText = pText.substr(nl + 1);
    }
}

std::string OptionHelpText(std::span<const OptionSpec> pOptions, size_t pColumn, size_t pWidth)
{
    std::string out;
    for (const OptionSpec& o : pOptions) {
        std::string head = "  ";
        if (!o.Alias.empty())
            head.append(o.Alias).append(", ");
        head.append(o.Name);
        if (!o.Value.empty())
            head.append(" ").append(o.Value);
        if (o.Help.empty()) {
            out += head + "\n";
        } else if (head.size() + 1 > pColumn) {
            out += head + "\n";
            out += WrapText(o.Help, pColumn, pWidth, pColumn);
        } else {
            out += head;
            out += WrapText(o.Help, pColumn, pWidth, pColumn - head.size());
        }
    }
    return out;
}

} // namespace tarvok
