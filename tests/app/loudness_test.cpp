// Loudness targets: the normalise effect's LUFS mode and the mixdown's loudness option, both
// measured through the libebur128 adapter.

#include "app/commands/apply_effect.h"
#include "app/commands/fx_dialog.h"
#include "app/mixdown/mixdown.h"
#include "app/shell/main_logic.h"
#include "app/windows/mixdown_window.h"
#include "core/file_io.h"
#include "core/wave_info.h"
#include "fx/c_fx.h"
#include "platform/ebur128/ebur128_loudness_meter.h"
#include "platform/lame/lame_encoder.h"
#include "render/loudness.h"
#include "support/fx_runner.h"
#include "support/started_logic.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

namespace tarvok {
namespace {

constexpr double kSineDbfs = -20.0;

/// The started logic with the loudness meter wired in, as both front ends do.
struct LoudFixture : test::StartedLogic<> {
    Ebur128LoudnessMeter Meter;

    LoudFixture() { Logic.SetLoudnessMeter(&Meter); }

    /// pSeconds of a 1 kHz sine in both channels at pDbfs (0 amplitude gives silence) as
    /// one block on track 0 at 0.
    void AddSine(double pSeconds, double pDbfs)
    {
        const int32_t rate = P().SampleRate;
        const double amplitude = pDbfs <= -200 ? 0.0 : 32768.0 * std::pow(10.0, pDbfs / 20.0);
        const auto sample = [&](int64_t f) {
            return std::lround(amplitude
                * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(f) / rate));
        };
        const auto frames = static_cast<int64_t>(pSeconds * rate);
        ASSERT_GE(test::AddBlockWithFile(Logic, test::Stereo16(frames, sample, sample), 0, 0), 0);
        P().UpdateTitleLength(false);
    }

    MixdownRequest LoudnessRequest(const std::string& pTarget, const std::string& pLufs)
    {
        MixdownRequest r = LoadMixdownRequest(Store, P());
        r.TargetFile = pTarget;
        r.Loudness = true;
        r.LoudnessLevel = pLufs;
        return r;
    }

    double Lufs(const std::string& pFile)
    {
        Result<LoudnessReading> r = MeasureWaveLoudness(Meter, pFile);
        EXPECT_TRUE(r) << r.error().Message;
        return r ? r->Integrated : 0.0;
    }

    std::string BlockFile(int32_t pBlock)
    {
        return P()
            .WaveFiles[static_cast<size_t>(P().Blocks[static_cast<size_t>(pBlock)].WaveNo)]
            .FileName;
    }

    bool NoPartFiles()
    {
        for (const auto& e : std::filesystem::recursive_directory_iterator(Home.Dir().Path()))
            if (e.path().filename().string().find(".part") != std::string::npos)
                return false;
        return true;
    }
};

/// An encoder that writes the WAV file it is given as it stands, so the test can measure
/// what a FLAC or Opus target would have been made from.
class CopyingEncoder : public AudioFileEncoder {
public:
    bool Available(AudioCodec) const override { return true; }
    Status Encode(
        AudioCodec, int32_t, std::string_view pSource, FileHandle& pOut, const Progress&) override
    {
        std::optional<std::string> bytes = ReadAllBytes(pSource);
        if (!bytes || !WriteAt(pOut, bytes->data(), static_cast<int64_t>(bytes->size()), 0))
            return Fail("copy failed");
        return {};
    }
};

TEST(LoudnessMixdown, EveryFileTargetReachesTheTargetAndReportsTheReading)
{
    LoudFixture f;
    f.AddSine(3.0, kSineDbfs);
    CopyingEncoder encoder;
    const struct {
        const char* Name;
        std::optional<AudioCodec> Codec;
        int32_t Mode;
    } cases[] = {
        { "out.wav", std::nullopt, kMixTargetFile },
        { "out.flac", AudioCodec::Flac, kMixTargetFile },
        { "cd", std::nullopt, kMixTargetCd },
    };
    f.Store.SaveSetting("CDFolder", f.Home.Dir().File(""));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        MixdownRequest r = f.LoudnessRequest(f.Home.Dir().File(c.Name), "-23");
        r.Codec = c.Codec;
        r.TargetMode = c.Mode;
        MixdownResult result = RunMixdown(f.Logic, r, nullptr, {}, &encoder);
        ASSERT_EQ(result.Outcome, MixdownOutcome::Finished) << result.Message;
        ASSERT_TRUE(result.Loudness);
        EXPECT_NEAR(result.Loudness->Integrated, -23.0, 0.5);
        EXPECT_NEAR(result.Loudness->TruePeak, -23.0, 0.5);
        EXPECT_FALSE(result.LoudnessLimited);
        // The file written measures what was reported.
        EXPECT_NEAR(f.Lufs(result.Target), result.Loudness->Integrated, 0.05);
        EXPECT_EQ(f.Ui.LastStatus(), MixdownDoneText(result));
        EXPECT_NE(f.Ui.LastStatus().find("LUFS"), std::string::npos);
        EXPECT_TRUE(f.NoPartFiles());
    }
}

