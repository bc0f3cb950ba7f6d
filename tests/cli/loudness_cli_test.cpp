// The loudness options of the command line: fx --lufs and mixdown --loudness.

#include "cli/cli_app.h"

#include "app/commands/apply_effect.h"
#include "app/commands/fx_dialog.h"
#include "app/shell/main_logic.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "fx/c_fx.h"
#include "platform/ebur128/ebur128_loudness_meter.h"
#include "render/loudness.h"
#include "support/fx_runner.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include "cli_project.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>

namespace tarvok {
namespace {

using test::CliRun;

/// pSeconds of a 1 kHz stereo sine at pDbfs (silence below -200) at 44.1 kHz.
std::string SineBytes(double pSeconds, double pDbfs)
{
    const double amplitude = pDbfs <= -200 ? 0.0 : 32768.0 * std::pow(10.0, pDbfs / 20.0);
    const auto sample = [&](int64_t f) {
        return std::lround(
            amplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(f) / 44100));
    };
    return test::Stereo16(static_cast<int64_t>(pSeconds * 44100), sample, sample);
}

/// A project "p.tvp" with one block of a sine on track 0 at 0.
struct Fixture : test::CliProject {
    Ebur128LoudnessMeter Meter;

    explicit Fixture(double pDbfs = -20.0)
        : CliProject(SineBytes(3.0, pDbfs), 0, 0)
    {
    }

    /// The file of the one block of track 0 in the saved project.
    std::string Track0File()
    {
        const Project p = Reread();
        EXPECT_EQ(p.BlockCount(), 1);
        return p.WaveFiles[static_cast<size_t>(p.Blocks[0].WaveNo)].FileName;
    }
};

TEST(LoudnessCli, FxLufsNormalisesAsTheDialogDoes)
{
    Fixture f;
    CliRun run = f.Run({ "fx", "p", "134", "--lufs", "-23" });
    ASSERT_EQ(run.Code, 0) << run.Err;
    const std::string cliFile = f.Track0File();
    Result<LoudnessReading> reading = MeasureWaveLoudness(f.Meter, cliFile);
    ASSERT_TRUE(reading);
    EXPECT_NEAR(reading->Integrated, -23.0, 0.5);

    // The window's path: the dialog model with its LUFS check, through the same command.
    test::StartedLogic<> window;
    Ebur128LoudnessMeter meter;
    window.Logic.SetLoudnessMeter(&meter);
    ASSERT_EQ(test::AddBlockWithFile(window.Logic, SineBytes(3.0, -20.0), 0, 0), 0);
    window.P().UpdateTitleLength(false);
    window.P().Tracks[0].Selected = 1;
    window.P().MarkIn = 0;
    window.P().MarkOut = window.P().ProjectLength;
    ASSERT_TRUE(ApplyEffect(window.Logic, 134, [&](C_FX& pFx) {
        FxDialogModel model(134, window.Store, window.P().MarkOut, window.P().SampleRate, 0);
        model.SetValue(0, -23);
        model.SetCheck(1, true);
        return model.Commit(pFx, window.Ui);
    }));
    const Block& b = window.P().Blocks[0];
    EXPECT_EQ(test::ReadSamples(cliFile),
        test::ReadSamples(window.P().WaveFiles[static_cast<size_t>(b.WaveNo)].FileName));
}

TEST(LoudnessCli, FxLufsRefusesWhatItCannotDo)
{
    Fixture f;
    const struct {
        std::vector<std::string> Args;
        const char* Error;
    } cases[] = {
        { { "fx", "p", "134", "--lufs", "5" }, "--lufs takes -60..0" },
        { { "fx", "p", "134", "--lufs", "x" }, "--lufs takes -60..0" },
        { { "fx", "p", "106", "--lufs", "-23" }, "--lufs goes with normalise" },
        { { "fx", "p", "134", "-10", "--lufs", "-23" }, "--lufs takes the place of P0" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Error);
        CliRun run = f.Run(c.Args);
        EXPECT_EQ(run.Code, 2);
        EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
    }
}

TEST(LoudnessCli, MixdownLoudnessWritesTheTargetAndPrintsTheReading)
{
    Fixture f;
    const std::string out = f.Home.Dir().File("mix.wav");
    CliRun run = f.Run({ "mixdown", "p", "-o", out, "--loudness", "-23" });
    ASSERT_EQ(run.Code, 0) << run.Err;
    Result<LoudnessReading> reading = MeasureWaveLoudness(f.Meter, out);
    ASSERT_TRUE(reading);
    EXPECT_NEAR(reading->Integrated, -23.0, 0.5);
    EXPECT_NE(run.Out.find("loudness: " + LoudnessText(*reading)), std::string::npos) << run.Out;

    // Without a target the mix is written as it is; --measure prints its reading.
    const std::string plain = f.Home.Dir().File("plain.wav");
    run = f.Run({ "mixdown", "p", "-o", plain, "--measure" });
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_NE(run.Out.find("loudness: -20.0 LUFS, true peak -20.0 dBTP"), std::string::npos)
        << run.Out;
    run = f.Run({ "mixdown", "p", "-o", plain });
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out.find("loudness"), std::string::npos) << run.Out;

    run = f.Run({ "mixdown", "p", "-o", f.Home.Dir().File("bad.wav"), "--loudness", "-80" });
    EXPECT_EQ(run.Code, 2);
    EXPECT_FALSE(FileExists(f.Home.Dir().File("bad.wav")));
}

TEST(LoudnessCli, MixdownOfSilenceWithALoudnessTargetWritesNothing)
{
    Fixture f(-300);
    const std::string out = f.Home.Dir().File("mix.wav");
    CliRun run = f.Run({ "mixdown", "p", "-o", out, "--loudness", "-23" });
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find(kMsgNoLoudness), std::string::npos) << run.Err;
    EXPECT_FALSE(FileExists(out));
}

} // namespace
} // namespace tarvok
