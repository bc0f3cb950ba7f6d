#include "app/commands/range_commands.h"

#include "app/commands/range_input.h"
#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "core/data_folder.h"
#include "core/envelope.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "support/block_table.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarvok {

namespace {

using test::BlockTable;

constexpr const char* kFinished = "処理終了";
constexpr const char* kNothingSelected = "選択されていません";
constexpr const char* kEditError = "編集エラー";

// Records the default answer of every input box as well.
class RecordingUi : public HeadlessUi {
public:
    std::vector<std::string> Defaults;
    std::optional<std::string> InputBox(
        std::string_view pPrompt, std::string_view pDefault) override
    {
        Defaults.emplace_back(pDefault);
        return HeadlessUi::InputBox(pPrompt, pDefault);
    }
};

struct Fixture : test::StartedLogic<RecordingUi> {
    Project& P = Logic.Proj();
    std::vector<std::string> WavePaths;

    /// Eight tracks, track 0 selected, and silent working files of the given lengths with
    /// their peak files.
    explicit Fixture(std::vector<int32_t> pWaveFrames = { 10000, 10000 })
    {
        for (int32_t frames : pWaveFrames) {
            WavePaths.push_back(Logic.Folder().NewTempName(kTempWave));
            int32_t w = test::AddSilentWave(P, WavePaths.back(), frames);
            EXPECT_GE(w, 0);
            // Silent audio: every peak entry is 0.
            bool cancel = false;
            BuildPeaks(P, w, -1, "", 0, Logic.Folder().NewTempName(kTempPeak), Ui, cancel);
        }
        Ui.ClearEvents();
    }
    ~Fixture() { ForgetClickFrame(Logic); }

    /// Places blocks (wave files no block uses are dropped) and brings the length up to date.
    void Place(std::string_view pTable)
    {
        ASSERT_TRUE(test::AddBlocks(P, pTable)) << pTable;
        for (int32_t w = P.WaveFileCount() - 1; w >= 0; --w)
            if (!P.IsWaveFileUsed(w))
                P.RemoveWaveFile(w);
        P.UpdateTitleLength(false);
        ASSERT_EQ(P.CheckInvariants(), "");
    }

    void Select(std::initializer_list<int32_t> pTracks)
    {
        for (Track& t : P.Tracks)
            t.Selected = 0;
        for (int32_t t : pTracks)
            P.Tracks[t].Selected = 1;
    }

    void Marks(int32_t pIn, int32_t pOut)
    {
        P.MarkIn = pIn;
        P.MarkOut = pOut;
    }

    /// Runs a command and checks the project's invariants afterwards.
    bool Run(int32_t pId)
    {
        bool result = RunRangeCommand(Logic, pId);
        EXPECT_EQ(P.CheckInvariants(), "") << "after command " << pId;
        return result;
    }

    /// Gives track 0 an envelope of distinct levels, saved in a working file.
    void NumberedEnvelope()
    {
        for (int32_t k = 0; k < P.EnvelopeLength; ++k) {
            P.Envelopes[0][2 * k] = static_cast<uint8_t>(k % 200 + 1);
            P.Envelopes[0][2 * k + 1] = static_cast<uint8_t>(k % 200 + 3);
        }
        ASSERT_TRUE(SaveEnvelope(P, 0, Logic.Folder().NewTempName(kTempEnvelope)));
    }

    std::string Text() const { return ProjectFileText(Logic.Proj()); }
    bool SnapshotTaken() { return Logic.StepUndo(false, true); }
};

constexpr int32_t kEditCommands[] = { kCmdErase, kCmdDelete, kCmdCut, kCmdCopy, kCmdPaste,
    kCmdInsert, kCmdInsb, kCmdTrim, kCmdSelall };

} // namespace

TEST(RangeCommands, IdsCoverMarksHeadsAndRangeEdits)
{
    for (int32_t id = 0; id < kCommandCount; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(IsRangeCommand(id), id >= kCmdMarkinClick && id <= kCmdSelall);
    }
    Fixture f;
    EXPECT_FALSE(RunRangeCommand(f.Logic, kCmdUndo));
    EXPECT_FALSE(RunRangeCommand(f.Logic, kCmdPlayFromout));
    EXPECT_FALSE(RunRangeCommand(f.Logic, -1));
}

