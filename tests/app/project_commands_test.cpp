#include "app/commands/export_command.h"
#include "app/shell/main_logic.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/paths.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "core/wave_info.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace tarvok {

namespace {

struct Fixture : test::StartedLogic<> {
    std::string Data = Logic.Proj().DataFolder;

    /// Places a new working file of pFrames frames as a block, as an edit with undo.
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

    void EditMoveFirstBlock(int32_t pTo)
    {
        ASSERT_TRUE(Logic.StartProc(1, 0));
        Logic.Proj().Blocks[0].StartAdr = pTo;
        Logic.Proj().NormalizeBlock(0);
        Logic.EndProc();
    }

    std::string Text() { return ProjectFileText(Logic.Proj()); }
};

} // namespace

TEST(Undo, NothingToUndoRightAfterOpening)
{
    Fixture f;
    EXPECT_FALSE(f.Logic.StepUndo(false, true));
    EXPECT_FALSE(f.Logic.UndoCommand(false));
    EXPECT_FALSE(f.Logic.UndoCommand(true));
}

TEST(Undo, EachStepIsNamedInTheCaptionTheHistoryAndTheMessage)
{
    Fixture f;
    EXPECT_EQ(f.Logic.UndoStepName(false), "");
    EXPECT_TRUE(f.Logic.UndoHistory().empty());
    f.Logic.NameNextEdit("貼り付け");
    f.EditAddBlock(1000, 0, 0);
    f.EditMoveFirstBlock(5000); // not named: a plain edit
    f.Logic.NameNextEdit("消去");
    f.EditMoveFirstBlock(7000);
    EXPECT_EQ(f.Logic.UndoHistory(), (std::vector<std::string> { "消去", "編集", "貼り付け" }));
    struct Step {
        bool Redo;
        std::string Message; // what the message area says after the step
        std::string Undo; // the next undo's name
        std::string Redone; // the next redo's name
        size_t History;
    };
    const Step steps[] = {
        { false, "元に戻す: 消去", "編集", "消去", 2 },
        { false, "元に戻す: 編集", "貼り付け", "編集", 1 },
        { true, "やり直し: 編集", "編集", "消去", 2 },
        { false, "元に戻す: 編集", "貼り付け", "編集", 1 },
        { false, "元に戻す: 貼り付け", "", "貼り付け", 0 },
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.Message);
        ASSERT_TRUE(f.Logic.UndoCommand(s.Redo));
        EXPECT_EQ(f.Ui.LastStatus(), s.Message);
        EXPECT_EQ(f.Logic.UndoStepName(false), s.Undo);
        EXPECT_EQ(f.Logic.UndoStepName(true), s.Redone);
        EXPECT_EQ(f.Logic.UndoHistory().size(), s.History);
    }
    // A new edit after undoing drops the steps beyond it and their names.
    f.Logic.NameNextEdit("カット");
    f.EditAddBlock(500, 1, 0);
    EXPECT_EQ(f.Logic.UndoHistory(), (std::vector<std::string> { "カット" }));
    EXPECT_EQ(f.Logic.UndoStepName(true), "");
}

TEST(Undo, TwoEditsUndoneAndRedoneReturnToTheLaterState)
{
    Fixture f;
    std::string s0 = f.Text();
    f.EditAddBlock(1000, 0, 0);
    std::string s1 = f.Text();
    f.EditMoveFirstBlock(5000);
    std::string s2 = f.Text();

    ASSERT_TRUE(f.Logic.UndoCommand(false));
    EXPECT_EQ(f.Text(), s1);
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    EXPECT_EQ(f.Text(), s0);
    EXPECT_FALSE(f.Logic.UndoCommand(false));
    ASSERT_TRUE(f.Logic.UndoCommand(true));
    EXPECT_EQ(f.Text(), s1);
    ASSERT_TRUE(f.Logic.UndoCommand(true));
    EXPECT_EQ(f.Text(), s2);
    EXPECT_FALSE(f.Logic.UndoCommand(true)); // a third redo does nothing
    EXPECT_EQ(f.Text(), s2);
    EXPECT_EQ(f.Logic.Proj().CheckInvariants(), "");
}

TEST(Undo, AnEditAfterUndoEndsRedo)
{
    Fixture f;
    f.EditAddBlock(1000, 0, 0);
    f.EditMoveFirstBlock(100);
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    f.EditMoveFirstBlock(7000);
    std::string now = f.Text();
    EXPECT_FALSE(f.Logic.StepUndo(true, true));
    EXPECT_FALSE(f.Logic.UndoCommand(true));
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    EXPECT_EQ(f.Logic.Proj().Blocks[0].StartAdr, 0);
    ASSERT_TRUE(f.Logic.UndoCommand(true));
    EXPECT_EQ(f.Text(), now);
}

