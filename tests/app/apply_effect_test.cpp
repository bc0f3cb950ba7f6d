#include "app/commands/apply_effect.h"

#include "app/commands/command_dispatch.h"
#include "app/commands/fx_dialog.h"
#include "core/command_ids.h"
#include "core/file_io.h"
#include "core/project_file.h"
#include "core/wave_info.h"
#include "fx/c_fx.h"
#include "fx/time_pitch_engine.h"
#include "support/fx_runner.h"
#include "support/started_logic.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tarvok::test {
namespace {

struct EffectFixture : StartedLogic<> {
    EffectFixture() { P().SampleRate = 8000; }

    int32_t Add(const Samples& pSamples, int32_t pTrack, int32_t pStart)
    {
        return AddBlockWithFile(Logic, Samples16(pSamples), pTrack, pStart);
    }

    /// The samples block pIndex plays, read from its wave file.
    Samples BlockSamples(int32_t pIndex)
    {
        const Block& b = P().Blocks[static_cast<size_t>(pIndex)];
        Samples all = ReadSamples(P().WaveFiles[static_cast<size_t>(b.WaveNo)].FileName);
        return Samples(all.begin() + (b.SrcStart - 1) * 2, all.begin() + b.SrcEnd * 2);
    }

    /// The index of the block starting at pStart on pTrack, or -1.
    int32_t BlockAt(int32_t pTrack, int32_t pStart)
    {
        for (int32_t i = 0; i < P().BlockCount(); ++i)
            if (P().Blocks[static_cast<size_t>(i)].TrackNo == pTrack
                && P().Blocks[static_cast<size_t>(i)].StartAdr == pStart)
                return i;
        return -1;
    }

    size_t WaveFilesInFolder()
    {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(Logic.Folder().Path()))
            n += e.path().extension() == ".wav" ? 1 : 0;
        return n;
    }
};

EffectDialog Parms(std::vector<double> pValues)
{
    return [pValues](C_FX& pFx) {
        for (size_t i = 0; i < pValues.size(); ++i)
            pFx.SetFXParm(static_cast<int32_t>(i), pValues[i]);
        return true;
    };
}

Samples Negated(const Samples& pIn)
{
    Samples out;
    for (int16_t v : pIn)
        out.push_back(static_cast<int16_t>(v == -32768 ? 32767 : -v));
    return out;
}

TEST(ApplyEffect, WithoutASelectionTheWholeCurrentTrackChangesAsOneUndoStep)
{
    EffectFixture f;
    const Samples a = NoiseSignal(3000, 1);
    const Samples other = NoiseSignal(2000, 2);
    f.Add(a, 0, 100);
    f.Add(other, 1, 0);
    f.P().CurrentTrack = 0;
    f.P().MarkIn = f.P().MarkOut = 50;
    const int32_t undo = f.P().UndoCounter;
    ASSERT_TRUE(ApplyEffect(f.Logic, 136, Parms({ 3 })));
    EXPECT_EQ(f.P().MarkIn, 0);
    EXPECT_EQ(f.P().MarkOut, 3100);
    EXPECT_EQ(f.P().UndoCounter, undo + 1);
    const auto status = f.Ui.StatusTexts();
    EXPECT_NE(std::find(status.begin(), status.end(), "選択されていません"), status.end());
    ASSERT_EQ(f.P().BlockCount(), 2);
    EXPECT_EQ(f.BlockSamples(f.BlockAt(0, 100)), Negated(a));
    EXPECT_EQ(f.BlockSamples(f.BlockAt(1, 0)), other);
    EXPECT_EQ(f.P().CheckInvariants(), "");
}

