#include "app/commands/block_commands.h"

#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "core/data_folder.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

namespace tarvok {

namespace {

struct Fixture : test::StartedLogic<> {

    /// Places a new working file of pFrames frames as a block (no undo snapshot).
    void Add(
        int32_t pFrames, int32_t pTrack, int32_t pStart, int32_t pGroup = 0, int32_t pFlags = 0)
    {
        const int32_t i = test::AddBlockWithFile(
            Logic, std::string(static_cast<size_t>(pFrames) * 4, '\x01'), pTrack, pStart);
        ASSERT_GE(i, 0);
        Project& p = P();
        Block& b = p.Blocks[static_cast<size_t>(i)];
        b.GroupID = pGroup;
        b.Flags = pFlags;
        b.Name = "blk" + std::to_string(p.BlockCount());
        p.NormalizeBlock(i);
        p.UpdateTitleLength(false);
    }

    /// Four blocks: two on track 0, a group of two on tracks 1 and 2; block 1 selected,
    /// marks 200..600 on track 0, head at 5500.
    void Standard()
    {
        Add(1000, 0, 0);
        Add(1000, 0, 5000);
        Add(8000, 1, 2000, 2);
        Add(500, 2, 0, 2);
        P().SelectedBlock = 1;
        P().MarkIn = 200;
        P().MarkOut = 600;
        P().Head = 5500;
    }

    std::string Text() { return ProjectFileText(P()); }
};

} // namespace

TEST(BlockCommands, TheBlockAndTrackCommandsAreRecognised)
{
    EXPECT_FALSE(IsBlockCommand(kCmdRedo));
    for (int32_t id = kCmdBlockDelete; id <= kCmdTrackSave; ++id)
        EXPECT_TRUE(IsBlockCommand(id)) << id;
    EXPECT_FALSE(IsBlockCommand(kCmdFadeIn));
    Fixture f;
    EXPECT_FALSE(RunBlockCommand(f.Logic, kCmdCopy));
}

TEST(BlockCommands, EveryEditIsUndoneExactly)
{
    struct Case {
        int32_t Id;
        std::vector<std::string> Answers;
        const char* Name;
    };
    const std::vector<Case> cases = {
        { kCmdBlockDelete, {}, "BLOCK_DELETE" },
        { kCmdBlockName, { "new,name" }, "BLOCK_NAME" },
        { kCmdBlockDevide, {}, "BLOCK_DEVIDE" },
        { kCmdBlockDevideh, {}, "BLOCK_DEVIDEH" },
        { kCmdBlockLock, {}, "BLOCK_LOCK" },
        { kCmdBlockFlock, {}, "BLOCK_FLOCK" },
        { kCmdBlockFitF, {}, "BLOCK_FIT_F" },
        { kCmdBlockFitR, {}, "BLOCK_FIT_R" },
        { kCmdBlockFront, {}, "BLOCK_FRONT" },
        { kCmdBlockBehind, {}, "BLOCK_BEHIND" },
        { kCmdBlockSetadr, { "1" }, "BLOCK_SETADR" },
        { kCmdBlockLevel, { "-3.5", "abc" }, "BLOCK_LEVEL" },
        { kCmdBlockGroup, { "5" }, "BLOCK_GROUP" },
        { kCmdTrackName, { " vox " }, "TRACK_NAME" },
        { kCmdTrackDelete, {}, "TRACK_DELETE" },
        { kCmdTrackAdd, {}, "TRACK_ADD" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        f.Standard();
        std::string before = f.Text();
        for (const std::string& answer : c.Answers)
            f.Ui.QueueAnswer(answer);
        ASSERT_TRUE(RunBlockCommand(f.Logic, c.Id));
        EXPECT_EQ(f.Ui.PendingAnswers(), 0u);
        EXPECT_NE(f.Text(), before);
        EXPECT_EQ(f.P().CheckInvariants(), "");
        EXPECT_EQ(f.Ui.LastStatus(), "処理終了");
        EXPECT_FALSE(f.P().Saved);
        ASSERT_TRUE(f.Logic.UndoCommand(false));
        EXPECT_EQ(f.Text(), before);
        EXPECT_EQ(f.P().CheckInvariants(), "");
    }
}

TEST(BlockCommands, ResultsOfTheDialogCommands)
{
    Fixture f;
    f.Standard();
    f.Ui.QueueAnswer("a\"b,c");
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdBlockName));
    EXPECT_EQ(f.P().Blocks[1].Name,
        "a\xEF\xBC\x82"
        "b.c");

