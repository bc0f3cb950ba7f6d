#include "cli/automate_command.h"
#include "cli/run_command.h"

#include "app/shell/main_logic.h"
#include "core/data_folder.h"
#include "core/fade_table.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "edit/fade_edit.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include "cli_project.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarvok {

namespace {

using test::CliRun;

/// A project "p.tvp" with 3 seconds of sound on track 1 at 44100 Hz, in its own data folder.
struct Fixture : test::CliProject {
    Fixture()
        : CliProject(test::Stereo16(
                         132300, [](int64_t f) { return 3000 + f % 100; },
                         [](int64_t f) { return -3000 - f % 70; }),
            1, 0)
    {
    }

    template <class Command> CliRun Call(Command pCommand, const std::vector<std::string>& pArgs)
    {
        std::ostringstream out, err;
        CliContext ctx(out, err);
        ctx.DataFolder = Data;
        int code = pCommand(ctx, pArgs);
        return { code, out.str(), err.str() };
    }

    CliRun Script(const std::string& pScript)
    {
        const std::string file = Home.Dir().File("script.txt");
        test::WriteFileBytes(file, pScript);
        return Call(RunScriptCommand, { "p", file });
    }

    CliRun Automate(const std::string& pCurve, std::vector<std::string> pExtra = {})
    {
        const std::string file = Home.Dir().File("curve.txt");
        test::WriteFileBytes(file, pCurve);
        std::vector<std::string> args = { "p", "--track", "1", "--from", "0", "--curve", file };
        args.insert(args.end(), pExtra.begin(), pExtra.end());
        return Call(AutomateCommand, args);
    }

    /// The saved project read back, envelopes from their files.
    Project Reread() { return CliProject::Reread(true); }
};

} // namespace

TEST(FadeCli, FadeCommandsRunFromAScript)
{
    Fixture f;
    CliRun run = f.Script("SELECT_TRACKS 1\n"
                          "MARKIN 0.5\n"
                          "MARKOUT 1.5\n"
                          "FADE_CHANNELS R\n"
                          "FADE_OUT\n"
                          "FADE_CHANNELS LR\n"
                          "HEAD 2\n"
                          "CURRENT_TRACK 1\n"
                          "FADE_FPHEAD\n");
    ASSERT_EQ(run.Code, 0) << run.Err;
    Project p = f.Reread();
    const int32_t first = 22050 / 2048; // 10
    const int32_t last = 66150 / 2048 + 1; // 33
    EXPECT_EQ(EnvelopeLevel(p, 1, 1, first), p.UnityLevel);
    EXPECT_EQ(EnvelopeLevel(p, 1, 1, last), 0);
    EXPECT_EQ(EnvelopeLevel(p, 1, 0, last), p.UnityLevel) << "the left channel was off";
    ASSERT_EQ(p.FadePointCount(), 1);
    EXPECT_EQ(p.FadePoints[0].EnvFrame, 43); // 88200 / 2048 = 43.07
    EXPECT_EQ(p.FadePoints[0].TrackNo, 1);
    EXPECT_EQ(p.FadePoints[0].Channels, kFadeBoth);

    // A fade command that does nothing fails the run and saves nothing.
    run = f.Script("MARKIN 2\nMARKOUT 2\nFADE_FPMARK\n");
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find("FADE_FPMARK"), std::string::npos) << run.Err;
}