TEST(RangeCommands, RefusedSilentlyWhileTheEngineOrAnotherOperationRuns)
{
    enum State { kPlaying, kRecording, kBusy, kDrawing };
    for (State state : { kPlaying, kRecording, kBusy, kDrawing }) {
        for (int32_t id : kEditCommands) {
            SCOPED_TRACE("state " + std::to_string(state) + " command " + std::to_string(id));
            Fixture f;
            f.Place("t0 0..9999 w0 1..10000");
            f.Marks(1000, 2000);
            f.P.Clip.Length = 500;
            f.Ui.QueueAnswer("1");
            f.Logic.Playing = state == kPlaying;
            f.Logic.Recording = state == kRecording;
            f.Logic.Busy = state == kBusy;
            f.Logic.DrawWindowOpen = state == kDrawing;
            f.Ui.ClearEvents();
            std::string before = f.Text();
            EXPECT_FALSE(f.Run(id));
            EXPECT_TRUE(f.Ui.Events().empty());
            EXPECT_EQ(f.Ui.PendingAnswers(), 1u);
            EXPECT_EQ(f.Text(), before);
            EXPECT_FALSE(f.SnapshotTaken());
        }
    }
}

TEST(RangeCommands, RangeCommandsWithoutSelectionSayNothingIsSelected)
{
    for (int32_t id : { kCmdErase, kCmdDelete, kCmdCut, kCmdCopy }) {
        SCOPED_TRACE(id);
        Fixture f;
        f.Place("t0 0..9999 w0 1..10000");
        f.Marks(3000, 3000);
        std::string before = f.Text();
        EXPECT_FALSE(f.Run(id));
        EXPECT_EQ(f.Ui.StatusTexts(), std::vector<std::string> { kNothingSelected });
        EXPECT_EQ(f.Text(), before);
        EXPECT_FALSE(f.SnapshotTaken());
        EXPECT_TRUE(f.P.Saved);
    }
}

TEST(RangeCommands, PasteAndInsertNeedAClipboard)
{
    for (int32_t id : { kCmdPaste, kCmdInsert }) {
        SCOPED_TRACE(id);
        Fixture f;
        f.Place("t0 0..9999 w0 1..10000");
        f.Marks(3000, 3000);
        std::string before = f.Text();
        EXPECT_FALSE(f.Run(id));
        EXPECT_TRUE(f.Ui.Events().empty());
        EXPECT_EQ(f.Text(), before);
    }
}

TEST(RangeCommands, EveryCommandRunsOnAnEmptyProject)
{
    Fixture f(std::vector<int32_t> {});
    f.Marks(0, 1000);
    for (int32_t id : kEditCommands) {
        SCOPED_TRACE(id);
        f.Ui.ClearEvents();
        if (id == kCmdInsb)
            f.Ui.QueueAnswer("1");
        if (id == kCmdTrim)
            f.Ui.QueueAnswer("-40");
        f.Marks(0, 1000);
        bool ran = f.Run(id);
        // Nothing was ever copied, so there is nothing to paste or insert; COPY finds no block.
        bool expected = id != kCmdPaste && id != kCmdInsert && id != kCmdCopy;
        EXPECT_EQ(ran, expected);
        if (id != kCmdPaste && id != kCmdInsert && id != kCmdSelall) {
            EXPECT_EQ(f.Ui.LastStatus(), kFinished);
        }
        EXPECT_EQ(f.P.BlockCount(), 0);
    }
    EXPECT_EQ(f.P.Clip.Length, 0);
}

TEST(RangeCommands, WithoutASelectedTrackBlocksStayAndCopyKeepsOnlyTheLength)
{
    Fixture f;
    f.Place("t0 0..9999 w0 1..10000");
    f.Select({});
    f.Marks(1000, 2000);
    const std::string table = BlockTable(f.P);
    EXPECT_TRUE(f.Run(kCmdErase));
    EXPECT_TRUE(f.Run(kCmdDelete));
    EXPECT_EQ(BlockTable(f.P), table);
    EXPECT_EQ(f.P.MarkOut, 1000);
    f.Marks(1000, 2000);
    EXPECT_TRUE(f.Run(kCmdCopy));
    EXPECT_EQ(f.P.Clip.Length, 1000);
    EXPECT_TRUE(f.P.Clip.Blocks.empty());
    f.Marks(4000, 4000);
    EXPECT_TRUE(f.Run(kCmdPaste));
    EXPECT_EQ(BlockTable(f.P), table);
    EXPECT_EQ(f.P.MarkOut, 5000);
}