    f.Ui.QueueAnswer("1.5");
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdBlockSetadr));
    EXPECT_EQ(f.P().Blocks[1].StartAdr, 66150);
    f.Ui.QueueAnswer("-5");
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdBlockSetadr));
    EXPECT_EQ(f.P().Blocks[1].StartAdr, 0);

    f.Ui.ClearEvents();
    f.Ui.QueueAnswer("-3.5");
    f.Ui.QueueAnswer("x");
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdBlockLevel));
    ASSERT_GE(f.Ui.Events().size(), 2u);
    EXPECT_EQ(f.Ui.Events()[0].Text, "L");
    EXPECT_EQ(f.Ui.Events()[1].Text, "R");
    EXPECT_EQ(f.P().Blocks[1].LevelL, -3.5f);
    EXPECT_EQ(f.P().Blocks[1].LevelR, 0.0f);

    f.Ui.QueueAnswer("1e300");
    EXPECT_FALSE(RunBlockCommand(f.Logic, kCmdBlockLevel));
    EXPECT_EQ(f.Ui.BoxTexts().back(), "値が不正です");
    EXPECT_EQ(f.P().Blocks[1].LevelL, -3.5f);

    f.Ui.QueueAnswer("0");
    f.P().MarkIn = 0;
    f.P().MarkOut = 10000;
    f.P().Tracks[1].Selected = 1;
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdBlockGroup));
    EXPECT_EQ(f.P().Blocks[2].GroupID, 0); // ungrouped: it lies in the range
    EXPECT_EQ(f.P().Blocks[3].GroupID, 2); // track 2 is not selected
    EXPECT_EQ(f.P().CheckInvariants(), "");
}

TEST(BlockCommands, ClipTakesNoSnapshot)
{
    Fixture f;
    f.Standard();
    f.P().SelectedBlock = 3;
    int32_t counter = f.P().UndoCounter;
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdBlockClip));
    EXPECT_EQ(f.P().UndoCounter, counter);
    EXPECT_EQ(f.P().Clip.Blocks.size(), 2u);
    EXPECT_EQ(f.P().Clip.FirstTrack, 1);
    EXPECT_EQ(f.P().Clip.Length, 10000);
    EXPECT_TRUE(f.P().Clip.NoEnvelope);
}

TEST(BlockCommands, MergeRendersTheRangeOfEachSelectedTrackIntoOneBlock)
{
    Fixture f;
    f.Standard();
    // The block level goes into the merged audio: 0x0101 at -20 dB on the left.
    f.P().Blocks[0].LevelL = -20.0f;
    f.P().Tracks[0].Selected = 1;
    std::string before = f.Text();
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdBlockMerge));
    EXPECT_EQ(f.P().CheckInvariants(), "");
    // Track 0 now holds the parts outside the range and one block over exactly 200..599.
    int32_t merged = -1;
    for (int32_t b = 0; b < f.P().BlockCount(); ++b)
        if (f.P().Blocks[b].TrackNo == 0 && f.P().Blocks[b].StartAdr == 200)
            merged = b;
    ASSERT_GE(merged, 0);
    const Block& m = f.P().Blocks[merged];
    EXPECT_EQ(m.EndAdr, 599);
    std::string audio = test::ReadFileBytes(f.P().WaveFiles[m.WaveNo].FileName);
    ASSERT_GE(audio.size(), 44u + 400u * 4u);
    // Left: 257 x 0.1 = 25.7, nearest 26; right unchanged at 257.
    EXPECT_EQ(static_cast<uint8_t>(audio[44]) | (static_cast<uint8_t>(audio[45]) << 8), 26);
    EXPECT_EQ(static_cast<uint8_t>(audio[46]) | (static_cast<uint8_t>(audio[47]) << 8), 257);
    // One edit: undo gives back the project before the merge.
    f.P().Tracks[0].Selected = 1;
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    EXPECT_EQ(f.Text(), before);

    f.P().MarkOut = f.P().MarkIn;
    int32_t counter = f.P().UndoCounter;
    EXPECT_FALSE(RunBlockCommand(f.Logic, kCmdBlockMerge));
    EXPECT_EQ(f.Ui.LastStatus(), "選択されていません");
    EXPECT_EQ(f.P().UndoCounter, counter);
}

