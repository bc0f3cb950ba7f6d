// Every command answers --help with its usage and options, and names itself in an unknown
// option's error.

#include "cli/cli_app.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

namespace tarvok {
namespace {

struct CliRun {
    int Code;
    std::string Out;
    std::string Err;
};

CliRun RunTool(const std::vector<std::string>& pArgs)
{
    std::ostringstream out, err;
    const int code = RunCli(pArgs, out, err);
    return { code, out.str(), err.str() };
}

/// Every command with one option its help must show.
const struct {
    const char* Name;
    const char* Option;
} kCommands[] = {
    { "automate", "--curve FILE" },
    { "calibrate", "--input ID|NAME" },
    { "cd", "--accuraterip" },
    { "cleanup", "-h, --help" },
    { "demo", "-h, --help" },
    { "devices", "-h, --help" },
    { "fx", "--band N=GAIN[,HZ,Q]" },
    { "import", "--keep-rate" },
    { "info", "--json" },
    { "mixdown", "--to-track N" },
    { "new", "--tracks N" },
    { "play", "--device ID" },
    { "record", "--voice-stop DB" },
    { "run", "--keep-going" },
    { "saveall", "--replace" },
    { "settings", "-h, --help" },
};

} // namespace

TEST(CliHelp, EveryCommandPrintsItsUsageAndOptions)
{
    test::ScopedHome home;
    std::set<std::string> listed;
    for (const CliCommandSpec* spec : CliCommandSpecs())
        listed.insert(std::string(spec->Name));
    std::set<std::string> named;
    for (const auto& c : kCommands)
        named.insert(c.Name);
    EXPECT_EQ(listed, named);

    for (const auto& c : kCommands) {
        SCOPED_TRACE(c.Name);
        const CliRun help = RunTool({ c.Name, "--help" });
        EXPECT_EQ(help.Code, 0);
        EXPECT_EQ(help.Err, "");
        EXPECT_EQ(help.Out.rfind(std::string("usage: tarvok2-cli ") + c.Name, 0), 0u) << help.Out;
        EXPECT_NE(help.Out.find(c.Option), std::string::npos) << help.Out;
        for (const CliCommandSpec* spec : CliCommandSpecs()) {
            if (spec->Name != c.Name)
                continue;
            for (const OptionSpec& o : spec->Options)
                EXPECT_NE(help.Out.find("  " + std::string(o.Name)), std::string::npos) << o.Name;
        }
        EXPECT_EQ(RunTool({ c.Name, "-h" }).Out, help.Out);
        const CliRun byHelp = RunTool({ "help", c.Name });
        EXPECT_EQ(byHelp.Code, 0);
        EXPECT_EQ(byHelp.Out, help.Out);
    }
}

TEST(CliHelp, AnUnknownOptionNamesTheCommand)
{
    test::ScopedHome home;
    for (const auto& c : kCommands) {
        SCOPED_TRACE(c.Name);
        const CliRun run = RunTool({ c.Name, "--no-such-option" });
        EXPECT_EQ(run.Code, 2);
        EXPECT_EQ(run.Out, "");
        EXPECT_NE(run.Err.find(std::string("tarvok2-cli ") + c.Name
                      + ": error: unknown option: --no-such-option"),
            std::string::npos)
            << run.Err;
    }
}

TEST(CliHelp, HelpAnywhereBeforeTheEndMarkerWinsAndDoesNothingElse)
{
    test::ScopedHome home;
    const std::string out = home.Dir().File("out.wav");
    const CliRun late = RunTool({ "mixdown", "p", "-o", out, "--help" });
    EXPECT_EQ(late.Code, 0);
    EXPECT_EQ(late.Out, RunTool({ "help", "mixdown" }).Out);
    EXPECT_FALSE(std::filesystem::exists(out));
    // After "--" it is an argument like any other: here one too many.
    const CliRun ended = RunTool({ "run", "p", "script", "--", "--help" });
    EXPECT_EQ(ended.Code, 2);
    EXPECT_NE(ended.Err.find("usage: run NAME SCRIPT"), std::string::npos) << ended.Err;
}

TEST(CliHelp, TheProgramHelpListsEveryCommand)
{
    test::ScopedHome home;
    const CliRun help = RunTool({ "--help" });
    EXPECT_EQ(help.Code, 0);
    EXPECT_EQ(RunTool({ "help" }).Out, help.Out);
    EXPECT_EQ(RunTool({ "-h" }).Out, help.Out);
    for (const auto& c : kCommands)
        EXPECT_NE(help.Out.find(std::string("\n  ") + c.Name), std::string::npos) << c.Name;
    EXPECT_NE(help.Out.find("--data-folder DIR"), std::string::npos);
    const CliRun unknown = RunTool({ "help", "bogus" });
    EXPECT_EQ(unknown.Code, 2);
    EXPECT_NE(unknown.Err.find("unknown command: bogus"), std::string::npos) << unknown.Err;
}

} // namespace tarvok