TEST(ApplyEffect, DelayInsideABlockSplitsItAndMovesMarkOutToTheLongerResult)
{
    EffectFixture f;
    const Samples a = NoiseSignal(4000, 3);
    f.Add(a, 0, 0);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 1000;
    f.P().MarkOut = 3000;
    // 遅延 100 ms = 800 frames at 8000 Hz, dry only.
    ASSERT_TRUE(ApplyEffect(f.Logic, 106, Parms({ 100, 0, 100 })));
    EXPECT_EQ(f.P().MarkOut, 1000 + 2000 + 800);
    ASSERT_EQ(f.P().BlockCount(), 3);
    const Samples head = f.BlockSamples(f.BlockAt(0, 0));
    EXPECT_EQ(head, Samples(a.begin(), a.begin() + 2000));
    const int32_t tail = f.BlockAt(0, 3000);
    ASSERT_GE(tail, 0);
    EXPECT_EQ(f.BlockSamples(tail), Samples(a.begin() + 6000, a.end()));
    const Samples middle = f.BlockSamples(f.BlockAt(0, 1000));
    ASSERT_EQ(middle.size(), 2u * 2800);
    EXPECT_EQ(Samples(middle.begin(), middle.begin() + 4000),
        Samples(a.begin() + 2000, a.begin() + 6000));
    EXPECT_EQ(Samples(middle.begin() + 4000, middle.end()), Samples(1600, 0));
}

TEST(ApplyEffect, ReverseAndNormaliseRenderEachBlockOnItsOwn)
{
    EffectFixture f;
    f.Add({ 1, -1, 2, -2, 3, -3 }, 0, 0);
    f.Add({ 8192, -4096, 100, 0 }, 0, 100);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 0;
    f.P().MarkOut = 200;
    ASSERT_TRUE(ApplyEffect(f.Logic, 132, nullptr));
    EXPECT_EQ(f.BlockSamples(f.BlockAt(0, 0)), (Samples { 3, -3, 2, -2, 1, -1 }));
    ASSERT_TRUE(ApplyEffect(f.Logic, 134, Parms({ 0, 0 })));
    // Both blocks were reversed; then the first block's peak 3 and the second's 8192 both
    // come up to full scale, each with its own gain.
    const Samples one = f.BlockSamples(f.BlockAt(0, 0));
    const Samples two = f.BlockSamples(f.BlockAt(0, 100));
    EXPECT_NEAR(one[0], 32767, 40);
    EXPECT_NEAR(one[5], -10922, 20);
    EXPECT_NEAR(two[0], 400, 2);
    EXPECT_NEAR(two[2], 32767, 8);
    EXPECT_NEAR(two[3], -16384, 8);
}

TEST(ApplyEffect, ACancelledRenderLeavesTheProjectAndFolderAsTheyWere)
{
    EffectFixture f;
    f.Add(NoiseSignal(50000, 4), 0, 0);
    f.Add(NoiseSignal(50000, 5), 0, 60000);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 10000;
    f.P().MarkOut = 100000;
    const std::string before = ProjectFileText(f.P());
    const int32_t undo = f.P().UndoCounter;
    const size_t files = f.WaveFilesInFolder();
    int progress = 0;
    // The first block renders (one chunk and the end); the second is stopped at its start.
    f.Ui.SetMessageSink([&](std::string_view pText) {
        if (pText.starts_with("FX処理") && ++progress == 3)
            f.Logic.CancelRequest = true;
    });
    EXPECT_FALSE(ApplyEffect(f.Logic, 135, Parms({ 3, 3 })));
    EXPECT_EQ(progress, 3);
    EXPECT_EQ(ProjectFileText(f.P()), before);
    EXPECT_EQ(f.P().UndoCounter, undo);
    EXPECT_EQ(f.WaveFilesInFolder(), files);
    EXPECT_FALSE(f.Logic.Busy);
    EXPECT_FALSE(f.Logic.CancelRequest);
    // A stop is the user's own choice: nothing is shown for it.
    EXPECT_TRUE(f.Ui.BoxTexts().empty());
}

