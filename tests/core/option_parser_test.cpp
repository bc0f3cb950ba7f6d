#include "core/option_parser.h"

#include <gtest/gtest.h>

namespace tarvok {

namespace {

using Args = std::vector<std::string>;

constexpr OptionSpec kImport[] = {
    { "--track", "N", "" },
    { "--at", "TIME", "" },
    { "--force", "", "" },
};

constexpr OptionSpec kRip[] = {
    { "-o", "FILE", "" },
    { "--level", "DB", "" },
    { "--check", "", "" },
};

constexpr OptionRules kAnyDashPlain { .Style = OptionStyle::AnyDash, .InlineValues = false };

} // namespace

TEST(OptionParser, BothStylesSplitOptionsFlagsAndPositionals)
{
    ParsedOptions d
        = ParseOptions({ "song", "--track=2", "--at", "1.5", "-take.wav", "--force" }, kImport);
    EXPECT_TRUE(d.Error.empty());
    EXPECT_EQ(d.Positional, (Args { "song", "-take.wav" }));
    EXPECT_EQ(d.Value("--track"), "2");
    EXPECT_EQ(d.Value("--at"), "1.5");
    EXPECT_TRUE(d.Has("--force"));
    EXPECT_FALSE(d.Value("--nothing"));

    ParsedOptions a = ParseOptions(
        { "rip", "1", "-o", "out.wav", "--level", "-6", "-3", "--check" }, kRip, kAnyDashPlain);
    EXPECT_TRUE(a.Error.empty());
    EXPECT_EQ(a.Positional, (Args { "rip", "1", "-3" }));
    EXPECT_EQ(a.Value("-o"), "out.wav");
    EXPECT_EQ(a.Value("--level"), "-6");
    EXPECT_TRUE(a.Has("--check"));
}

TEST(OptionParser, ProblemsNameTheToken)
{
    const struct {
        Args Input;
        std::span<const OptionSpec> Options;
        OptionRules Rules;
        OptionProblem Problem;
        const char* Token;
        const char* Error;
    } kCases[] = {
        { { "--at" }, kImport, {}, OptionProblem::MissingValue, "--at", "--at needs a value" },
        { { "x", "--force=1" }, kImport, {}, OptionProblem::UnknownOption, "--force=1",
            "unknown option: --force=1" },
        { { "--bogus", "--at" }, kImport, {}, OptionProblem::UnknownOption, "--bogus",
            "unknown option: --bogus" },
        { { "-x" }, {}, kAnyDashPlain, OptionProblem::UnknownOption, "-x", "unknown option: -x" },
        { { "--level=3" }, kRip, kAnyDashPlain, OptionProblem::UnknownOption, "--level=3",
            "unknown option: --level=3" },
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Error);
        ParsedOptions p = ParseOptions(c.Input, c.Options, c.Rules);
        EXPECT_EQ(p.Problem, c.Problem);
        EXPECT_EQ(p.ProblemToken, c.Token);
        EXPECT_EQ(p.Error, c.Error);
    }
    EXPECT_EQ(ParseOptions({ "a", "--force" }, kImport).Problem, OptionProblem::None);
}

TEST(OptionParser, RepeatedOptionsKeepTheirOrderAndTheLastOneCounts)
{
    constexpr OptionSpec kFx[] = { { "--band", "N=GAIN", "" }, { "--freq", "HZ", "" } };
    ParsedOptions p = ParseOptions({ "p", "--band", "8=9", "--freq", "100", "--band=11=-6",
                                       "--band", "5=-12", "--freq", "200" },
        kFx);
    ASSERT_EQ(p.Problem, OptionProblem::None) << p.Error;
    EXPECT_EQ(p.ValuesOf("--band"), (Args { "8=9", "11=-6", "5=-12" }));
    EXPECT_EQ(p.Value("--freq"), "200");
    EXPECT_TRUE(p.ValuesOf("--none").empty());
    // A value option takes the next token whatever it looks like.
    EXPECT_EQ(ParseOptions({ "--freq", "--band" }, kFx).Value("--freq"), "--band");
}

TEST(OptionParser, AnAliasCountsAsItsNameInEitherStyle)
{
    constexpr OptionSpec kHelp[] = { { "--help", "", "", "-h" }, { "-o", "OUT", "" } };
    for (OptionStyle style : { OptionStyle::DoubleDash, OptionStyle::AnyDash }) {
        SCOPED_TRACE(static_cast<int>(style));
        ParsedOptions p = ParseOptions({ "a", "-h", "-o", "x.wav", "-x" }, kHelp,
            { .Style = style, .UnknownIsPositional = true });
        EXPECT_TRUE(p.Has("--help"));
        EXPECT_EQ(p.Value("-o"), "x.wav");
        EXPECT_EQ(p.Positional, (Args { "a", "-x" }));
    }
}

TEST(OptionParser, RulesForTheEndMarkerUnknownOptionsAndTheFirstPositional)
{
    // "--" ends the options unless the rules keep it as an argument.
    ParsedOptions ended = ParseOptions({ "--force", "--", "--at", "x", "--" }, kImport);
    EXPECT_EQ(ended.Problem, OptionProblem::None);
    EXPECT_TRUE(ended.Has("--force"));
    EXPECT_EQ(ended.Positional, (Args { "--at", "x", "--" }));
    ParsedOptions kept = ParseOptions({ "--", "a" }, kImport, { .EndMarker = false });
    EXPECT_EQ(kept.Positional, (Args { "--", "a" }));

    // Unknown options kept as arguments, in their place; a listed one still takes its value.
    ParsedOptions open = ParseOptions({ "X=10", "--bogus", "--at", "1", "file", "--track=2" },
        kImport, { .InlineValues = false, .UnknownIsPositional = true });
    EXPECT_EQ(open.Problem, OptionProblem::None);
    EXPECT_EQ(open.Positional, (Args { "X=10", "--bogus", "file", "--track=2" }));
    EXPECT_EQ(open.Value("--at"), "1");

    // The first positional argument ends the options: the rest belongs to it.
    constexpr OptionSpec kGlobal[] = { { "--data-folder", "DIR", "" } };
    ParsedOptions global
        = ParseOptions({ "--data-folder=/d", "mixdown", "p", "--data-folder", "x" }, kGlobal,
            { .Style = OptionStyle::AnyDash, .StopAtPositional = true });
    EXPECT_EQ(global.Value("--data-folder"), "/d");
    EXPECT_TRUE(global.Positional.empty());
    EXPECT_EQ(global.Rest, (Args { "mixdown", "p", "--data-folder", "x" }));
}

TEST(OptionParser, HelpLinesAlignAndWrap)
{
    constexpr OptionSpec kOptions[] = {
        { "--help", "", "show this help", "-h" },
        { "--tracks", "all|selected|playing", "the tracks to mix" },
        { "--loop", "N", "play the range N times in the mix, which makes a long line wrap" },
        { "--a-long-option-without-help", "", "" },
    };
    EXPECT_EQ(OptionHelpText(kOptions, 12, 40),
        "  -h, --help\n"
        "            show this help\n"
        "  --tracks all|selected|playing\n"
        "            the tracks to mix\n"
        "  --loop N  play the range N times in\n"
        "            the mix, which makes a long\n"
        "            line wrap\n"
        "  --a-long-option-without-help\n");
    EXPECT_EQ(WrapText("one two\nthree", 2, 40, 4), "    one two\n  three\n");
}

} // namespace tarvok