TEST(Undo, WithUndoAllOffMarksStayWhereTheyAre)
{
    Fixture f;
    f.Store.SaveSetting("UndoAll", int32_t { 0 });
    f.Logic.Options().UndoAll = 0;
    f.EditAddBlock(1000, 0, 0);
    f.Logic.Proj().MarkIn = 100;
    f.Logic.Proj().MarkOut = 200;
    f.EditMoveFirstBlock(3000);
    f.Logic.Proj().MarkIn = 300;
    f.Logic.Proj().MarkOut = 400;
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    EXPECT_EQ(f.Logic.Proj().Blocks[0].StartAdr, 0);
    EXPECT_EQ(f.Logic.Proj().MarkIn, 300);
    EXPECT_EQ(f.Logic.Proj().MarkOut, 400);
}

TEST(ProjectCommands, SaveInsistsOnTheDataFolderAndOpenRestores)
{
    Fixture f;
    f.EditAddBlock(2000, 1, 500);
    f.Ui.QueueAnswer(f.Home.Dir().File("elsewhere.tvp"));
    f.Ui.QueueAnswer(f.Data + "song");
    ASSERT_TRUE(f.Logic.SaveProjectCommand());
    EXPECT_EQ(
        f.Ui.BoxTexts().back(), "データフォルダ以外にはプロジェクトファイルの保存はできません");
    EXPECT_EQ(f.Logic.Proj().ProjectFile, f.Data + "song.tvp");
    EXPECT_TRUE(f.Logic.Proj().Saved);
    EXPECT_TRUE(f.Logic.OverwriteEnabled);
    std::string saved = f.Text();

    ASSERT_TRUE(f.Logic.CloseProject());
    EXPECT_EQ(f.Logic.Proj().BlockCount(), 0);
    ASSERT_TRUE(f.Logic.OpenProject(f.Data + "song.tvp", false));
    EXPECT_EQ(f.Text(), saved);
    EXPECT_EQ(f.Logic.Proj().ProjectFile, f.Data + "song.tvp");
    EXPECT_EQ(f.Logic.RecentFiles().front(), f.Data + "song.tvp");
}

TEST(ProjectCommands, AFailedOpenCanNeverBeSavedOverTheDamagedFile)
{
    Fixture f;
    std::string path = f.Data + "broken.tvp";
    const std::string damaged = "0,0,44100,5,5,0\r\n";
    test::WriteFileBytes(path, damaged);
    f.Logic.Proj().ProjectFile = path;
    f.Logic.OverwriteEnabled = true;
    EXPECT_FALSE(f.Logic.OpenProject(path, false));
    // The message names the file and where the reader stopped.
    EXPECT_EQ(f.Ui.BoxTexts().back(),
        "プロジェクト読込に失敗しました\n" + path
            + "\n1行目（ヘッダ）の項目が21個より少なくなっています（6個）");
    EXPECT_EQ(f.Logic.OpenFailure, "1行目（ヘッダ）の項目が21個より少なくなっています（6個）");
    EXPECT_TRUE(f.Logic.Proj().ProjectFile.empty());
    EXPECT_FALSE(f.Logic.OverwriteEnabled);
    // Overwrite-save now asks for a new name; cancelling leaves the damaged file alone.
    EXPECT_FALSE(f.Logic.OverwriteProjectCommand());
    EXPECT_EQ(test::ReadFileBytes(path), damaged);
}

TEST(ProjectCommands, OpeningAndClosingRemoveUndoSnapshots)
{
    Fixture f;
    f.EditAddBlock(1000, 0, 0);
    f.EditMoveFirstBlock(10);
    EXPECT_TRUE(FileExists(f.Logic.Folder().UndoSnapshotName(0)));
    f.Ui.QueueAnswer(f.Data + "a.tvp");
    ASSERT_TRUE(f.Logic.SaveProjectCommand());
    ASSERT_TRUE(f.Logic.CloseProject());
    EXPECT_EQ(DeleteTempFiles(f.Data, kTempSnapshot), 0);
    EXPECT_FALSE(FileExists(f.Logic.Folder().UndoSnapshotName(0)));
    f.EditAddBlock(500, 0, 0);
    ASSERT_TRUE(f.Logic.OpenFile(f.Data + "a.tvp") == false); // blocks exist: asked, and No
    f.Ui.QueueAnswer("yes");
    ASSERT_TRUE(f.Logic.OpenFile(f.Data + "a.tvp"));
    for (const auto& e : std::filesystem::directory_iterator(f.Data)) {
        std::string name = e.path().filename().string();
        EXPECT_FALSE(name.rfind("~t", 0) == 0 && e.path().extension() == ".tvp") << name;
    }
}