TEST(ApplyEffect, ARenderThatFailsForAnotherCauseShowsItAndChangesNothing)
{
    EffectFixture f;
    f.Add(NoiseSignal(20000, 4), 0, 0);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 1000;
    f.P().MarkOut = 9000;
    const std::string before = ProjectFileText(f.P());
    const size_t files = f.WaveFilesInFolder();
    // The high-quality mode without an engine cannot be rendered.
    EXPECT_FALSE(ApplyEffect(f.Logic, kCmdFxPitchShift, [](C_FX& pFx) {
        pFx.SetTimePitchEngine(nullptr);
        pFx.SetHighQuality(true);
        return true;
    }));
    EXPECT_EQ(f.Ui.BoxTexts().size(), 1u);
    EXPECT_EQ(ProjectFileText(f.P()), before);
    EXPECT_EQ(f.WaveFilesInFolder(), files);
}

TEST(ApplyEffect, MenuCommandUsesTheSavedValuesAndRefusesWithoutBlocks)
{
    EffectFixture f;
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFxExchangeLr));
    f.Add({ 1, 2, 3, 4 }, 0, 0);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 0;
    f.P().MarkOut = 2;
    EXPECT_TRUE(RunCommand(f.Logic, kCmdFxExchangeLr));
    EXPECT_EQ(f.BlockSamples(0), (Samples { 2, 1, 4, 3 }));
    f.Store.SaveSetting("FXParm_FX_MIX_LR-01", int32_t { 100 });
    EXPECT_TRUE(RunCommand(f.Logic, kCmdFxMixLr));
    // At 100 both channels carry the mono average, halves rounded to even.
    EXPECT_EQ(f.BlockSamples(0), (Samples { 2, 2, 4, 4 }));
    EXPECT_TRUE(IsCommandAvailable(kCmdFxDelay));
    EXPECT_TRUE(IsCommandAvailable(kCmdFxRvs));
}

TEST(ApplyEffect, TimeStretchAndSpeedChangeSetTheNewEndAndAskToMoveLaterBlocks)
{
    struct Case {
        int32_t id;
        const char* answer;
        int32_t laterStart; // where the block after the selection ends up
        int64_t frames; // the new block's length
    };
    // A 4000-frame selection at S = 2: the new end is 2000; speed change's file is one
    // frame shorter (one chunk).
    const Case cases[] = {
        { 118, "yes", 4000, 2000 },
        { 118, "no", 6000, 2000 },
        { 119, "yes", 4000, 1999 },
        { 119, "no", 6000, 1999 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.id << " " << c.answer);
        EffectFixture f;
        f.Add(NoiseSignal(4000, 21), 0, 0);
        f.Add(NoiseSignal(500, 22), 0, 6000);
        f.P().Tracks[0].Selected = 1;
        f.P().MarkIn = 0;
        f.P().MarkOut = 4000;
        f.Ui.QueueAnswer(c.answer);
        f.Ui.ClearEvents();
        ASSERT_TRUE(ApplyEffect(f.Logic, c.id, Parms({ 2.0, 0, 0 })));
        EXPECT_EQ(f.Ui.BoxTexts(),
            (std::vector<std::string> {
                "長さが変更されています。これより後のブロックを移動しますか？" }));
        EXPECT_EQ(f.P().MarkOut, 2000);
        const int32_t stretched = f.BlockAt(0, 0);
        ASSERT_GE(stretched, 0);
        EXPECT_EQ(static_cast<int64_t>(f.BlockSamples(stretched).size() / 2), c.frames);
        EXPECT_GE(f.BlockAt(0, c.laterStart), 0);
        EXPECT_EQ(f.P().CheckInvariants(), "");
    }
    for (int32_t id = 116; id <= 119; ++id)
        EXPECT_TRUE(IsEffectAvailable(id)) << id;
    // Nothing after the selection: no question.
    EffectFixture f;
    f.Add(NoiseSignal(4000, 23), 0, 0);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 0;
    f.P().MarkOut = 4000;
    f.Ui.ClearEvents();
    ASSERT_TRUE(ApplyEffect(f.Logic, 118, Parms({ 0.5, 0, 0 })));
    EXPECT_TRUE(f.Ui.BoxTexts().empty());
    EXPECT_EQ(f.P().MarkOut, 8000);
    EXPECT_EQ(f.BlockSamples(f.BlockAt(0, 0)).size() / 2, 8000u);
}

