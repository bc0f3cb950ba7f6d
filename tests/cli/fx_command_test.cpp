#include "cli/cli_app.h"

#include "app/commands/apply_effect.h"
#include "app/shell/main_logic.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "fx/c_fx.h"
#include "fx/fx_table.h"
#include "support/fx_runner.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include "cli_project.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace tarvok {
namespace {

using test::CliRun;

/// A project "p.tvp" at 8000 Hz with one block of noise on track 1 at frame 1000.
struct Fixture : test::CliProject {
    test::Samples Noise = test::NoiseSignal(4000, 9);

    Fixture()
        : CliProject(test::Samples16(test::NoiseSignal(4000, 9)), 1, 1000, 8000)
    {
    }

    /// The samples of the blocks of track 1, in timeline order, read back from the saved
    /// project.
    test::Samples Track1()
    {
        const Project p = Reread();
        std::vector<Block> blocks;
        for (const Block& b : p.Blocks)
            if (b.TrackNo == 1)
                blocks.push_back(b);
        std::sort(blocks.begin(), blocks.end(),
            [](const Block& a, const Block& b) { return a.StartAdr < b.StartAdr; });
        test::Samples all;
        for (const Block& b : blocks) {
            test::Samples s
                = test::ReadSamples(p.WaveFiles[static_cast<size_t>(b.WaveNo)].FileName);
            all.insert(all.end(), s.begin() + (b.SrcStart - 1) * 2, s.begin() + b.SrcEnd * 2);
        }
        return all;
    }
};

TEST(FxCommand, ListsEveryEffectWithItsParameters)
{
    Fixture f;
    CliRun r = f.Run({ "fx", "--list" });
    EXPECT_EQ(r.Code, 0);
    EXPECT_NE(r.Out.find("106 FX_DELAY ディレイ\n  P0 遅延 1..500 (100)\n"), std::string::npos);
    EXPECT_NE(r.Out.find("143 FX_VOCAL センター抽出 (no parameters)"), std::string::npos);
    EXPECT_NE(r.Out.find("shown as Hz: 20..19900 (630)"), std::string::npos);
    EXPECT_NE(r.Out.find("check 0 RMS"), std::string::npos);
}

TEST(FxCommand, AppliesTheEffectToTheGivenRangeAndSavesTheProject)
{
    Fixture f;
    // Phase invert of both channels over 0.25 s .. 0.5 s (frames 2000..4000) of track 1.
    CliRun r = f.Run({ "fx", "p", "FX_PHASE_OUT", "--check", "0=1", "--check", "1=1", "--track",
        "1", "--from", "0.25", "--to", "0.5" });
    ASSERT_EQ(r.Code, 0) << r.Err;
    const test::Samples after = f.Track1();
    ASSERT_EQ(after.size(), f.Noise.size());
    for (size_t i = 0; i < after.size(); ++i) {
        const int64_t frame = static_cast<int64_t>(i / 2) + 1000;
        const int16_t x = f.Noise[i];
        const int16_t expected
            = frame >= 2000 && frame < 4000 ? static_cast<int16_t>(x == -32768 ? 32767 : -x) : x;
        ASSERT_EQ(after[i], expected) << i;
    }
}

TEST(FxCommand, TimeStretchesInEitherQualityToTheLengthTheRatioGives)
{
    // 速さ 200 over the whole block (frames 1000..5000): S = 2, 2000 frames.
    for (const char* quality : { "standard", "high" }) {
        SCOPED_TRACE(quality);
        Fixture f;
        CliRun r = f.Run({ "fx", "p", "118", "200", "--quality", quality, "--track", "1", "--from",
            "0.125", "--to", "0.625" });
        ASSERT_EQ(r.Code, 0) << r.Err;
        const test::Samples after = f.Track1();
        EXPECT_EQ(after.size(), 2u * 2000);
        double energy = 0;
        for (int16_t v : after)
            energy += std::abs(static_cast<double>(v));
        EXPECT_GT(energy / static_cast<double>(after.size()), 1000);
    }
}

TEST(FxCommand, AppliesADistortionToTheSelectionOnly)
{
    for (int32_t id = 120; id <= 126; ++id)
        EXPECT_TRUE(IsEffectAvailable(id)) << id;
    Fixture f;
    // ゲイン 3, レベル 40: three times the input, clipped to ±13107, over frames 2000..4000.
    CliRun r = f.Run(
        { "fx", "p", "FX_DISTORTION", "3", "40", "--track", "1", "--from", "0.25", "--to", "0.5" });
    ASSERT_EQ(r.Code, 0) << r.Err;
    const test::Samples after = f.Track1();
    ASSERT_EQ(after.size(), f.Noise.size());
    for (size_t i = 0; i < after.size(); ++i) {
        const int64_t frame = static_cast<int64_t>(i / 2) + 1000;
        const int x = f.Noise[i];
        const int expected = frame >= 2000 && frame < 4000 ? std::clamp(x * 3, -13107, 13107) : x;
        ASSERT_EQ(after[i], expected) << i;
    }
}

TEST(FxCommand, RejectsBadArgumentsWithoutTouchingTheProject)
{
    Fixture f;
    const std::string before = ReadAllBytes(f.ProjectPath).value_or("");
    const std::vector<std::vector<std::string>> bad = {
        { "fx", "p", "999" },
        { "fx", "p", "106", "0" }, // 遅延 1..500
        { "fx", "p", "106", "1", "2", "3", "4" },
        { "fx", "p", "133", "--freq" },
        { "fx", "p", "106", "--track", "1" },
        { "fx", "p", "135", "--check", "3=1" },
        { "fx", "p", "106", "--quality", "high" },
        { "fx", "p", "118", "--quality", "best" },
        { "fx", "p", "130", "--band", "15=3" }, // bands 0..14
        { "fx", "p", "130", "--band", "2=16" }, // -15..15 dB
        { "fx", "p", "130", "--band", "2=3,1000,1" }, // fixed frequencies
        { "fx", "p", "131", "--band", "0=3,10,1" }, // 20..19900 Hz
        { "fx", "p", "131", "--band", "0=3,1000,2.5" }, // Q 0.5..2.0
        { "fx", "p", "131", "--band", "0=3,1000" },
        { "fx", "p", "106", "--band", "0=3" },
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args[2]);
        EXPECT_EQ(f.Run(args).Code, 2);
    }
    CliRun sine
        = f.Run({ "fx", "p", "133", "--freq", "5", "--track", "1", "--from", "0", "--to", "1" });
    EXPECT_EQ(sine.Code, 1);
    EXPECT_NE(sine.Err.find("20～20000の値を入力してください"), std::string::npos);
    EXPECT_EQ(ReadAllBytes(f.ProjectPath).value_or(""), before);
}

