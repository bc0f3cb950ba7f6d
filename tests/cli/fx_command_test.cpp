#include "cli/cli_app.h"

#include "app/apply_effect.h"
#include "app/main_logic.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "support/fx_runner.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace tarvok {
namespace {

struct CliRun {
    int Code;
    std::string Out;
    std::string Err;
};

/// A project "p.tvp" at 8000 Hz with one block of noise on track 1 at frame 1000.
struct Fixture {
    test::ScopedHome Home;
    std::string Data;
    std::string ProjectPath;
    test::Samples Noise = test::NoiseSignal(4000, 9);

    Fixture()
    {
        MemorySettingsBackend backend;
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(Home.Dir().File("data"));
        EXPECT_TRUE(logic.Startup(""));
        Data = logic.Proj().DataFolder;
        ProjectPath = Data + "p.tvp";
        logic.Proj().SampleRate = 8000;
        EXPECT_EQ(test::AddBlockWithFile(logic, test::Samples16(Noise), 1, 1000), 0);
        logic.Proj().UpdateTitleLength(false);
        ProjectFileEnv env = logic.FileEnv();
        EXPECT_TRUE(WriteProject(logic.Proj(), ProjectPath, false, env));
    }

    CliRun Run(std::vector<std::string> pArgs)
    {
        std::ostringstream out, err;
        pArgs.insert(pArgs.begin(), { "--data-folder", Data });
        const int code = RunCli(pArgs, out, err);
        return { code, out.str(), err.str() };
    }

    /// The samples of the blocks of track 1, in timeline order, read back from the saved
    /// project.
    test::Samples Track1()
    {
        MemorySettingsBackend backend;
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(Data);
        EXPECT_TRUE(logic.Startup("", false));
        EXPECT_TRUE(logic.OpenProject(ProjectPath, false));
        const Project& p = logic.Proj();
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

} // namespace
} // namespace tarvok