TEST(ProjectCommands, SaveAllWritesOnlyTheUsedRangeAndOpensAfterACleanUp)
{
    Fixture f;
    f.EditAddBlock(10000, 0, 0);
    {
        // Use frames 1001..3000 only.
        ASSERT_TRUE(f.Logic.StartProc(1, 0));
        Block& b = f.Logic.Proj().Blocks[0];
        b.SrcStart = 1001;
        b.SrcEnd = 3000;
        b.StartAdr = 1000;
        f.Logic.Proj().NormalizeBlock(0);
        f.Logic.EndProc();
    }
    std::string out = f.Home.Dir().File("export/mysong");
    f.Ui.QueueAnswer(out);
    ASSERT_TRUE(f.Logic.SaveAllCommand());
    std::string folder = out + "/";
    WaveInfo info = ReadWaveInfo(folder + "00000001.wav");
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.Frames, 2000);
    EXPECT_TRUE(FileExists(folder + "00000001.wwf"));
    EXPECT_EQ(f.Store.GetSetting("LastSaveAllPath", ""), folder);
    // The copied frames are the used ones.
    std::string source = test::ReadFileBytes(f.Logic.Proj().WaveFiles[0].FileName);
    std::string copy = test::ReadFileBytes(folder + "00000001.wav");
    EXPECT_EQ(copy.substr(44), source.substr(44 + 1000 * 4, 2000 * 4));

    // Empty the data folder completely, then open the written project on its own.
    ASSERT_TRUE(f.Logic.CloseProject());
    ASSERT_GE(f.Logic.CleanupCommand(), 1);
    ASSERT_TRUE(f.Logic.OpenProject(folder + "mysong.tvp", false));
    const Project& p = f.Logic.Proj();
    ASSERT_EQ(p.BlockCount(), 1);
    EXPECT_EQ(p.Blocks[0].SrcStart, 1);
    EXPECT_EQ(p.Blocks[0].SrcEnd, 2000);
    EXPECT_EQ(p.Blocks[0].StartAdr, 1000);
    EXPECT_EQ(p.WaveFiles[0].FileName, folder + "00000001.wav");
    EXPECT_EQ(p.CheckInvariants(), "");

    // Writing again into the same folder asks first and replaces it whole.
    f.Ui.QueueAnswer(out);
    f.Ui.QueueAnswer("yes");
    f.Ui.QueueAnswer("no");
    ASSERT_TRUE(f.Logic.SaveAllCommand());
    EXPECT_TRUE(FileExists(folder + "mysong.tvp"));
    EXPECT_FALSE(FolderExists(out + "01"));
}

TEST(ProjectCommands, SaveAllRefusesTheDataFolder)
{
    Fixture f;
    f.EditAddBlock(100, 0, 0);
    f.Ui.QueueAnswer(f.Data);
    EXPECT_FALSE(f.Logic.SaveAllCommand());
    EXPECT_EQ(f.Ui.BoxTexts().back(), "データフォルダには保存はできません");
}

TEST(ProjectCommands, ExitWithoutTidyingOffersTheWorkAtTheNextStart)
{
    test::ScopedHome home;
    MemorySettingsBackend backend;
    Settings store(backend);
    store.SaveSetting("DelOnEnd", int32_t { 0 });
    std::string data = home.Dir().File("data");
    std::string expected;
    {
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(data);
        ASSERT_TRUE(logic.Startup(""));
        std::string path = logic.Folder().NewTempName(kTempWave);
        test::WriteWav(path,
            test::PcmSpec(44100, 16, 2,
                test::Stereo16(
                    100, [](int64_t) { return 1; }, [](int64_t) { return 2; })));
        ASSERT_TRUE(logic.StartProc(1, 0));
        int32_t w = logic.Proj().AddWaveFile(path);
        logic.Proj().AddBlock();
        logic.Proj().Blocks[0].WaveNo = w;
        logic.Proj().Blocks[0].SrcEnd = 100;
        logic.Proj().NormalizeBlock(0);
        logic.EndProc();
        expected = ProjectFileText(logic.Proj());
        logic.Shutdown();
    }
    HeadlessUi ui;
    ui.QueueAnswer("yes");
    MainLogic logic(store, ui);
    logic.SetDataFolderOverride(data);
    ASSERT_TRUE(logic.Startup(""));
    EXPECT_EQ(ui.BoxTexts().front(), "続きから作業しますか？");
    ASSERT_EQ(logic.Proj().BlockCount(), 1);
    EXPECT_TRUE(FileExists(logic.Proj().DataFolder + "last.tvp"));
}