TEST(LoudnessMixdown, Mp3TargetIsEncodedFromTheAdjustedMix)
{
    LoudFixture f;
    LameEncoder lame;
    if (!lame.EncAvailable())
        GTEST_SKIP() << "no LAME library";
    f.AddSine(3.0, kSineDbfs);
    MixdownRequest r = f.LoudnessRequest(f.Home.Dir().File("out.wav"), "-16");
    r.Encode = true;
    r.BitRate = "192";
    MixdownResult result = RunMixdown(f.Logic, r, &lame);
    ASSERT_EQ(result.Outcome, MixdownOutcome::Finished) << result.Message;
    ASSERT_TRUE(result.Loudness);
    EXPECT_NEAR(result.Loudness->Integrated, -16.0, 0.5);
    EXPECT_TRUE(FileExists(f.Home.Dir().File("out.mp3")));
}

TEST(LoudnessMixdown, TrackTargetGetsTheAdjustedMix)
{
    LoudFixture f;
    f.AddSine(2.0, kSineDbfs);
    MixdownRequest r = f.LoudnessRequest("", "-30");
    r.TargetMode = kMixTargetTrack;
    r.TargetTrack = 1;
    MixdownResult result = RunMixdown(f.Logic, r, nullptr);
    ASSERT_EQ(result.Outcome, MixdownOutcome::Finished) << result.Message;
    int32_t placed = -1;
    for (int32_t i = 0; i < f.P().BlockCount(); ++i)
        if (f.P().Blocks[static_cast<size_t>(i)].TrackNo == 1)
            placed = i;
    ASSERT_GE(placed, 0);
    EXPECT_NEAR(f.Lufs(f.BlockFile(placed)), -30.0, 0.5);
}

TEST(LoudnessMixdown, TheTruePeakCeilingLimitsTheGainAndSaysSo)
{
    LoudFixture f;
    f.AddSine(2.0, -6.0);
    const std::string target = f.Home.Dir().File("loud.wav");
    MixdownResult result = RunMixdown(f.Logic, f.LoudnessRequest(target, "0"), nullptr);
    ASSERT_EQ(result.Outcome, MixdownOutcome::Finished) << result.Message;
    EXPECT_TRUE(result.LoudnessLimited);
    ASSERT_TRUE(result.Loudness);
    EXPECT_LE(result.Loudness->TruePeak, kLoudnessPeakCeiling + 0.1);
    EXPECT_NE(f.Ui.LastStatus().find("トゥルーピーク制限"), std::string::npos);
}

TEST(LoudnessMixdown, SilenceIsRefusedAndNothingIsWritten)
{
    LoudFixture f;
    f.AddSine(2.0, -300);
    const std::string fresh = f.Home.Dir().File("fresh.wav");
    const std::string existing = f.Home.Dir().File("existing.wav");
    ASSERT_TRUE(test::WriteFileBytes(existing, "previous content"));
    for (const std::string& target : { fresh, existing }) {
        SCOPED_TRACE(target);
        f.Ui.QueueAnswer("yes");
        MixdownResult result = RunMixdown(f.Logic, f.LoudnessRequest(target, "-23"), nullptr);
        EXPECT_EQ(result.Outcome, MixdownOutcome::Failed);
        EXPECT_EQ(result.Message, kMsgNoLoudness);
        EXPECT_FALSE(f.Logic.Busy);
        EXPECT_TRUE(f.NoPartFiles());
    }
    EXPECT_FALSE(FileExists(fresh));
    EXPECT_EQ(test::ReadFileBytes(existing), "previous content");
    // Without a target the silent mix is written, and measuring it simply gives no reading.
    MixdownRequest plain = f.LoudnessRequest(fresh, "-23");
    plain.Loudness = false;
    plain.MeasureLoudness = true;
    MixdownResult result = RunMixdown(f.Logic, plain, nullptr);
    EXPECT_EQ(result.Outcome, MixdownOutcome::Finished);
    EXPECT_FALSE(result.Loudness);
    EXPECT_EQ(f.Ui.LastStatus(), "終了");
    EXPECT_TRUE(FileExists(fresh));
}