TEST(FxCommand, EqualiserBandsGivenOnTheCommandLineShapeTheSelection)
{
    struct Case {
        std::vector<std::string> options;
        int32_t id;
        std::vector<EqBand> bands; ///< what the processor must have received
        double level;
    };
    const std::vector<double>& hz = GraphicEqFrequencies();
    std::vector<EqBand> graphic;
    for (double f : hz)
        graphic.push_back(EqBand { 0, static_cast<float>(f), 2.0f });
    graphic[8].GainDb = 9; // 1000 Hz
    graphic[11].GainDb = -6; // 4000 Hz: above half the rate, skipped
    graphic[5].GainDb = -12; // 250 Hz
    const std::vector<Case> cases = {
        { { "--band", "8=9", "--band", "11=-6", "--band", "5=-12" }, 130, graphic, 0 },
        // 1000 Hz is a shown frequency; 1234 Hz is shown nearest as 1200; Q 0.75 shows 0.8.
        { { "--band", "0=6,1000,1.5", "--band", "2=-9,1234,0.75" }, 131,
            { { 6, 1000, 1.5f }, { 0, 630, 2.0f }, { -9, 1200, 0.8f } }, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Fixture f;
        std::vector<std::string> args
            = { "fx", "p", std::to_string(c.id), "--track", "1", "--from", "0.25", "--to", "0.5" };
        args.insert(args.end(), c.options.begin(), c.options.end());
        CliRun r = f.Run(args);
        ASSERT_EQ(r.Code, 0) << r.Err;

        // The part from frame 2000 to 4000 (noise frames 1000..3000) through the same bands.
        test::TempDir dir;
        const test::Samples part(f.Noise.begin() + 2000, f.Noise.begin() + 6000);
        ASSERT_TRUE(test::WriteSamples(dir.File("in.wav"), 8000, part));
        C_FX fx(8000);
        fx.SetEQBands(static_cast<int32_t>(c.bands.size()));
        for (size_t b = 0; b < c.bands.size(); ++b)
            fx.SetEQParm(static_cast<int32_t>(b), c.bands[b].GainDb, c.bands[b].Freq, c.bands[b].Q);
        fx.SetFXParm(0, c.level);
        ASSERT_TRUE(fx.Proc(c.id, dir.File("in.wav"), dir.File("out.wav"), 0, 2000, false, "1"));
        const test::Samples shaped = test::ReadSamples(dir.File("out.wav"));
        ASSERT_NE(shaped, part);

        test::Samples expected = f.Noise;
        std::copy(shaped.begin(), shaped.end(), expected.begin() + 2000);
        EXPECT_EQ(f.Track1(), expected);
    }
}

TEST(FxCommand, AFullDiskIsNamedWhereverTheWriteFails)
{
    // Every write, flush and rename of the run in turn finds the disk full: the effect's
    // result, the undo snapshot, the project file. A run that fails says why.
    const std::vector<std::vector<std::string>> effects = {
        { "FX_PHASE_OUT", "--check", "0=1" },
        { "FX_RVS" },
    };
    for (const std::vector<std::string>& effect : effects) {
        SCOPED_TRACE(effect[0]);
        int failures = 0;
        for (FaultPoint point : { FaultPoint::Write, FaultPoint::Flush, FaultPoint::Rename }) {
            for (int64_t n = 1;; ++n) {
                SCOPED_TRACE(testing::Message() << static_cast<int>(point) << " #" << n);
                Fixture f;
                std::vector<std::string> args = { "fx", "p" };
                args.insert(args.end(), effect.begin(), effect.end());
                args.insert(args.end(), { "--track", "1", "--from", "0.25", "--to", "0.5" });
                ArmFault(point, n, FaultKind::NoSpace);
                const CliRun r = f.Run(args);
                const bool fired = FaultFired();
                ClearFaults();
                if (!fired)
                    break;
                if (r.Code == 0)
                    continue;
                ++failures;
                EXPECT_NE(r.Err.find("ディスクの空き容量が足りません"), std::string::npos) << r.Err;
            }
        }
        EXPECT_GT(failures, 0);
    }
}

TEST(FxCommand, ARangePastTheEndSaysThereIsNothingToChange)
{
    Fixture f;
    const CliRun r = f.Run({ "fx", "p", "FX_RVS", "--track", "1", "--from", "10", "--to", "11" });
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("範囲内にブロックがありません"), std::string::npos) << r.Err;
}

} // namespace
} // namespace tarvok