TEST(ProjectCommands, RecentListDropsMissingFilesAndDuplicatesAndKeepsEight)
{
    Fixture f;
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) {
        paths.push_back(f.Data + "p" + std::to_string(i) + ".tvp");
        test::WriteFileBytes(paths.back(), "x");
        f.Logic.AddRecentFile(paths.back());
    }
    ASSERT_EQ(f.Logic.RecentFiles().size(), 8u);
    EXPECT_EQ(f.Logic.RecentFiles().front(), paths[9]);
    std::filesystem::remove(paths[8]);
    f.Logic.AddRecentFile(paths[5]);
    EXPECT_EQ(f.Logic.RecentFiles().front(), paths[5]);
    EXPECT_EQ(f.Logic.RecentFiles()[1], paths[9]);
    EXPECT_EQ(f.Logic.RecentFiles().size(), 7u);
    EXPECT_EQ(f.Store.GetSetting("MRUList_1", ""), paths[5]);
    EXPECT_EQ(f.Store.GetSetting("MRUList_8", "x"), "");
}

} // namespace tarvok

namespace tarvok {

TEST(ProjectCommands, ExportWritesEveryPlayingTrackOverTheWholeProject)
{
    Fixture f;
    f.Ui.QueueAnswer(f.Home.Dir().File("stems"));
    EXPECT_FALSE(ExportCommand(f.Logic));
    EXPECT_EQ(f.Ui.BoxTexts().back(), "データがありません");

    f.EditAddBlock(1000, 0, 0);
    f.EditAddBlock(500, 2, 4000);
    f.Logic.Proj().Tracks[1].PlaySelected = 0;
    std::string folder = f.Home.Dir().File("stems/");
    f.Ui.QueueAnswer(folder);
    ASSERT_TRUE(ExportCommand(f.Logic));
    for (int n : { 1, 3, 4, 5, 6, 7, 8 }) {
        SCOPED_TRACE(n);
        WaveInfo info = ReadWaveInfo(folder + "track0" + std::to_string(n) + ".wav");
        EXPECT_EQ(info.Valid, 1);
        EXPECT_EQ(info.Frames, 4500);
    }
    EXPECT_FALSE(FileExists(folder + "track02.wav"));
    // Track 1's stem holds its block at frames 0..999 and silence after it.
    std::string stem = test::ReadFileBytes(folder + "track01.wav");
    std::string source = test::ReadFileBytes(f.Logic.Proj().WaveFiles[0].FileName);
    EXPECT_EQ(stem.substr(44, 4000), source.substr(44, 4000));
    EXPECT_EQ(stem.substr(44 + 4000, 8), std::string(8, '\0'));
    // Nothing but the stems is left in the folder.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 7u);
}

} // namespace tarvok

namespace tarvok {

namespace {

/// Every file under pFolder with its bytes, to show that nothing there changed.
std::map<std::string, std::string> Snapshot(const std::string& pFolder)
{
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(pFolder, ec))
        if (entry.is_regular_file())
            files[entry.path().string()] = test::ReadFileBytes(entry.path().string());
    return files;
}

} // namespace