/// An engine that passes the signal through unchanged and counts its streams.
struct PassEngine : TimePitchEngine {
    struct Stream : TimePitchStream {
        std::vector<float> Held;
        bool Final = false;
        bool Push(const float* pFrames, int64_t pCount, bool pFinal) override
        {
            Held.insert(Held.end(), pFrames, pFrames + pCount * 2);
            Final = Final || pFinal;
            return true;
        }
        int64_t Pull(float* pOut, int64_t pMax) override
        {
            const int64_t n = std::min<int64_t>(pMax, static_cast<int64_t>(Held.size() / 2));
            std::copy_n(Held.begin(), n * 2, pOut);
            Held.erase(Held.begin(), Held.begin() + n * 2);
            return n;
        }
        bool Finished() const override { return Final && Held.empty(); }
    };
    std::unique_ptr<TimePitchStream> Open(const TimePitchRequest&) override
    {
        ++Opened;
        return std::make_unique<Stream>();
    }
    int Opened = 0;
};

TEST(ApplyEffect, HighQualityModeRendersThroughTheEngineTheLogicHolds)
{
    EffectFixture f;
    const Samples a = NoiseSignal(3000, 24);
    f.Add(a, 0, 0);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 0;
    f.P().MarkOut = 3000;
    PassEngine engine;
    f.Logic.SetTimePitchEngine(&engine);
    auto dialog = [](C_FX& pFx) {
        pFx.SetFXParm(0, 0);
        pFx.SetFXParm(2, 100);
        pFx.SetHighQuality(pFx.TimePitch() != nullptr);
        return true;
    };
    ASSERT_TRUE(ApplyEffect(f.Logic, 117, dialog));
    EXPECT_EQ(engine.Opened, 1);
    Samples expected = a;
    for (int16_t& v : expected)
        v = std::max<int16_t>(v, -32767);
    EXPECT_EQ(f.BlockSamples(f.BlockAt(0, 0)), expected);
    f.Logic.SetTimePitchEngine(nullptr);
}

TEST(FxDialog, QualityChoiceIsOfferedForPitchShiftAndTimeStretchAndSaved)
{
    EffectFixture f;
    for (int32_t id : { 116, 119, 106 }) {
        FxDialogModel m(id, f.Store, 8000, 8000, 0);
        EXPECT_FALSE(m.HasQualityChoice()) << id;
        m.SetHighQuality(true);
        EXPECT_FALSE(m.HighQuality()) << id;
    }
    PassEngine engine;
    {
        FxDialogModel m(117, f.Store, 8000, 8000, 0);
        ASSERT_TRUE(m.HasQualityChoice());
        EXPECT_FALSE(m.HighQuality());
        const uint64_t revision = m.Revision();
        m.SetHighQuality(true);
        EXPECT_GT(m.Revision(), revision); // a preview is made again
        // Without an engine OK keeps to the effect's own algorithm.
        C_FX plain(8000);
        ASSERT_TRUE(m.Commit(plain, f.Ui));
        EXPECT_FALSE(plain.HighQuality());
        C_FX fx(8000);
        fx.SetTimePitchEngine(&engine);
        ASSERT_TRUE(m.Commit(fx, f.Ui));
        EXPECT_TRUE(fx.HighQuality());
        EXPECT_EQ(f.Store.GetSetting("FXParm_FX_PITCH_SHIFT_Quality", int32_t { -1 }), -1);
        ASSERT_TRUE(m.SaveValues(fx, f.Ui));
    }
    EXPECT_EQ(f.Store.GetSetting("FXParm_FX_PITCH_SHIFT_Quality", int32_t { -1 }), 1);
    EXPECT_TRUE(FxDialogModel(117, f.Store, 8000, 8000, 0).HighQuality());
    EXPECT_FALSE(FxDialogModel(118, f.Store, 8000, 8000, 0).HighQuality());
}