TEST(RangeCommands, MarksBeyondTheProject)
{
    Fixture f;
    f.Place("t0 0..2999 w0 1..3000");
    const std::string table = BlockTable(f.P);
    f.Marks(100000, 200000);
    EXPECT_TRUE(f.Run(kCmdErase));
    EXPECT_TRUE(f.Run(kCmdDelete));
    EXPECT_EQ(BlockTable(f.P), table);

    f.Marks(0, 3000);
    EXPECT_TRUE(f.Run(kCmdCopy));
    f.Marks(1000000, 1000000);
    EXPECT_TRUE(f.Run(kCmdPaste));
    EXPECT_EQ(BlockTable(f.P), "t0 0..2999 w0 1..3000\nt0 1000000..1002999 w0 1..3000");
    EXPECT_EQ(f.P.ProjectLength, 1003000);
    EXPECT_GE(static_cast<int64_t>(f.P.EnvelopeLength) * 2048, 1003000);

    f.Marks(5000000, 5000000);
    EXPECT_TRUE(f.Run(kCmdInsert));
    EXPECT_EQ(f.P.BlockCount(), 3);
    EXPECT_EQ(f.P.ProjectLength, 5003000);
}

TEST(RangeCommands, UndoRestoresTheExactProjectText)
{
    struct Case {
        int32_t Id;
        const char* Answer;
        int32_t In, Out;
    };
    static const Case kCases[] = {
        { kCmdErase, nullptr, 1000, 5000 }, { kCmdDelete, nullptr, 1000, 5000 },
        { kCmdCut, nullptr, 1000, 5000 }, { kCmdPaste, nullptr, 7000, 7000 },
        { kCmdInsert, nullptr, 4096, 4096 }, { kCmdInsb, "0.5", 4096, 4096 },
        { kCmdTrim, "-40", 0, 10000 }, // silent: the block goes
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Id);
        Fixture f;
        f.Place("t0 0..9999 w0 1..10000\nt1 2000..5999 w1 1..4000");
        // Undo restores the selection only of the current track, so only that one is selected.
        f.NumberedEnvelope();
        f.Marks(1000, 3000);
        ASSERT_TRUE(f.Run(kCmdCopy));
        f.Marks(c.In, c.Out);
        const std::string before = f.Text();
        const TrackEnvelope envelope = f.P.Envelopes[0];
        if (c.Answer)
            f.Ui.QueueAnswer(c.Answer);
        ASSERT_TRUE(f.Run(c.Id));
        EXPECT_EQ(f.Ui.LastStatus(), kFinished);
        EXPECT_FALSE(f.P.Saved);
        EXPECT_NE(f.Text(), before);
        ASSERT_TRUE(f.Logic.UndoCommand(false));
        EXPECT_EQ(f.Text(), before);
        EXPECT_EQ(f.P.Envelopes[0], envelope);
        EXPECT_EQ(f.P.CheckInvariants(), "");
    }
}

TEST(RangeCommands, CutThenInsertPutsTheMaterialBack)
{
    Fixture f;
    f.Place("t0 0..2999 w0 1..3000");
    f.Marks(1000, 2000);
    ASSERT_TRUE(f.Run(kCmdCut));
    EXPECT_EQ(BlockTable(f.P), "t0 0..999 w0 1..1000\nt0 1000..1999 w0 2001..3000");
    EXPECT_EQ(f.P.MarkOut, 1000);
    EXPECT_EQ(BlockTable(f.P.Clip.Blocks), "t0 0..999 w0 1001..2000");
    ASSERT_TRUE(f.Run(kCmdInsert));
    EXPECT_EQ(BlockTable(f.P),
        "t0 0..999 w0 1..1000\nt0 2000..2999 w0 2001..3000\nt0 1000..1999 w0 1001..2000");
    EXPECT_EQ(f.P.MarkOut, 2000);
    EXPECT_EQ(f.P.ProjectLength, 3000);
}

