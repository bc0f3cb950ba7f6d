#include "base/numeric.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "fx/c_fx.h"
#include "fx/fx_table.h"
#include "support/fx_runner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarvok::test {
namespace {

TEST(ChannelEffects, FramesFollowTheirFormulas)
{
    struct Case {
        int id;
        std::vector<double> parms;
        Samples in;
        Samples out;
    };
    const std::vector<Case> cases = {
        { 136, { 3 }, { 1000, -32768 }, { -1000, 32767 } },
        { 136, { 1 }, { 1000, -2000 }, { -1000, -2000 } },
        { 136, { 2 }, { 1000, -2000 }, { 1000, 2000 } },
        { 136, { 0 }, { 1000, -2000 }, { 1000, -2000 } },
        { 137, { 0 }, { 1234, -4321 }, { 1234, -4321 } },
        // At 100 each channel is the mono average, a half rounded to even (2, 1 gives 2, 2).
        { 137, { 100 }, { 100, 300, 2, 1 }, { 200, 200, 2, 2 } },
        { 135, { 0, 0 }, { 1234, -4321 }, { 1234, -4321 } },
        { 135, { 6, -6 }, { 1000, 1000 }, { 1995, 501 } },
        { 135, { 20, 0 }, { 30000, 5 }, { 32767, 5 } },
        { 134, { -20, -20 }, { 1000, 20000 }, { 100, 2000 } },
        { 138, {}, { 1, 2, -32768, 5 }, { 2, 1, 5, -32767 } },
        { 139, {}, { 1, 2 }, { 1, 1 } },
        { 140, {}, { 1, 2 }, { 2, 2 } },
        // k = 0 halves; a mono input is halved whatever k is.
        { 141, { 0 }, { 1001, -1001 }, { 500, -500 } },
        { 141, { 300 }, { 999, 999 }, { 499, 499 } },
        { 141, { 150 }, { 1000, 0 }, { 1250, -750 } },
        { 142, {}, { 500, 500, 30000, -30000 }, { 0, 0, 32767, -32767 } },
        { 143, {}, { 100, 300, -5, 7, 0, 0, 0, 9, -400, -20 },
            { 100, 100, 0, 0, 0, 0, 0, 0, -20, -20 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.id << " " << (c.parms.empty() ? 0 : c.parms[0]));
        FxRun run = RunEffect(c.id, c.parms, c.in);
        ASSERT_TRUE(run.Ok);
        EXPECT_EQ(run.Out, c.out);
    }
}

TEST(ChannelEffects, LrMixFollowsItsFormulaAndGivesTheMonoAverageAtFullLevel)
{
    // Varied frames: odd and even sums, both extremes, each channel the larger.
    const Samples in = NoiseSignal(6000, 11);
    for (const int level : { 0, 1, 33, 50, 77, 99, 100 }) {
        SCOPED_TRACE(level);
        FxRun run = RunEffect(kCmdFxMixLr, { static_cast<double>(level) }, in);
        ASSERT_TRUE(run.Ok);
        ASSERT_EQ(run.Out.size(), in.size());
        // a = level x 0.005, formed in single precision.
        const double a = static_cast<double>(static_cast<float>(level) * 0.005f);
        for (size_t n = 0; n < in.size() / 2; ++n) {
            const double l = in[n * 2];
            const double r = in[n * 2 + 1];
            ASSERT_EQ(run.Out[n * 2], Saturate16(l * (1.0 - a) + r * a)) << n;
            ASSERT_EQ(run.Out[n * 2 + 1], Saturate16(r * (1.0 - a) + l * a)) << n;
            if (level == 100) {
                ASSERT_EQ(run.Out[n * 2], Saturate16((l + r) / 2.0)) << n;
                ASSERT_EQ(run.Out[n * 2 + 1], run.Out[n * 2]) << n;
            }
        }
    }
}

TEST(ChannelEffects, SineAtAQuarterOfTheRateRepeatsFourValues)
{
    const Samples in(2 * 8, 123);
    FxRun run = RunEffect(133, { 0, 2000 }, in);
    ASSERT_TRUE(run.Ok);
    const Samples expected
        = { 32767, 32767, 0, 0, -32767, -32767, 0, 0, 32767, 32767, 0, 0, -32767, -32767, 0, 0 };
    EXPECT_EQ(run.Out, expected);
}

TEST(ChannelEffects, SinePhaseRunsOnAcrossChunks)
{
    const Samples in(2 * 90000, 0);
    FxRun run = RunEffect(133, { -6, 441 }, in);
    ASSERT_TRUE(run.Ok);
    ASSERT_EQ(run.Out.size(), in.size());
    const double amp = static_cast<double>(static_cast<float>(DbToFactor(-6))) * 32767.0;
    const double step = 2.0 * 3.141592653589793 * 441 / 8000;
    double phi = 0;
    for (size_t n = 0; n < 90000; ++n) {
        phi += step;
        ASSERT_EQ(run.Out[n * 2], Saturate16(std::sin(phi) * amp)) << n;
    }
}

TEST(ChannelEffects, ProcReportsProgressAndStopsOnCancelWithoutATarget)
{
    TempDir dir;
    const std::string source = dir.File("in.wav");
    const std::string target = dir.File("out.wav");
    ASSERT_TRUE(WriteSamples(source, 8000, NoiseSignal(100000)));
    HeadlessUi ui;
    C_FX fx(8000, &ui);
    std::vector<double> rates;
    std::vector<std::string> texts;
    fx.SetProg([&](double pRate, std::string_view pText) {
        rates.push_back(pRate);
        texts.emplace_back(pText);
        return rates.size() != 2;
    });
    const Status stopped = fx.Proc(135, source, target, 0, 100000, false, "1ブロック");
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.error().Code, ErrorCode::Cancelled);
    EXPECT_FALSE(FileExists(target));
    EXPECT_EQ(rates, (std::vector<double> { 0.0, 0.4 }));
    EXPECT_EQ(texts, (std::vector<std::string> { "FX処理…0%", "FX処理…40%" }));

    // The dialog's cancel flag stops a run as a stop from the progress does.
    fx.SetProg([&](double, std::string_view) {
        fx.FXCanceled = 1;
        return true;
    });
    const Status cancelled = fx.Proc(135, source, target, 0, 100000, false, "1ブロック");
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.error().Code, ErrorCode::Cancelled);
    EXPECT_EQ(fx.FXCanceled, 0);
    EXPECT_FALSE(FileExists(target));

