#include "app/commands/command_dispatch.h"
#include "base/file_name.h"

#include "app/commands/command_table.h"
#include "app/shell/main_logic.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tarvok {

namespace {

struct Fixture : test::StartedLogic<> {
    test::TempDir Sources;

    std::string MakeWav(const std::string& pName, int32_t pFrames)
    {
        std::string path = Sources.File(pName);
        test::WriteWav(path,
            test::PcmSpec(44100, 16, 2,
                test::Stereo16(
                    pFrames, [](int64_t f) { return f % 300; },
                    [](int64_t f) { return -(f % 200); })));
        return path;
    }

    /// Places a working file as a block, as an edit with an undo snapshot.
    void EditAddBlock(int32_t pFrames, int32_t pTrack, int32_t pStart)
    {
        ASSERT_TRUE(Logic.StartProc(1, 0));
        ASSERT_GE(
            test::AddBlockWithFile(Logic,
                test::Stereo16(
                    pFrames, [](int64_t f) { return f % 300; }, [](int64_t f) { return f % 200; }),
                pTrack, pStart),
            0);
        Logic.EndProc();
    }

    std::string Text() { return ProjectFileText(Logic.Proj()); }

    bool AnyDialog() const
    {
        for (const HeadlessUi::Event& e : Ui.Events())
            if (e.Kind != HeadlessUi::EventKind::Message)
                return true;
        return false;
    }
};

} // namespace

TEST(RunCommand, CommandsWithoutAHandlerSaySo)
{
    Fixture f;
    f.EditAddBlock(3000, 1, 500);
    Project& p = f.Logic.Proj();
    p.MarkIn = 100;
    p.MarkOut = 2000;
    p.Tracks[1].Selected = 1;
    p.SelectedBlock = 0;
    int checkedCount = 0;
    for (int32_t id = 1; id < kCommandCount; ++id) {
        if (IsCommandAvailable(id))
            continue;
        SCOPED_TRACE(std::string(GetCommandText(id, kCommandIdColumn)));
        ++checkedCount;
        std::string before = f.Text();
        int32_t counter = p.UndoCounter;
        f.Ui.ClearEvents();
        EXPECT_FALSE(RunCommand(f.Logic, id));
        // The transport buttons say what they lack; the rest are not offered at all.
        const bool transport = id >= kCmdRec && id <= kCmdPlayFromout;
        EXPECT_EQ(f.Ui.LastStatus(),
            transport ? std::string(kNoSoundDevice)
                      : std::string(GetCommandText(id, kCommandDescription)) + "は未実装です");
        EXPECT_EQ(f.Text(), before);
        EXPECT_EQ(p.UndoCounter, counter);
        EXPECT_FALSE(f.AnyDialog());
        EXPECT_FALSE(f.Logic.Busy);
    }
    EXPECT_GT(checkedCount, 0);
    EXPECT_EQ(NotAvailableMessage(kCmdFadeIn), "フェードインは未実装です");
}

TEST(RunCommand, IndexesOutsideTheTableDoNothing)
{
    Fixture f;
    for (int32_t id : { 0, -1, 145, 1000, INT32_MIN }) {
        SCOPED_TRACE(id);
        f.Ui.ClearEvents();
        EXPECT_FALSE(RunCommand(f.Logic, id));
        EXPECT_TRUE(f.Ui.Events().empty());
        EXPECT_FALSE(IsCommandAvailable(id));
    }
}

TEST(RunCommand, UndoAndRedoGoThroughTheSnapshots)
{
    Fixture f;
    std::string empty = f.Text();
    f.EditAddBlock(2000, 0, 0);
    std::string one = f.Text();
    f.EditAddBlock(1000, 2, 4000);
    std::string two = f.Text();
    EXPECT_TRUE(RunCommand(f.Logic, kCmdUndo));
    EXPECT_EQ(f.Text(), one);
    EXPECT_TRUE(RunCommand(f.Logic, kCmdUndo));
    EXPECT_EQ(f.Text(), empty);
    EXPECT_FALSE(RunCommand(f.Logic, kCmdUndo));
    EXPECT_TRUE(RunCommand(f.Logic, kCmdRedo));
    EXPECT_TRUE(RunCommand(f.Logic, kCmdRedo));
    EXPECT_EQ(f.Text(), two);
    EXPECT_FALSE(RunCommand(f.Logic, kCmdRedo));
}

TEST(RunCommand, CloseThenUndoBringsTheBlocksBack)
{
    Fixture f;
    f.EditAddBlock(2000, 0, 0);
    std::string before = f.Text();
    EXPECT_TRUE(RunCommand(f.Logic, kCmdCloseprj));
    EXPECT_EQ(f.Logic.Proj().BlockCount(), 0);
    // Closing drops the undo history with the snapshots.
    EXPECT_FALSE(RunCommand(f.Logic, kCmdUndo));
    EXPECT_NE(f.Text(), before);
}

