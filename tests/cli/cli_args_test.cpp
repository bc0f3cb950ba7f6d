#include "cli/cli_args.h"

#include <gtest/gtest.h>

namespace tarvok {

TEST(CliArgs, BothStylesSplitOptionsFlagsAndPositionals)
{
    ParsedArgs d = ParseArgs({ "song", "--track=2", "--at", "1.5", "-take.wav", "--force" },
        { "--track", "--at" }, { "--force" });
    EXPECT_TRUE(d.Error.empty());
    EXPECT_EQ(d.Positional, (std::vector<std::string> { "song", "-take.wav" }));
    EXPECT_EQ(d.Values["--track"], "2");
    EXPECT_EQ(d.Values["--at"], "1.5");
    EXPECT_TRUE(d.Has("--force"));

    ParsedArgs a = ParseArgs({ "rip", "1", "-o", "out.wav", "--level", "-6", "-3", "--check" },
        { "-o", "--level" }, { "--check" }, OptionStyle::AnyDash);
    EXPECT_TRUE(a.Error.empty());
    EXPECT_EQ(a.Positional, (std::vector<std::string> { "rip", "1", "-3" }));
    EXPECT_EQ(a.Values["-o"], "out.wav");
    EXPECT_EQ(a.Values["--level"], "-6");
    EXPECT_TRUE(a.Has("--check"));

    EXPECT_EQ(ParseArgs({ "--at" }, { "--at" }, {}).Error, "--at needs a value");
    EXPECT_EQ(ParseArgs({ "--force=1" }, {}, { "--force" }).Error, "unknown option: --force=1");
    EXPECT_EQ(ParseArgs({ "-x" }, {}, {}, OptionStyle::AnyDash).Error, "unknown option: -x");
    EXPECT_EQ(ParseArgs({ "--level=3" }, { "--level" }, {}, OptionStyle::AnyDash).Error,
        "unknown option: --level=3");
}

} // namespace tarvok