TEST(RangeCommands, PasteOverwritesTheRangeOfTheClipLength)
{
    Fixture f;
    f.Place("t0 0..9999 w0 1..10000");
    f.Marks(0, 1000);
    ASSERT_TRUE(f.Run(kCmdCopy));
    EXPECT_EQ(f.Ui.LastStatus(), kFinished);
    EXPECT_FALSE(f.SnapshotTaken()); // COPY changes no block
    f.Marks(5000, 5001);
    ASSERT_TRUE(f.Run(kCmdPaste));
    EXPECT_EQ(f.P.MarkOut, 6000);
    EXPECT_EQ(BlockTable(f.P),
        "t0 0..4999 w0 1..5000\nt0 6000..9999 w0 6001..10000\nt0 5000..5999 w0 1..1000");
}

TEST(RangeCommands, AFailureShowsEditErrorAfterTheEnd)
{
    Fixture f;
    f.Place("t0 0..999 w0 1..1000\nt1 0..999 w1 1..1000");
    f.Marks(0, 1000);
    ASSERT_TRUE(f.Run(kCmdCut)); // the wave file of track 0 leaves the project
    std::filesystem::remove(f.WavePaths[0]);
    const std::string before = f.Text();
    f.Ui.ClearEvents();
    EXPECT_FALSE(f.Run(kCmdPaste));
    EXPECT_EQ(f.Ui.StatusTexts(), (std::vector<std::string> { kFinished, kEditError }));
    EXPECT_FALSE(f.Logic.Busy);
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    EXPECT_EQ(f.Text(), before);
}

TEST(RangeCommands, InsertBlankAnswers)
{
    struct Case {
        std::optional<std::string> Answer;
        int32_t Frames; // inserted, 0 for none
    };
    static const Case kCases[] = {
        { "1", 44100 }, { "0.5", 22050 }, { "0'00.010", 441 }, { "0.0004", 0 }, // below 1 ms
        { "", 0 }, { "-", 0 }, { "-2", 0 }, { "x", 0 }, // unreadable: 0 ms
        { std::nullopt, 0 }, // cancelled
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Answer.value_or("(cancel)"));
        Fixture f;
        f.Place("t0 2000..2999 w0 1..1000");
        f.Marks(1000, 1500);
        if (c.Answer)
            f.Ui.QueueAnswer(*c.Answer);
        const std::string before = f.Text();
        EXPECT_EQ(f.Run(kCmdInsb), c.Frames > 0);
        ASSERT_EQ(f.Ui.Defaults.size(), 1u);
        EXPECT_EQ(f.Ui.Defaults[0], "000'00.000");
        EXPECT_EQ(f.Ui.Events().front().Text, "空白長さ指定");
        if (c.Frames == 0) {
            EXPECT_EQ(f.Text(), before);
            EXPECT_FALSE(f.SnapshotTaken());
            continue;
        }
        EXPECT_EQ(f.P.Blocks[0].StartAdr, 2000 + c.Frames);
        EXPECT_EQ(f.P.MarkOut, 1000 + c.Frames);
    }
}

TEST(RangeCommands, TrimAnswers)
{
    struct Case {
        std::optional<std::string> Answer;
        bool Trimmed;
    };
    // The block's edges peak at 50 (-14.1 dB) and its middle at 200.
    static const Case kCases[] = {
        { "12", true }, // -12 dB
        { "-20", false },
        { "-70", false }, // -60 dB
        { "70", false }, // -60 dB too
        { "", false },
        { "abc", false },
        { std::nullopt, false },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Answer.value_or("(cancel)"));
        Fixture f({ 1280 });
        for (int32_t e = 0; e < 21; ++e)
            f.P.Peaks[0][2 * e] = f.P.Peaks[0][2 * e + 1] = e >= 5 && e <= 14 ? 200 : 50;
        f.Place("t0 0..1279 w0 1..1280");
        f.Marks(0, 1280);
        if (c.Answer)
            f.Ui.QueueAnswer(*c.Answer);
        f.Run(kCmdTrim);
        ASSERT_EQ(f.Ui.Defaults.size(), 1u);
        EXPECT_EQ(f.Ui.Defaults[0], "-40");
        EXPECT_EQ(f.Ui.Events().front().Text, "閾値db");
        EXPECT_EQ(BlockTable(f.P), c.Trimmed ? "t0 255..959 w0 256..960" : "t0 0..1279 w0 1..1280");
    }
}

