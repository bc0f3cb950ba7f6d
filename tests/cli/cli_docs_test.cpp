// The manual page and the bash completion of tarvok2-cli (packaging/, made by
// packaging/make-cli-docs.py) list every command and every option the program accepts.

#include "cli/cli_app.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace tarvok {
namespace {

std::string SourceFile(const std::string& pPath)
{
    const char* dir = std::getenv("TARVOK_SOURCE_DIR");
    std::ifstream in(std::string(dir != nullptr ? dir : ".") + "/" + pPath);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The word as troff writes it: every "-" escaped.
std::string Troff(std::string_view pWord)
{
    std::string out;
    for (char c : pWord) {
        if (c == '-')
            out += '\\';
        out += c;
    }
    return out;
}

/// The line of the completion that lists pCommand's options: "        mixdown) opts=...".
std::string CompletionCase(const std::string& pCompletion, std::string_view pCommand)
{
    const std::string start = "        " + std::string(pCommand) + ") opts=\"";
    const size_t at = pCompletion.find(start);
    if (at == std::string::npos)
        return {};
    return pCompletion.substr(at, pCompletion.find('\n', at) - at) + " ";
}

const char* const kRegenerate
    = "; run packaging/make-cli-docs.py build-test/src/cli/tarvok2-cli and commit the result";

TEST(CliDocs, TheManualPageDescribesEveryCommandAndOption)
{
    const std::string page = SourceFile("packaging/man/tarvok2-cli.1");
    ASSERT_FALSE(page.empty()) << "packaging/man/tarvok2-cli.1 is missing";
    EXPECT_NE(page.find("\\fB\\-\\-data\\-folder\\fR"), std::string::npos);
    for (const CliCommandSpec* spec : CliCommandSpecs()) {
        SCOPED_TRACE(std::string(spec->Name));
        EXPECT_NE(page.find(".SS " + Troff(spec->Name) + "\n"), std::string::npos)
            << "the command is missing from the page" << kRegenerate;
        for (const OptionSpec& option : spec->Options) {
            for (std::string_view name : { option.Name, option.Alias }) {
                if (!name.empty()) {
                    EXPECT_NE(page.find("\\fB" + Troff(name) + "\\fR"), std::string::npos)
                        << name << " is missing from the page" << kRegenerate;
                }
            }
        }
    }
}

TEST(CliDocs, TheBashCompletionOffersEveryCommandAndOption)
{
    const std::string completion = SourceFile("packaging/completion/tarvok2-cli");
    ASSERT_FALSE(completion.empty()) << "packaging/completion/tarvok2-cli is missing";
    EXPECT_NE(completion.find("complete -F _tarvok2_cli"), std::string::npos);
    for (const CliCommandSpec* spec : CliCommandSpecs()) {
        SCOPED_TRACE(std::string(spec->Name));
        const std::string line = CompletionCase(completion, spec->Name);
        ASSERT_FALSE(line.empty()) << "the command is missing" << kRegenerate;
        for (const OptionSpec& option : spec->Options) {
            for (std::string_view name : { option.Name, option.Alias }) {
                if (!name.empty()) {
                    EXPECT_TRUE(line.find("\"" + std::string(name) + " ") != std::string::npos
                        || line.find(" " + std::string(name) + " ") != std::string::npos
                        || line.find(" " + std::string(name) + "\"") != std::string::npos)
                        << name << " is missing" << kRegenerate;
                }
            }
        }
    }
}

} // namespace
} // namespace tarvok