TEST(BlockCommands, RefusalsChangeNothingAndTakeNoSnapshot)
{
    struct Case {
        const char* Name;
        std::function<void(Fixture&)> Setup;
        std::vector<int32_t> Ids;
        const char* Status;
    };
    std::vector<int32_t> all;
    for (int32_t id = kCmdBlockDelete; id <= kCmdTrackSave; ++id)
        all.push_back(id);
    const std::vector<Case> cases = {
        { "while playing", [](Fixture& f) { f.Logic.Playing = true; }, all, "" },
        { "while recording", [](Fixture& f) { f.Logic.Recording = true; }, all, "" },
        { "while the drawing window is open", [](Fixture& f) { f.Logic.DrawWindowOpen = true; },
            all, "" },
        { "no selected block", [](Fixture& f) { f.P().SelectedBlock = -1; },
            { kCmdBlockDelete, kCmdBlockName, kCmdBlockClip, kCmdBlockLock, kCmdBlockFlock,
                kCmdBlockFitF, kCmdBlockFitR, kCmdBlockFront, kCmdBlockBehind, kCmdBlockSetadr,
                kCmdBlockLevel },
            "" },
        { "no selection", [](Fixture& f) { f.P().MarkOut = f.P().MarkIn; }, { kCmdBlockDevide },
            "選択されていません" },
        { "single track",
            [](Fixture& f) {
                f.P().SetTrackCount(1);
                f.P().SelectedBlock = -1;
                f.P().Blocks.clear();
                f.P().WaveFiles.clear();
                f.P().Peaks.clear();
            },
            { kCmdTrackDelete, kCmdBlockGroup }, "" },
        { "64 tracks", [](Fixture& f) { f.P().SetTrackCount(64); }, { kCmdTrackAdd }, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        f.Standard();
        c.Setup(f);
        f.Ui.ClearEvents();
        std::string before = f.Text();
        int32_t counter = f.P().UndoCounter;
        for (int32_t id : c.Ids) {
            SCOPED_TRACE(id);
            f.Ui.QueueAnswer("1"); // any question would be answered
            EXPECT_FALSE(RunBlockCommand(f.Logic, id));
        }
        EXPECT_EQ(f.Text(), before);
        EXPECT_EQ(f.P().UndoCounter, counter);
        EXPECT_TRUE(f.P().Saved);
        EXPECT_TRUE(f.Ui.BoxTexts().empty());
        if (*c.Status) {
            EXPECT_EQ(f.Ui.LastStatus(), c.Status);
        }
    }
}

TEST(BlockCommands, CancelledDialogsChangeNothing)
{
    for (int32_t id :
        { kCmdBlockName, kCmdBlockSetadr, kCmdBlockLevel, kCmdBlockGroup, kCmdTrackName }) {
        SCOPED_TRACE(id);
        Fixture f;
        f.Standard();
        std::string before = f.Text();
        int32_t counter = f.P().UndoCounter;
        // No answer queued: the input box is cancelled.
        EXPECT_FALSE(RunBlockCommand(f.Logic, id));
        EXPECT_EQ(f.Text(), before);
        EXPECT_EQ(f.P().UndoCounter, counter);
    }
    // The level dialog is cancelled by its second question too.
    Fixture f;
    f.Standard();
    f.Ui.QueueAnswer("4");
    EXPECT_FALSE(RunBlockCommand(f.Logic, kCmdBlockLevel));
    EXPECT_EQ(f.P().Blocks[1].LevelL, 0.0f);
    // An unchanged name is no edit.
    f.Ui.QueueAnswer("blk2");
    EXPECT_FALSE(RunBlockCommand(f.Logic, kCmdBlockName));
    EXPECT_TRUE(f.P().Saved);
}

TEST(BlockCommands, TrackAddAndDeleteFollowAViewOfEveryTrack)
{
    Fixture f;
    f.Standard();
    ASSERT_EQ(f.P().ViewTrackCount, f.P().LastTrackNo);
    f.P().CurrentTrack = 1;
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdTrackAdd));
    EXPECT_EQ(f.P().LastTrackNo, 8);
    EXPECT_EQ(f.P().ViewTrackCount, 8);
    EXPECT_EQ(f.P().Blocks[3].TrackNo, 3); // the block of track 2 moved up
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdTrackDelete));
    EXPECT_EQ(f.P().LastTrackNo, 7);
    EXPECT_EQ(f.P().ViewTrackCount, 7);
    EXPECT_EQ(f.P().BlockCount(), 3); // the group member on track 1 went with it
    EXPECT_EQ(f.P().ProjectLength, 6000);
    EXPECT_EQ(f.P().CheckInvariants(), "");
}