TEST(SaveAll, RefusesTheDataFolderInEverySpellingAndEverythingAroundIt)
{
    Fixture f;
    f.EditAddBlock(1000, 0, 0);
    f.Ui.QueueAnswer(f.Data + "keep.tvp");
    ASSERT_TRUE(f.Logic.SaveProjectCommand());
    std::filesystem::create_directories(f.Data + "inner");
    std::filesystem::create_directory_symlink(f.Data, f.Home.Dir().File("link-to-data"));
    const std::string data = f.Data.substr(0, f.Data.size() - 1);
    const std::map<std::string, std::string> before = Snapshot(f.Home.Dir().File(""));
    const std::string kTargets[] = { f.Data, data, data + "/.", data + "/./",
        data + "/../" + std::filesystem::path(data).filename().string(), data + "/..",
        f.Home.Dir().File("link-to-data"), data + "/inner", data + "/inner/new",
        f.Home.Dir().File(""), "/", f.Data + "keep.tvp" };
    for (const std::string& target : kTargets) {
        SCOPED_TRACE(target);
        f.Ui.QueueAnswer(target);
        f.Ui.QueueAnswer("yes"); // were it asked, the user would agree
        const size_t boxes = f.Ui.BoxTexts().size();
        EXPECT_FALSE(f.Logic.SaveAllCommand());
        f.Ui.ClearAnswers();
        EXPECT_EQ(f.Ui.BoxTexts().size(), boxes + 1); // the refusal says why
    }
    // Undo snapshots of the edits come and go; every other file is as it was.
    std::map<std::string, std::string> after = Snapshot(f.Home.Dir().File(""));
    std::erase_if(after, [](const auto& pEntry) {
        return pEntry.first.ends_with(".tvp") && pEntry.first.find("/~u") != std::string::npos;
    });
    std::map<std::string, std::string> expected = before;
    std::erase_if(expected, [](const auto& pEntry) {
        return pEntry.first.ends_with(".tvp") && pEntry.first.find("/~u") != std::string::npos;
    });
    EXPECT_EQ(after, expected);
    EXPECT_EQ(f.Logic.Proj().BlockCount(), 1);
}

TEST(SaveAll, ReplacingKeepsForeignFilesAndReopensFromTheNewCopy)
{
    Fixture f;
    f.EditAddBlock(1000, 0, 0);
    const std::string out = f.Home.Dir().File("out/song");
    f.Ui.QueueAnswer(out);
    ASSERT_TRUE(f.Logic.SaveAllCommand());
    const std::string folder = out + "/";
    ASSERT_TRUE(test::WriteFileBytes(folder + "notes.txt", "mine"));
    ASSERT_TRUE(f.Logic.CloseProject());
    ASSERT_TRUE(f.Logic.OpenProject(folder + "song.tvp", false));
    ASSERT_EQ(f.Logic.Proj().WaveFiles[0].FileName, folder + "00000001.wav");

    // The open project's files are in the folder being replaced: a refusal changes nothing.
    f.Ui.QueueAnswer(out);
    f.Ui.QueueAnswer("no");
    EXPECT_FALSE(f.Logic.SaveAllCommand());
    EXPECT_TRUE(FileExists(folder + "00000001.wav"));

    f.Ui.QueueAnswer(out);
    f.Ui.QueueAnswer("yes");
    ASSERT_TRUE(f.Logic.SaveAllCommand());
    EXPECT_EQ(test::ReadFileBytes(folder + "notes.txt"), "mine");
    EXPECT_FALSE(FolderExists(out + "01"));
    EXPECT_NE(f.Ui.BoxTexts().back().find("notes.txt"), std::string::npos);
    // The project is open from the new copy and names only files that exist.
    const Project& p = f.Logic.Proj();
    ASSERT_EQ(p.BlockCount(), 1);
    for (const WaveFile& w : p.WaveFiles) {
        EXPECT_TRUE(FileExists(w.FileName)) << w.FileName;
        EXPECT_TRUE(FileExists(w.PeakFile)) << w.PeakFile;
    }
    EXPECT_EQ(ReadWaveInfo(folder + "00000001.wav").Frames, 1000);
}

TEST(SaveAll, OntoAnExistingProjectFileTakesThatFilesName)
{
    Fixture f;
    f.EditAddBlock(1000, 0, 0);
    const std::string out = f.Home.Dir().File("out/folder");
    f.Ui.QueueAnswer(out);
    ASSERT_TRUE(f.Logic.SaveAllCommand());
    ASSERT_TRUE(std::filesystem::copy_file(out + "/folder.tvp", out + "/take2.tvp"));
    f.Ui.QueueAnswer(out + "/take2.tvp");
    f.Ui.QueueAnswer("yes");
    ASSERT_TRUE(f.Logic.SaveAllCommand());
    EXPECT_EQ(f.Logic.LastSaveAllProject(), out + "/take2.tvp");
    EXPECT_TRUE(FileExists(out + "/take2.tvp"));
    // Another project file there is not the SAVEALL's own: it stays, and is reported.
    EXPECT_TRUE(FileExists(out + "/folder.tvp"));
    EXPECT_NE(f.Ui.BoxTexts().back().find("folder.tvp"), std::string::npos);
}

} // namespace tarvok