TEST(RangeCommands, SelectAllTakesNoSnapshot)
{
    Fixture f;
    f.Place("t2 500..1499 w0 1..1000");
    ASSERT_TRUE(f.Run(kCmdSelall));
    EXPECT_EQ(f.P.MarkIn, 0);
    EXPECT_EQ(f.P.MarkOut, 1500);
    for (const Track& t : f.P.Tracks)
        EXPECT_EQ(t.Selected, 1);
    EXPECT_FALSE(f.SnapshotTaken());
}

TEST(MarkCommands, SetTheMarksAndKeepThemInOrder)
{
    struct Case {
        int32_t Id;
        int32_t Head;
        int32_t In, Out;
    };
    // Before each: MarkIn 1000, MarkOut 5000, selected block 2000..2999, last click at 7000.
    static const Case kCases[] = {
        { kCmdMarkinClick, 3000, 7000, 7000 },
        { kCmdMarkinHead, 3000, 3000, 5000 },
        { kCmdMarkinBlockStart, 3000, 2000, 5000 },
        { kCmdMarkinBlockEnd, 3000, 2999, 5000 },
        { kCmdMarkinHome, 3000, 0, 5000 },
        { kCmdMarkinHead, 9000, 9000, 9000 },
        { kCmdMarkoutClick, 3000, 1000, 7000 },
        { kCmdMarkoutHead, 3000, 1000, 3000 },
        { kCmdMarkoutHead, 500, 500, 500 },
        { kCmdMarkoutBlockStart, 3000, 1000, 2000 },
        { kCmdMarkoutBlockEnd, 3000, 1000, 2999 },
        { kCmdMarkoutHome, 3000, 0, 0 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::to_string(c.Id) + " head " + std::to_string(c.Head));
        Fixture f;
        f.Place("t0 0..999 w0 1..1000\nt1 2000..2999 w1 1..1000");
        f.P.SelectedBlock = 1;
        f.P.Head = c.Head;
        f.Marks(1000, 5000);
        SetClickFrame(f.Logic, 7000);
        f.Logic.Playing = true; // marks may be set while listening
        const int32_t counter = f.P.UndoCounter;
        EXPECT_TRUE(f.Run(c.Id));
        EXPECT_EQ(f.P.MarkIn, c.In);
        EXPECT_EQ(f.P.MarkOut, c.Out);
        EXPECT_EQ(f.P.UndoCounter, counter);
        EXPECT_TRUE(f.P.Saved);
        EXPECT_FALSE(f.SnapshotTaken());
    }
}

TEST(MarkCommands, NothingWithoutASelectedBlockOrWhileBusy)
{
    Fixture f;
    f.Place("t0 0..999 w0 1..1000");
    f.Marks(100, 200);
    for (int32_t id : { kCmdMarkinBlockStart, kCmdMarkinBlockEnd, kCmdMarkoutBlockStart,
             kCmdMarkoutBlockEnd, kCmdHeadBlockStart, kCmdHeadBlockEnd }) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(f.Run(id));
    }
    f.Logic.Busy = true;
    EXPECT_FALSE(f.Run(kCmdMarkinHome));
    f.Logic.Busy = false;
    f.Logic.DrawWindowOpen = true;
    EXPECT_FALSE(f.Run(kCmdMarkinHome));
    EXPECT_EQ(f.P.MarkIn, 100);
    EXPECT_EQ(f.P.MarkOut, 200);
}

TEST(MarkCommands, ClickWithoutAPressUsesTheViewStart)
{
    Fixture f(std::vector<int32_t> {});
    f.P.ViewStart = 12345;
    f.Marks(0, 0);
    EXPECT_TRUE(f.Run(kCmdMarkoutClick));
    EXPECT_EQ(f.P.MarkOut, 12345);
    f.P.Zoom = 2;
    f.P.SampleStep = 64;
    f.P.ViewStart = 1000;
    EXPECT_EQ(FrameFromTrackX(f.P, 10.0), 2280);
    EXPECT_EQ(FrameFromTrackX(f.P, -100.0), 0);
}