TEST(RunCommand, ProjectMenuCommandsReachTheirHandlers)
{
    Fixture f;
    f.EditAddBlock(2000, 0, 0);
    const std::string data = f.Logic.Proj().DataFolder;
    f.Ui.QueueAnswer(data + "saved");
    EXPECT_TRUE(RunCommand(f.Logic, kCmdSaveprj));
    EXPECT_TRUE(FileExists(data + "saved.tvp"));
    EXPECT_EQ(f.Logic.Proj().ProjectFile, data + "saved.tvp");
    f.Logic.Proj().MarkIn = 777;
    EXPECT_TRUE(RunCommand(f.Logic, kCmdOwprj));
    EXPECT_NE(ReadAllBytes(data + "saved.tvp").value_or("").find("777"), std::string::npos);

    f.Ui.QueueAnswer(data + "saved.tvp");
    EXPECT_TRUE(RunCommand(f.Logic, kCmdPrj2clip));
    EXPECT_FALSE(f.Logic.Proj().Clip.Empty());
    f.Ui.QueueAnswer(data + "clip.tvp");
    EXPECT_TRUE(RunCommand(f.Logic, kCmdClip2prj));
    EXPECT_TRUE(FileExists(data + "clip.tvp"));

    // Blocks are open, so CLEANUP refuses with a box.
    f.Ui.ClearEvents();
    EXPECT_FALSE(RunCommand(f.Logic, kCmdCleanup));
    EXPECT_EQ(f.Ui.BoxTexts().size(), 1u);

    f.Ui.QueueAnswer(data + "saved.tvp");
    f.Ui.QueueAnswer("yes"); // discard the open blocks
    EXPECT_TRUE(RunCommand(f.Logic, kCmdOpenprj));
    EXPECT_EQ(f.Logic.Proj().MarkIn, 777);
    EXPECT_EQ(f.Logic.Proj().BlockCount(), 1);

    EXPECT_TRUE(RunCommand(f.Logic, kCmdCloseprj));
    EXPECT_TRUE(RunCommand(f.Logic, kCmdCleanup));
}

TEST(RunCommand, FetchWavCopiesOutsideFilesIn)
{
    Fixture f;
    std::string outside = f.MakeWav("outside.wav", 1500);
    ASSERT_TRUE(f.Logic.StartProc(0, 0));
    Project& p = f.Logic.Proj();
    int32_t w = p.AddWaveFile(outside);
    p.AddBlock();
    p.Blocks.back().WaveNo = w;
    p.Blocks.back().SrcStart = 1;
    p.Blocks.back().SrcEnd = 1500;
    p.NormalizeBlock(0);
    f.Logic.EndProc();
    EXPECT_TRUE(RunCommand(f.Logic, kCmdFetchwav));
    EXPECT_EQ(FolderOf(p.WaveFiles[0].FileName), p.DataFolder);
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFetchwav)); // nothing left outside
}

TEST(RunCommand, AFailedFetchWavIsReportedWithItsCauseAndNamesNoPartialCopy)
{
    // The disk fills up at each write of the command in turn (the undo snapshot's, then the
    // copy's): the command either copies completely or fails, says why, and the project
    // still names the complete file outside. A snapshot that cannot be written refuses the
    // command before it copies anything.
    int copyFailures = 0;
    int snapshotRefusals = 0;
    for (int64_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        Fixture f;
        std::string outside = f.MakeWav("outside.wav", 1500);
        ASSERT_TRUE(f.Logic.StartProc(0, 0));
        Project& p = f.Logic.Proj();
        int32_t w = p.AddWaveFile(outside);
        p.AddBlock();
        p.Blocks.back().WaveNo = w;
        p.Blocks.back().SrcStart = 1;
        p.Blocks.back().SrcEnd = 1500;
        p.NormalizeBlock(0);
        f.Logic.EndProc();
        f.Ui.ClearEvents();
        ArmFault(FaultPoint::Write, n, FaultKind::ShortWrite);
        const bool ok = RunCommand(f.Logic, kCmdFetchwav);
        const bool fired = FaultFired();
        ClearFaults();
        if (!fired)
            break;
        if (ok) {
            EXPECT_EQ(FolderOf(p.WaveFiles[0].FileName), p.DataFolder);
            continue;
        }
        EXPECT_EQ(p.WaveFiles[0].FileName, outside);
        ASSERT_FALSE(f.Ui.BoxTexts().empty());
        if (f.Ui.BoxTexts().back().starts_with("元に戻すための記録")) {
            ++snapshotRefusals;
            EXPECT_NE(
                f.Ui.BoxTexts().back().find("ディスクの空き容量が足りません"), std::string::npos);
        } else {
            ++copyFailures;
            EXPECT_EQ(f.Ui.BoxTexts().back(),
                "構成ファイルのコピーに失敗しました\n" + outside
                    + "\nディスクの空き容量が足りません");
        }
        for (const auto& e : std::filesystem::directory_iterator(p.DataFolder))
            EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos);
        // With room again the same command copies it.
        EXPECT_TRUE(RunCommand(f.Logic, kCmdFetchwav));
        EXPECT_EQ(FolderOf(p.WaveFiles[0].FileName), p.DataFolder);
    }
    EXPECT_EQ(copyFailures, 1);
    EXPECT_EQ(snapshotRefusals, 1);
}