TEST(BlockCommands, TrackSaveStoresEveryTrack)
{
    Fixture f;
    f.P().Tracks[0].Name = "drums";
    f.P().Tracks[2].LevelL = 100;
    f.P().Tracks[7].PlayCh = 3;
    int32_t counter = f.P().UndoCounter;
    ASSERT_TRUE(RunBlockCommand(f.Logic, kCmdTrackSave));
    EXPECT_EQ(f.Store.GetSetting("TrackNum", int32_t { -1 }), 7);
    EXPECT_EQ(f.Store.GetSetting("TrackName_01", ""), "drums");
    EXPECT_EQ(f.Store.GetSetting("TrackLevelL_03", int32_t { 0 }), 100);
    EXPECT_EQ(f.Store.GetSetting("TrackPlayCh_08", int32_t { 0 }), 3);
    EXPECT_EQ(f.Store.GetSetting("TrackPlaySelected_05", int32_t { 0 }), 1);
    EXPECT_EQ(f.Store.GetSetting("TrackRecSelected_01", int32_t { 0 }), 1);
    for (const char* key : { "TrackLevelLinked_02", "TrackLevelR_02", "TrackRecCh_02" })
        EXPECT_TRUE(f.Store.GetRaw(key).has_value()) << key;
    EXPECT_EQ(f.Ui.BoxTexts().back(), "トラック状態を保存しました");
    EXPECT_EQ(f.Ui.Events().back().Icon, MsgIcon::Information);
    EXPECT_EQ(f.P().UndoCounter, counter);
    EXPECT_TRUE(f.P().Saved);
}

TEST(MoveBlockByDrag, OneSnapshotAndUndoRestores)
{
    Fixture f;
    f.Standard();
    std::string before = f.Text();
    int32_t counter = f.P().UndoCounter;
    ASSERT_TRUE(MoveBlockByDrag(f.Logic, 2, 3000, 1));
    EXPECT_EQ(f.P().UndoCounter, counter + 1);
    EXPECT_EQ(f.P().Blocks[2].StartAdr, 5000);
    EXPECT_EQ(f.P().Blocks[2].TrackNo, 2);
    EXPECT_EQ(f.P().Blocks[3].StartAdr, 3000);
    EXPECT_EQ(f.P().Blocks[3].TrackNo, 3);
    EXPECT_FALSE(f.P().Saved);
    EXPECT_EQ(f.P().ProjectLength, 13000);
    EXPECT_EQ(f.P().CheckInvariants(), "");
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    EXPECT_EQ(f.Text(), before);
}

TEST(MoveBlockByDrag, LockedOrStuckBlocksTakeNoSnapshot)
{
    Fixture f;
    f.Add(1000, 0, 0, 0, kBlockLocked);
    f.Add(1000, 1, 0);
    std::string before = f.Text();
    int32_t counter = f.P().UndoCounter;
    EXPECT_FALSE(MoveBlockByDrag(f.Logic, 0, 500, 0));
    EXPECT_FALSE(MoveBlockByDrag(f.Logic, 1, -500, 0)); // already at frame 0
    EXPECT_FALSE(MoveBlockByDrag(f.Logic, 1, 0, 0));
    EXPECT_FALSE(MoveBlockByDrag(f.Logic, 7, 10, 0));
    EXPECT_EQ(f.P().UndoCounter, counter);
    EXPECT_EQ(f.Text(), before);
    EXPECT_TRUE(f.P().Saved);
}

TEST(MoveBlockByDrag, FadeLockedBlockTakesItsEnvelopeAlongAndUndoBringsItBack)
{
    Fixture f;
    f.Add(4096, 0, 4096, 0, kBlockFadeLocked);
    f.P().Envelopes[0][4] = 50;
    f.P().AddFadePoint();
    f.P().FadePoints.back() = FadePoint { 2, 0, 1 };
    std::string before = f.Text();
    ASSERT_TRUE(MoveBlockByDrag(f.Logic, 0, 4096, 0));
    EXPECT_EQ(f.P().Envelopes[0][4], f.P().UnityLevel);
    EXPECT_EQ(f.P().Envelopes[0][8], 50);
    EXPECT_EQ(f.P().FadePoints[0].EnvFrame, 4);
    EXPECT_FALSE(f.P().Tracks[0].EnvelopeFile.empty());
    EXPECT_EQ(f.P().CheckInvariants(), "");
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    EXPECT_EQ(f.Text(), before);
}

} // namespace tarvok

namespace tarvok {

TEST(BlockCommands, AnEmptyProjectSurvivesEveryCommand)
{
    Fixture f;
    for (int32_t id = kCmdBlockDelete; id <= kCmdTrackSave; ++id) {
        SCOPED_TRACE(id);
        RunBlockCommand(f.Logic, id); // no answers queued: every question is cancelled
        EXPECT_EQ(f.P().CheckInvariants(), "");
        EXPECT_FALSE(f.Logic.Busy);
    }
    EXPECT_EQ(f.P().BlockCount(), 0);
}

} // namespace tarvok