TEST(FadeCli, AutomateWritesTheCurveIntoTheTrack)
{
    Fixture f;
    // Unity (207) for the first half second, down to 57 at 1.5 s, then held.
    CliRun run = f.Automate("# time level\n0 207\n0.5 207\n1.5 57\n2.5 57\n");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_NE(run.Out.find("automation written on track 1"), std::string::npos) << run.Out;
    Project p = f.Reread();
    auto e = [&](double pSeconds, int32_t pChannel) {
        return EnvelopeLevel(p, 1, pChannel, static_cast<int32_t>(pSeconds * 44100 / 2048));
    };
    for (int32_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(e(0.3, c), 207);
        // Halfway down the ramp; the fader moves in 50 ms steps, about 7.5 levels each.
        EXPECT_NEAR(e(1.0, c), 132, 8);
        EXPECT_NEAR(e(1.3, c), 87, 8);
        EXPECT_EQ(e(2.0, c), 57);
        EXPECT_EQ(e(2.4, c), 57);
    }
    // The ramp only goes down.
    for (int32_t k = 1; k < static_cast<int32_t>(2.4 * 44100 / 2048); ++k)
        EXPECT_LE(EnvelopeLevel(p, 1, 0, k), EnvelopeLevel(p, 1, 0, k - 1)) << k;
    // Another track is left alone.
    EXPECT_EQ(EnvelopeLevel(p, 0, 0, 40), p.UnityLevel);
    // One snapshot for the pass; the undo snapshot holds the envelope before.
    EXPECT_FALSE(p.Tracks[1].EnvelopeFile.empty());
}

TEST(FadeCli, AutomateLevelsInDecibels)
{
    Fixture f;
    CliRun run = f.Automate("0 -inf db\n1 -inf db\n");
    ASSERT_EQ(run.Code, 0) << run.Err;
    Project p = f.Reread();
    EXPECT_EQ(EnvelopeLevel(p, 1, 0, 10), 0);
    std::vector<CurvePoint> points;
    FadeTable table {};
    BuildFadeTable(1, table);
    ASSERT_FALSE(ParseCurve("0 -5db\n0:01:00 255\n", 44100, table, points).has_value());
    EXPECT_EQ(points[0].Level, LevelIndexFromDb(table, -5));
    EXPECT_EQ(points[1].Frame, 60 * 44100);
    EXPECT_EQ(CurveLevelAt(points, -5), points[0].Level);
    EXPECT_EQ(CurveLevelAt(points, 30 * 44100), (points[0].Level + 255 + 1) / 2);
    EXPECT_EQ(CurveLevelAt(points, 99 * 44100), 255);
}

TEST(FadeCli, AutomateRefusesBadInput)
{
    struct Case {
        const char* Curve;
        std::vector<std::string> Extra;
        int Code;
        const char* Error;
    };
    const Case cases[] = {
        { "0 207\nbanana\n", {}, 2, "line 2" },
        { "0 300\n", {}, 2, "not a level" },
        { "1 20\n0.5 30\n", {}, 2, "the times go back" },
        { "# nothing\n", {}, 2, "no points" },
        { "0 10\n0.1 20\n", { "--from", "2" }, 2, "ends before" },
        { "0 10\n1 20\n", { "--track", "9" }, 2, "no such track" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Curve);
        Fixture f;
        const std::string before = test::ReadFileBytes(f.ProjectPath);
        CliRun run = f.Automate(c.Curve, c.Extra);
        EXPECT_EQ(run.Code, c.Code);
        EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
        EXPECT_EQ(test::ReadFileBytes(f.ProjectPath), before);
    }
    Fixture f;
    EXPECT_EQ(f.Call(AutomateCommand, { "p", "--track", "1" }).Code, 2);
}

TEST(FadeCli, AutomateNamesAFullDisk)
{
    int failures = 0;
    for (int64_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        Fixture f;
        const std::string file = f.Home.Dir().File("curve.txt");
        test::WriteFileBytes(file, "0 207\n1 57\n");
        ArmFault(FaultPoint::Write, n, FaultKind::NoSpace);
        const CliRun r
            = f.Call(AutomateCommand, { "p", "--track", "1", "--from", "0", "--curve", file });
        const bool fired = FaultFired();
        ClearFaults();
        if (!fired)
            break;
        if (r.Code == 0)
            continue;
        ++failures;
        EXPECT_NE(r.Err.find("ディスクの空き容量が足りません"), std::string::npos) << r.Err;
    }
    EXPECT_GT(failures, 0);
}

} // namespace tarvok