TEST(FxDialog, CommitChecksRangesAndShowsTheMessages)
{
    EffectFixture f;
    C_FX fx(8000);
    FxDialogModel sine(133, f.Store, 8000, 8000, 0);
    EXPECT_EQ(sine.BoxText(), "1000");
    for (const char* bad : { "10", "20001", "abc", "" }) {
        SCOPED_TRACE(bad);
        sine.SetBoxText(bad);
        f.Ui.ClearEvents();
        EXPECT_FALSE(sine.Commit(fx, f.Ui));
        EXPECT_EQ(f.Ui.BoxTexts(), (std::vector<std::string> { kFxFrequencyRange }));
    }
    sine.SetBoxText("440");
    sine.SetValue(0, -6);
    ASSERT_TRUE(sine.Commit(fx, f.Ui));
    EXPECT_EQ(fx.FXParm(0), -6);
    EXPECT_EQ(fx.FXParm(1), 440);

    // A selection of 10 s: 4.348 s makes S = 2.3, out of range.
    FxDialogModel stretch(118, f.Store, 80000, 8000, 0);
    stretch.SetBoxText("4.348");
    f.Ui.ClearEvents();
    EXPECT_FALSE(stretch.Commit(fx, f.Ui));
    EXPECT_EQ(f.Ui.BoxTexts(), (std::vector<std::string> { kFxOutOfRange }));
    stretch.SetBoxText("5");
    ASSERT_TRUE(stretch.Commit(fx, f.Ui));
    EXPECT_DOUBLE_EQ(fx.FXParm(0), 2.0);

    FxDialogModel phase(136, f.Store, 100, 8000, 0);
    const std::pair<std::pair<bool, bool>, int> modes[] = { { { true, false }, 1 },
        { { false, true }, 2 }, { { true, true }, 3 }, { { false, false }, 0 } };
    for (const auto& [checks, mode] : modes) {
        phase.SetCheck(0, checks.first);
        phase.SetCheck(1, checks.second);
        ASSERT_TRUE(phase.Commit(fx, f.Ui));
        EXPECT_EQ(fx.FXParm(0), mode);
    }

    FxDialogModel norm(134, f.Store, 100, 8000, 1);
    norm.SetValue(0, -10);
    norm.SetCheck(0, true);
    ASSERT_TRUE(norm.Commit(fx, f.Ui));
    EXPECT_EQ(fx.FXParm(0), -13);
    EXPECT_EQ(fx.FXParm(1), 1);

    FxDialogModel peq(131, f.Store, 100, 8000, 0);
    peq.SetValue(0, 560);
    peq.SetValue(1, 75);
    peq.SetValue(2, 6);
    peq.SetValue(9, -3);
    ASSERT_TRUE(peq.Commit(fx, f.Ui));
    ASSERT_EQ(fx.EQBands(), 3);
    EXPECT_EQ(fx.EQFreq(0), 630);
    EXPECT_FLOAT_EQ(fx.Bands()[0].Q, 0.8f);
    EXPECT_FLOAT_EQ(fx.Bands()[0].GainDb, 6.0f);
    EXPECT_EQ(fx.FXParm(0), -3);
}