TEST(LoudnessMixdown, WithoutATargetTheMixIsMeasuredOnlyWhenAskedAndNotChanged)
{
    LoudFixture f;
    f.AddSine(2.0, kSineDbfs);
    for (const bool measure : { false, true }) {
        SCOPED_TRACE(measure);
        const std::string target = f.Home.Dir().File(measure ? "measured.wav" : "plain.wav");
        MixdownRequest r = f.LoudnessRequest(target, "-23");
        r.Loudness = false;
        r.MeasureLoudness = measure;
        MixdownResult result = RunMixdown(f.Logic, r, nullptr);
        ASSERT_EQ(result.Outcome, MixdownOutcome::Finished);
        EXPECT_EQ(result.Loudness.has_value(), measure);
        if (measure) {
            EXPECT_NEAR(result.Loudness->Integrated, kSineDbfs, 0.1);
            EXPECT_NEAR(result.Loudness->TruePeak, kSineDbfs, 0.2);
        }
        EXPECT_EQ(f.Ui.LastStatus(), MixdownDoneText(result));
        EXPECT_NEAR(f.Lufs(target), kSineDbfs, 0.1) << "the mix itself is unchanged";
    }
}

TEST(LoudnessMixdown, ValidationOfTheLoudnessOption)
{
    LoudFixture f;
    Ebur128LoudnessMeter meter;
    const struct {
        const char* Level;
        bool Normalize;
        LoudnessMeter* Meter;
        const char* Message;
    } cases[] = {
        { "-23", false, &meter, "" },
        { "-23.5", false, &meter, "" },
        { "x", false, &meter, "ラウドネスは-70～0のLUFS値を入力してください" },
        { "3", false, &meter, "ラウドネスは-70～0のLUFS値を入力してください" },
        { "-71", false, &meter, "ラウドネスは-70～0のLUFS値を入力してください" },
        { "-23", true, &meter, "ノーマライズとラウドネスは同時に選べません" },
        { "-23", false, nullptr, kMsgNoLoudnessMeter },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Message);
        MixdownRequest r = f.LoudnessRequest("/tmp/x.wav", c.Level);
        r.Normalize = c.Normalize;
        EXPECT_EQ(ValidateMixdown(r, nullptr, nullptr, c.Meter), c.Message);
    }
}

TEST(LoudnessMixdown, WindowAndSettingsCarryTheOption)
{
    LoudFixture f;
    f.AddSine(2.0, kSineDbfs);
    MixdownWindowModel window(f.Logic, nullptr);
    EXPECT_TRUE(window.Enabled().Loudness);
    EXPECT_FALSE(window.Enabled().LoudnessLevel);
    EXPECT_TRUE(window.Enabled().MeasureLoudness);
    EXPECT_TRUE(window.Request().MeasureLoudness)
        << "the window reports the mix's loudness unless told not to";
    window.SetMeasureLoudness(false);
    EXPECT_FALSE(window.Request().MeasureLoudness);
    window.SetMeasureLoudness(true);
    window.SetNormalize(true);
    window.SetLoudness(true);
    EXPECT_FALSE(window.Request().Normalize) << "the loudness target replaces normalising";
    EXPECT_TRUE(window.Enabled().LoudnessLevel);
    EXPECT_FALSE(window.Enabled().MeasureLoudness) << "a target always measures";
    window.SetNormalize(true);
    EXPECT_FALSE(window.Request().Loudness);
    window.SetLoudness(true);
    window.SetLoudnessLevel("-18");
    const std::string fromWindow = f.Home.Dir().File("window.wav");
    window.SetTargetFile(fromWindow);
    window.SaveValues();
    MixdownResult shown = window.Run();
    ASSERT_EQ(shown.Outcome, MixdownOutcome::Finished) << shown.Message;

    // The stored values come back, and the same request run directly gives the same file.
    MixdownRequest loaded = LoadMixdownRequest(f.Store, f.P());
    EXPECT_TRUE(loaded.Loudness);
    EXPECT_EQ(loaded.LoudnessLevel, "-18");
    EXPECT_TRUE(loaded.MeasureLoudness);
    const std::string direct = f.Home.Dir().File("direct.wav");
    loaded.TargetFile = direct;
    ASSERT_EQ(RunMixdown(f.Logic, loaded, nullptr).Outcome, MixdownOutcome::Finished);
    EXPECT_EQ(test::ReadFileBytes(direct), test::ReadFileBytes(fromWindow));
    EXPECT_NEAR(f.Lufs(direct), -18.0, 0.5);

    f.Logic.SetLoudnessMeter(nullptr);
    EXPECT_FALSE(window.Enabled().Loudness);
    EXPECT_FALSE(window.Enabled().LoudnessLevel);
}

