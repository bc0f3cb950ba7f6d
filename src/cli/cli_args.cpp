#include "cli/cli_args.h"

#include "base/text.h"

#include <algorithm>
#include <optional>

namespace tarvok {

bool ParsedArgs::Has(const std::string& pFlag) const
{
    return std::find(Flags.begin(), Flags.end(), pFlag) != Flags.end();
}

ParsedArgs ParseArgs(const std::vector<std::string>& pArgs,
    const std::vector<std::string>& pValueOptions, const std::vector<std::string>& pFlagOptions,
    OptionStyle pStyle)
{
    auto listed = [](const std::vector<std::string>& pList, const std::string& pName) {
        return std::find(pList.begin(), pList.end(), pName) != pList.end();
    };
    ParsedArgs out;
    for (size_t i = 0; i < pArgs.size(); ++i) {
        const std::string& a = pArgs[i];
        const bool option = pStyle == OptionStyle::DoubleDash
            ? a.size() > 2 && a.rfind("--", 0) == 0
            : a.size() > 1 && a[0] == '-' && !ParseNumber(a);
        if (!option) {
            out.Positional.push_back(a);
            continue;
        }
        std::string name = a;
        std::optional<std::string> inlineValue;
        if (size_t eq = a.find('='); pStyle == OptionStyle::DoubleDash && eq != std::string::npos) {
            name = a.substr(0, eq);
            inlineValue = a.substr(eq + 1);
        }
        if (listed(pValueOptions, name)) {
            if (inlineValue) {
                out.Values[name] = *inlineValue;
            } else if (i + 1 < pArgs.size()) {
                out.Values[name] = pArgs[++i];
            } else {
                out.Error = name + " needs a value";
                return out;
            }
        } else if (listed(pFlagOptions, name) && !inlineValue) {
            out.Flags.push_back(name);
        } else {
            out.Error = "unknown option: " + a;
            return out;
        }
    }
    return out;
}

} // namespace tarvok