TEST(MarkCommands, MarkInSetReadsAPositionRelativeToZeroPos)
{
    struct Case {
        int32_t ZeroPos;
        std::optional<std::string> Answer;
        const char* Default;
        int32_t In; // -1: unchanged (cancelled)
    };
    static const Case kCases[] = {
        { 0, "2", "000'01.000", 88200 },
        { 0, "0'03.500", "000'01.000", 154350 },
        { 0, "-5", "000'01.000", 0 },
        { 88200, "-1", "-000'01.000", 44100 },
        { 88200, "1", "-000'01.000", 132300 },
        { 88200, "x", "-000'01.000", 88200 }, // unreadable: 0 ms, at ZeroPos
        { 0, "", "000'01.000", -1 },
        { 0, "-", "000'01.000", -1 },
        { 0, std::nullopt, "000'01.000", -1 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Answer.value_or("(cancel)") + " zero " + std::to_string(c.ZeroPos));
        Fixture f(std::vector<int32_t> {});
        f.P.ZeroPos = c.ZeroPos;
        f.Marks(44100, 500000);
        if (c.Answer)
            f.Ui.QueueAnswer(*c.Answer);
        EXPECT_EQ(f.Run(kCmdMarkinSet), c.In >= 0);
        ASSERT_EQ(f.Ui.Defaults.size(), 1u);
        EXPECT_EQ(f.Ui.Defaults[0], c.Default);
        EXPECT_EQ(f.Ui.Events().front().Text, "マークイン位置指定");
        EXPECT_EQ(f.P.MarkIn, c.In >= 0 ? c.In : 44100);
        EXPECT_EQ(f.P.MarkOut, 500000);
    }
}

TEST(MarkCommands, MarkOutSetReadsALength)
{
    struct Case {
        std::optional<std::string> Answer;
        int32_t In, Out;
    };
    static const Case kCases[] = {
        { "1", 44100, 88200 },
        { "0.25", 44100, 55125 },
        { "-0.5", 22050, 22050 }, // below MarkIn: MarkIn follows
        { "-9", 0, 0 },
        { "", 44100, 66150 },
        { std::nullopt, 44100, 66150 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Answer.value_or("(cancel)"));
        Fixture f(std::vector<int32_t> {});
        f.P.ZeroPos = 1000; // lengths ignore it
        f.Marks(44100, 66150);
        if (c.Answer)
            f.Ui.QueueAnswer(*c.Answer);
        f.Run(kCmdMarkoutSet);
        ASSERT_EQ(f.Ui.Defaults.size(), 1u);
        EXPECT_EQ(f.Ui.Defaults[0], "000'00.500");
        EXPECT_EQ(f.Ui.Events().front().Text, "マークアウト長さ指定");
        EXPECT_EQ(f.P.MarkIn, c.In);
        EXPECT_EQ(f.P.MarkOut, c.Out);
    }
}

TEST(HeadCommands, MoveTheHeadCentreTheViewAndShowItsTime)
{
    Fixture f;
    f.Place("t0 0..999 w0 1..1000\nt3 5000..5999 w1 1..1000\nt1 1000..1999 w0 2001..3000");
    f.P.SelectedBlock = 1;
    f.Marks(2000000, 2500000);
    struct Step {
        int32_t Id;
        bool Moves;
        int32_t Head;
    };
    static const Step kSteps[] = {
        { kCmdHeadHome, true, 0 },
        { kCmdHeadFwd, true, 1000 },
        { kCmdHeadFwd, true, 5000 },
        { kCmdHeadFwd, false, 5000 },
        { kCmdHeadRwd, true, 1000 },
        { kCmdHeadRwd, true, 0 },
        { kCmdHeadRwd, false, 0 },
        { kCmdHeadBlockStart, true, 5000 },
        { kCmdHeadBlockEnd, true, 5999 },
        { kCmdHeadMarkout, true, 2500000 },
        { kCmdHeadMarkin, true, 2000000 },
    };
    for (const Step& s : kSteps) {
        SCOPED_TRACE(s.Id);
        f.Ui.ClearEvents();
        EXPECT_EQ(f.Run(s.Id), s.Moves);
        EXPECT_EQ(f.P.Head, s.Head);
    }
    // Centred: half of 1000 pixels at 32 entries of 64 frames a pixel.
    EXPECT_EQ(f.P.ViewStart, 2000000 - 500 * 32 * 64);
    EXPECT_EQ(f.Ui.LastStatus(), "ヘッド位置  000'45.351");

    f.P.ZeroPos = 44100;
    EXPECT_TRUE(f.Run(kCmdHeadHome));
    EXPECT_EQ(f.P.ViewStart, 0);
    EXPECT_EQ(f.Ui.LastStatus(), "ヘッド位置  -000'01.000");
    EXPECT_FALSE(f.SnapshotTaken());
}