TEST(LoudnessNormalise, TheLufsCheckBringsEachBlockToTheTarget)
{
    LoudFixture f;
    f.AddSine(3.0, kSineDbfs);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 0;
    f.P().MarkOut = f.P().ProjectLength;
    ASSERT_TRUE(ApplyEffect(f.Logic, 134, [&](C_FX& pFx) {
        FxDialogModel model(134, f.Store, f.P().MarkOut, f.P().SampleRate, 1);
        model.SetValue(0, -23);
        model.SetCheck(0, true);
        model.SetCheck(1, true);
        EXPECT_FALSE(model.Check(0)) << "RMS and LUFS exclude each other";
        return model.Commit(pFx, f.Ui);
    }));
    ASSERT_EQ(f.P().BlockCount(), 1);
    EXPECT_NEAR(f.Lufs(f.BlockFile(0)), -23.0, 0.5);
    EXPECT_NE(f.Ui.LastStatus().find("-23.0 LUFS"), std::string::npos) << f.Ui.LastStatus();
}

TEST(LoudnessNormalise, DialogCommitsTheLoudnessMode)
{
    LoudFixture f;
    C_FX fx(44100, &f.Ui);
    FxDialogModel model(134, f.Store, 100, 44100, 1);
    ASSERT_EQ(model.CheckCount(), 2);
    model.SetValue(0, -16);
    model.SetCheck(1, true);
    ASSERT_TRUE(model.Commit(fx, f.Ui));
    // RMSP3 moves only RMS targets.
    EXPECT_EQ(fx.FXParm(0), -16);
    EXPECT_EQ(fx.FXParm(1), kNormalizeLoudness);
    ASSERT_TRUE(model.SaveValues(fx, f.Ui));
    EXPECT_EQ(f.Store.GetSetting("FXParm_FX_NORM_Check-02", int32_t { 0 }), 1);
    FxDialogModel again(134, f.Store, 100, 44100, 1);
    EXPECT_TRUE(again.Check(1));
    EXPECT_FALSE(again.Check(0));
}

TEST(LoudnessNormalise, SilenceOrNoMeterLeavesTheProjectAsItWas)
{
    for (const bool withMeter : { true, false }) {
        SCOPED_TRACE(withMeter ? "silent block" : "no meter");
        LoudFixture f;
        f.AddSine(2.0, withMeter ? -300 : kSineDbfs);
        if (!withMeter)
            f.Logic.SetLoudnessMeter(nullptr);
        f.P().Tracks[0].Selected = 1;
        f.P().MarkIn = 0;
        f.P().MarkOut = f.P().ProjectLength;
        const std::vector<Block> before = f.P().Blocks;
        f.Ui.ClearEvents();
        EXPECT_FALSE(ApplyEffect(f.Logic, 134, [](C_FX& pFx) {
            pFx.SetFXParm(0, -23);
            pFx.SetFXParm(1, kNormalizeLoudness);
            return true;
        }));
        EXPECT_EQ(f.P().Blocks.size(), before.size());
        EXPECT_EQ(f.P().Blocks[0].WaveNo, before[0].WaveNo);
        const std::vector<std::string> boxes = f.Ui.BoxTexts();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back(), withMeter ? kMsgNoLoudness : kMsgNoLoudnessMeter);
    }
}

} // namespace
} // namespace tarvok

namespace tarvok {
namespace {

TEST(LoudnessNormalise, PreviewIsHeardWithTheGainTheCommandGives)
{
    // Peak mode to 0 dB and LUFS mode to -14 on a -20 dBFS sine: both channels of the
    // preview carry the measured gain (not the target and the mode as gains).
    const struct {
        bool Lufs;
        int32_t Target;
        double GainDb;
    } cases[] = { { false, 0, 20.0 }, { true, -14, 6.0 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Lufs ? "LUFS" : "peak");
        LoudFixture f;
        f.AddSine(3.0, kSineDbfs);
        f.P().Tracks[0].Selected = 1;
        f.P().MarkIn = 0;
        f.P().MarkOut = f.P().ProjectLength;
        f.P().SelectedBlock = 0;
        C_FX fx(f.P().SampleRate, &f.Ui);
        FxDialogModel model(134, f.Store, f.P().MarkOut, f.P().SampleRate, 0);
        model.SetValue(0, c.Target);
        model.SetCheck(1, c.Lufs);
        model.SetPreviewSec(5);
        FxPreview preview(f.Logic);
        ASSERT_TRUE(preview.Render(model, fx));
        const std::vector<int16_t> out = test::ReadSamples(preview.File());
        ASSERT_EQ(out.size(), test::ReadSamples(f.BlockFile(0)).size());
        int32_t peakL = 0;
        int32_t peakR = 0;
        for (size_t i = 0; i + 1 < out.size(); i += 2) {
            peakL = std::max<int32_t>(peakL, std::abs(out[i]));
            peakR = std::max<int32_t>(peakR, std::abs(out[i + 1]));
        }
        EXPECT_EQ(peakL, peakR);
        EXPECT_NEAR(20.0 * std::log10(peakL / 32768.0), kSineDbfs + c.GainDb, 0.2);
    }
}

} // namespace
} // namespace tarvok