    rates.clear();
    fx.SetProg([&](double pRate, std::string_view) {
        rates.push_back(pRate);
        return true;
    });
    EXPECT_TRUE(fx.Proc(135, source, target, 0, 100000, false, "1ブロック"));
    EXPECT_EQ(rates, (std::vector<double> { 0.0, 0.4, 0.8, 1.0 }));
    EXPECT_EQ(fx.FramesWritten(), 100000);
    EXPECT_EQ(FxProgressText(0.454f), "FX処理…45%");
}

TEST(EffectTable, ListsEveryEffectWithItsSavedNamesAndDisplayRules)
{
    ASSERT_EQ(AllEffects().size(), 38u);
    for (int id = kFirstEffect; id <= kLastEffect; ++id) {
        const FxInfo* info = FindEffect(id);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->Id, id);
        for (const FxFader& f : info->Faders) {
            EXPECT_LE(f.Min, f.Default) << id;
            EXPECT_LE(f.Default, f.Max) << id;
        }
    }
    EXPECT_EQ(FaderSettingName(*FindEffect(106), 0), "FXParm_FX_DELAY-01");
    EXPECT_EQ(CheckSettingName(*FindEffect(134), 0), "FXParm_FX_NORM_Check-01");
    EXPECT_EQ(FrequencySettingName(*FindEffect(133)), "FXParm_FX_SIGN-02");
    EXPECT_EQ(FindEffect(130)->Faders.size(), 16u);
    EXPECT_EQ(FindEffect(131)->Faders.size(), 10u);
    const std::pair<int, std::string> freq[] = { { 260, "20" }, { 560, "630" }, { 860, "19900" } };
    for (const auto& [v, text] : freq)
        EXPECT_EQ(FaderText(FaderDisplay::Frequency, v), text) << v;
    EXPECT_EQ(FaderNumber(FaderDisplay::Frequency, 560), 630);
    EXPECT_EQ(FaderText(FaderDisplay::Q, 200), "2.0");
    EXPECT_EQ(FaderText(FaderDisplay::Q, 75), "0.8");
    const std::pair<double, std::string> bands[] = { { 25, "25" }, { 400, "400" }, { 1000, "1k" },
        { 1600, "1.6k" }, { 2500, "2.5k" }, { 6300, "6.3k" }, { 10000, "10k" }, { 16000, "16k" } };
    for (const auto& [hz, text] : bands)
        EXPECT_EQ(BandLabel(hz), text) << hz;
    EXPECT_EQ(FindEffect(130)->Faders[9].Label, "1.6k");
}