TEST(HeadCommands, RefusedWhileTheEngineOwnsTheHead)
{
    Fixture f(std::vector<int32_t> {});
    f.P.Head = 777;
    f.Logic.Playing = true;
    EXPECT_FALSE(f.Run(kCmdHeadHome));
    f.Logic.Playing = false;
    f.Logic.Recording = true;
    EXPECT_FALSE(f.Run(kCmdHeadHome));
    f.Logic.Recording = false;
    f.Logic.Busy = true;
    EXPECT_FALSE(f.Run(kCmdHeadHome));
    EXPECT_EQ(f.P.Head, 777);
    EXPECT_TRUE(f.Ui.Events().empty());
}

TEST(TimeInput, AnswersAndDefaults)
{
    Project p;
    p.SampleRate = 44100;
    p.ZeroPos = 0;
    EXPECT_EQ(TimeInputDefault(p, 65250 * 441 / 10, false), "001'05.250");
    p.ZeroPos = 22050;
    EXPECT_EQ(TimeInputDefault(p, 0, true), "-000'00.500");
    EXPECT_EQ(TimeInputDefault(p, 0, false), "000'00.000");
    EXPECT_FALSE(ParseTimeAnswer(""));
    EXPECT_FALSE(ParseTimeAnswer("  "));
    EXPECT_FALSE(ParseTimeAnswer("-"));
    EXPECT_EQ(ParseTimeAnswer("-1'05.250"), -65250);
    EXPECT_EQ(ParseTimeAnswer("01:05"), 3900000);
    EXPECT_EQ(ParseTimeAnswer("1''5"), 0);
    EXPECT_EQ(TimeAnswerToFrames(p, 1000, true), 44100 + 22050);
    EXPECT_EQ(TimeAnswerToFrames(p, -1000, true), 0);
    EXPECT_EQ(TimeAnswerToFrames(p, -1000, false), -44100);
    EXPECT_EQ(TimeAnswerToFrames(p, 100000000, false), kMaxLength);
    EXPECT_EQ(TimeAnswerToFrames(p, -100000000, false), -kMaxLength);
}

} // namespace tarvok

namespace tarvok {

TEST(RangeCommands, CutWithEnvelopesShorterThanTheBlocksRemovesOnlyWhatItCopied)
{
    // A project file from elsewhere: its envelopes end long before its blocks.
    struct Case {
        const char* Name;
        int32_t EnvelopeFrames;
        int32_t In;
        int32_t Out;
        const char* Left;
        const char* Clip;
    };
    const Case kCases[] = {
        { "no envelope", 0, 30000, 40000,
            "t0 0..29999 w0 1..30000\nt0 30000..89999 w0 40001..100000",
            "t0 0..9999 w0 30001..40000" },
        { "two frames", 2, 50000, 60000,
            "t0 0..49999 w0 1..50000\nt0 50000..89999 w0 60001..100000",
            "t0 0..9999 w0 50001..60000" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        Fixture f({ 100000 });
        f.Place("t0 0..99999 w0 1..100000");
        f.P.EnvelopeLength = c.EnvelopeFrames;
        for (TrackEnvelope& e : f.P.Envelopes)
            e.assign(
                static_cast<size_t>(c.EnvelopeFrames) * 2, static_cast<uint8_t>(f.P.UnityLevel));
        f.Marks(c.In, c.Out);
        ASSERT_TRUE(f.Run(kCmdCut));
        EXPECT_EQ(BlockTable(f.P), c.Left);
        EXPECT_EQ(BlockTable(f.P.Clip.Blocks), c.Clip);
        EXPECT_EQ(f.P.Clip.Length, c.Out - c.In);
        // Inserted back, the project is whole again.
        ASSERT_TRUE(f.Run(kCmdInsert));
        EXPECT_EQ(f.P.ProjectLength, 100000);
    }
}

} // namespace tarvok