TEST(FxDialog, LengthBoxTakesTimesPercentagesAndRelativeForms)
{
    EffectFixture f;
    FxDialogModel m(119, f.Store, 80000, 8000, 0); // 10 s selected
    const std::string tenSeconds = m.BoxText();
    m.SetValue(0, 200);
    EXPECT_NE(m.BoxText(), tenSeconds);
    EXPECT_EQ(m.BoxLengthMs(), 5000);
    struct Case {
        const char* typed;
        int64_t ms;
        int32_t v0, v1, v2;
    };
    const Case cases[] = {
        { "+2.5", 12500, 80, 0, 0 },
        { "-5", 5000, 200, 0, 0 },
        { "8", 8000, 125, 0, 0 },
        { "95.5%", 10471, 96, -50, 0 },
        { "48.99%", 20412, 50, -100, -100 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        m.SetBoxText(c.typed);
        EXPECT_FALSE(m.BoxEnter()); // rewrites the text first
        EXPECT_EQ(m.BoxLengthMs(), c.ms);
        EXPECT_EQ(m.Value(0), c.v0);
        EXPECT_EQ(m.Value(1), c.v1);
        EXPECT_EQ(m.Value(2), c.v2);
        EXPECT_TRUE(m.BoxEnter()); // a second Enter acts as OK
    }
}

TEST(FxDialog, SaveValuesStoresFadersChecksAndFrequencyAndLinkMovesBoth)
{
    EffectFixture f;
    C_FX fx(8000);
    {
        FxDialogModel amp(135, f.Store, 100, 8000, 0);
        amp.SetCheck(0, true);
        amp.SetValue(1, -7);
        EXPECT_EQ(amp.Value(0), -7);
        amp.SetValue(0, 99); // kept inside -50..20
        EXPECT_EQ(amp.Value(1), 20);
        ASSERT_TRUE(amp.SaveValues(fx, f.Ui));
    }
    EXPECT_EQ(f.Store.GetSetting("FXParm_FX_AMPLIFY-01", int32_t { 0 }), 20);
    EXPECT_EQ(f.Store.GetSetting("FXParm_FX_AMPLIFY_Check-01", int32_t { 0 }), 1);
    FxDialogModel again(135, f.Store, 100, 8000, 0);
    EXPECT_EQ(again.Value(1), 20);
    EXPECT_TRUE(again.Check(0));

    FxDialogModel sine(133, f.Store, 100, 8000, 0);
    sine.SetBoxText("30000");
    EXPECT_FALSE(sine.SaveValues(fx, f.Ui));
    EXPECT_EQ(f.Store.GetSetting("FXParm_FX_SIGN-02", "none"), "none");
    sine.SetBoxText("2500");
    ASSERT_TRUE(sine.SaveValues(fx, f.Ui));
    EXPECT_EQ(f.Store.GetSetting("FXParm_FX_SIGN-02", "none"), "2500");

    FxDialogModel geq(130, f.Store, 100, 8000, 0);
    geq.SetValue(3, 9);
    geq.ResetBand(3);
    EXPECT_EQ(geq.Value(3), 0);
    EXPECT_EQ(geq.ValueText(3), "0");
    FxDialogModel hc(128, f.Store, 100, 8000, 0);
    EXPECT_EQ(hc.ValueText(0), "630");
}

TEST(FxDialog, PreviewRendersTheChosenSecondsWithoutTail)
{
    EffectFixture f;
    f.Add(NoiseSignal(8000 * 30, 6), 0, 1000);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 0;
    f.P().MarkOut = 1000 + 8000 * 30;
    f.P().SelectedBlock = 0;
    C_FX fx(8000, &f.Ui);
    FxDialogModel m(106, f.Store, f.P().MarkOut, 8000, 0);
    m.SetPreviewSec(6);
    EXPECT_EQ(m.Message(), "試聴秒数 6秒");
    m.SetPreviewFrom(8000 * 2 + 17);
    EXPECT_EQ(m.PreviewFrom(), 8000 * 2);
    std::string file;
    {
        FxPreview preview(f.Logic);
        EXPECT_EQ(preview.PartFrames(), 8000 * 30);
        EXPECT_TRUE(preview.Stale(m));
        ASSERT_TRUE(preview.Render(m, fx));
        EXPECT_EQ(m.Message(), "作成完了");
        EXPECT_FALSE(preview.Stale(m));
        file = preview.File();
        EXPECT_EQ(ReadWaveInfo(file).Frames, 8000 * 6);
        // Near the block's end the preview stops there.
        m.SetPreviewFrom(8000 * 27);
        EXPECT_TRUE(preview.Stale(m));
        ASSERT_TRUE(preview.Render(m, fx));
        EXPECT_FALSE(FileExists(file));
        file = preview.File();
        EXPECT_EQ(ReadWaveInfo(file).Frames, 8000 * 3);
    }
    EXPECT_FALSE(FileExists(file));
}

} // namespace
} // namespace tarvok::test