TEST(RunCommand, OpenSoundAsksForAFileAndRemembersItsFolder)
{
    Fixture f;
    std::string wav = f.MakeWav("tone.wav", 1000);
    f.Ui.ClearEvents();
    f.Ui.QueueAnswer("cancel");
    EXPECT_FALSE(RunCommand(f.Logic, kCmdOpensound));
    ASSERT_EQ(f.Ui.Events().size(), 1u);
    EXPECT_EQ(f.Ui.Events()[0].Kind, HeadlessUi::EventKind::OpenFile);
    EXPECT_EQ(f.Ui.Events()[0].Text, "サウンドファイル");
    EXPECT_EQ(f.Store.GetSetting("SoundfilePath", "unset"), "unset");

    f.Logic.Proj().CurrentTrack = 2;
    f.Logic.Proj().MarkIn = 4410;
    f.Ui.QueueAnswer(wav);
    f.Ui.QueueAnswer("yes");
    bool placed = RunCommand(f.Logic, kCmdOpensound);
    EXPECT_EQ(f.Store.GetSetting("SoundfilePath", ""), f.Sources.Path());
    if (placed) {
        ASSERT_GE(f.Logic.Proj().BlockCount(), 1);
        EXPECT_EQ(f.Logic.Proj().Blocks.back().TrackNo, 2);
        EXPECT_EQ(f.Logic.Proj().Blocks.back().StartAdr, 4410);
    }
}

TEST(RunCommand, RefusedWithoutAWordWhileBusyOrPlaying)
{
    const int32_t kRefused[] = { kCmdOpensound, kCmdMixdown, kCmdOpenprj, kCmdSaveprj, kCmdOwprj,
        kCmdFetchwav, kCmdSaveall, kCmdExport, kCmdClip2prj, kCmdPrj2clip, kCmdCleanup,
        kCmdCloseprj, kCmdUndo, kCmdRedo, kCmdFadeIn, kCmdFadeDraw, kCmdFxEcho, kCmdFxVocal,
        kCmdSampleedit };
    for (int state = 0; state < 4; ++state) {
        Fixture f;
        f.EditAddBlock(2000, 0, 0);
        f.EditAddBlock(2000, 1, 0);
        ASSERT_TRUE(RunCommand(f.Logic, kCmdUndo)); // so that REDO has something to do
        bool& flag = state == 0 ? f.Logic.Busy
            : state == 1        ? f.Logic.Playing
            : state == 2        ? f.Logic.Recording
                                : f.Logic.DrawWindowOpen;
        flag = true;
        for (int32_t id : kRefused) {
            if (state == 3 && id == kCmdMixdown)
                continue; // the drawing window does not stop a mixdown
            SCOPED_TRACE(
                std::to_string(state) + " " + std::string(GetCommandText(id, kCommandIdColumn)));
            std::string before = f.Text();
            f.Ui.ClearEvents();
            f.Ui.QueueAnswer(f.Logic.Proj().DataFolder + "x.tvp");
            EXPECT_FALSE(RunCommand(f.Logic, id));
            EXPECT_TRUE(f.Ui.Events().empty());
            EXPECT_EQ(f.Ui.PendingAnswers(), 1u);
            EXPECT_EQ(f.Text(), before);
            f.Ui.InputBox("", ""); // drop the unused answer
        }
    }
}

TEST(RunCommand, StopWhileBusyOnlyAsksTheJobToEnd)
{
    Fixture f;
    f.Logic.Busy = true;
    EXPECT_TRUE(RunCommand(f.Logic, kCmdStop));
    EXPECT_TRUE(f.Logic.CancelRequest);
    f.Logic.Busy = false;
    f.Logic.CancelRequest = false;
    EXPECT_FALSE(RunCommand(f.Logic, kCmdStop));
    EXPECT_FALSE(f.Logic.CancelRequest);
}

} // namespace tarvok