TEST(EffectTable, RowsCarryTheirFactoriesAndWhatTheirResultsAndDialogsDo)
{
    FxContext context;
    context.Parm.resize(16, 1.0);
    context.SampleRate = 8000;
    context.Preview = true;
    for (const FxInfo& fx : AllEffects()) {
        SCOPED_TRACE(fx.Command);
        // Reverse alone is rendered by the reversal transform instead of a kernel.
        EXPECT_EQ(fx.Make == nullptr, fx.Id == kCmdFxRvs);
        EXPECT_EQ(MakeFxKernel(fx.Id, context) != nullptr, fx.Id != kCmdFxRvs);
        EXPECT_EQ(fx.ChangesLength, fx.Box == FxBox::Length);
        EXPECT_EQ(HasTail(fx.Id), fx.Tail);
        EXPECT_EQ(fx.Extras.QualityChoice, fx.Id == kCmdFxPitchShift || fx.Id == kCmdFxTimeStretch);
    }
    for (const int32_t id : { kCmdFxDelay, kCmdFxStdelay, kCmdFxEcho, kCmdFxReverb })
        EXPECT_TRUE(HasTail(id)) << id;
    EXPECT_TRUE(ChangesLength(kCmdFxSpeedChg));
    EXPECT_EQ(FindEffect(kCmdFxGeq)->Extras.Parms, FxParms::GraphicEq);
    EXPECT_TRUE(FindEffect(kCmdFxAmplify)->Extras.LinkedFaders);
    EXPECT_TRUE(FindEffect(kCmdFxNorm)->Extras.ExclusiveChecks);
    for (const int32_t id : { kFirstEffect - 1, kLastEffect + 1 }) {
        EXPECT_EQ(FindEffect(id), nullptr) << id;
        EXPECT_EQ(MakeFxKernel(id, context), nullptr) << id;
    }
}

TEST(EffectTable, EqualiserBandsKeepValuesGivenAsUnchanged)
{
    C_FX fx(44100);
    fx.SetEQasGEQ();
    ASSERT_EQ(fx.EQBands(), 15);
    EXPECT_EQ(fx.EQFreq(2), 63);
    fx.SetEQParm(2, 6, -9999, -9999);
    EXPECT_EQ(fx.Bands()[2].GainDb, 6.0f);
    EXPECT_EQ(fx.Bands()[2].Freq, 63.0f);
    EXPECT_EQ(fx.Bands()[2].Q, 2.0f);
    fx.SetEQBands(3);
    EXPECT_EQ(fx.EQBands(), 3);
}

} // namespace
} // namespace tarvok::test
