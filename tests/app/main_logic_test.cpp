#include "app/shell/main_logic.h"

#include "core/headless_ui.h"
#include "core/paths.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace tarvok {

namespace {

/// A started main window over an in-memory store and a temporary data folder.
struct Fixture : test::StartedLogic<> {
    Fixture()
        : StartedLogic(false)
    {
    }
};

/// Counts undo snapshots so the StartProc rule can be observed.
class CountingLogic : public MainLogic {
public:
    using MainLogic::MainLogic;
    int Snapshots = 0;
    Status SaveUndoSnapshot() override
    {
        ++Snapshots;
        ++Proj().UndoCounter;
        return {};
    }
};

} // namespace

TEST(MainLogic, TrackNumIsClampedToOneTo64Tracks)
{
    const std::pair<const char*, int32_t> kCases[] = {
        { "100", 64 },
        { "-5", 1 },
        { "0", 1 },
        { "63", 64 },
        { "7", 8 },
        { "abc", 8 },
    };
    for (auto [setting, tracks] : kCases) {
        SCOPED_TRACE(setting);
        Fixture f;
        f.Backend.WriteValue(kMainSection, "TrackNum", setting);
        ASSERT_TRUE(f.Start());
        EXPECT_EQ(f.Logic.Proj().TrackCount(), tracks);
        EXPECT_EQ(f.Logic.Proj().ViewTrackCount, tracks - 1);
        EXPECT_EQ(f.Logic.Proj().CheckInvariants(), "");
    }
}

TEST(MainLogic, StartupReadsNewProjectSettingsAndTrackSettings)
{
    Fixture f;
    f.Store.SaveSetting("nFreq", int32_t { 48000 });
    f.Store.SaveSetting("SampleStep", int32_t { 0 });
    f.Store.SaveSetting("FadeTableType", int32_t { 0 });
    f.Store.SaveSetting("TrackName_02", "Bass");
    f.Store.SaveSetting("TrackRecSelected_03", int32_t { 1 });
    f.Store.SaveSetting("TrackPlaySelected_04", int32_t { 0 });
    ASSERT_TRUE(f.Start());
    const Project& p = f.Logic.Proj();
    EXPECT_EQ(p.SampleRate, 48000);
    EXPECT_EQ(p.SampleStep, 64); // a stored 0 reads as 64
    EXPECT_EQ(p.UnityLevel, 128);
    EXPECT_EQ(p.MasterLevelL, 128);
    EXPECT_EQ(p.Tracks[0].LevelL, 128);
    EXPECT_EQ(p.Tracks[1].Name, "Bass");
    EXPECT_EQ(p.Tracks[0].RecSelected, 1); // the default -1 arms track 1 only
    EXPECT_EQ(p.Tracks[1].RecSelected, 0);
    EXPECT_EQ(p.Tracks[2].RecSelected, 1);
    EXPECT_EQ(p.Tracks[3].PlaySelected, 0);
    EXPECT_EQ(p.Tracks[0].Selected, 1);
    EXPECT_EQ(p.Tracks[1].Selected, 0);
    EXPECT_TRUE(p.Saved);
    EXPECT_EQ(p.DataFolder, f.Home.Dir().File("data-folder/"));
}

TEST(MainLogic, DataFolderFallsBackToTheDefaultWhenTheSettingIsMissingOrEmpty)
{
    for (const char* setting : { "***", "/no/such/folder" }) {
        SCOPED_TRACE(setting);
        Fixture f;
        f.Backend.WriteValue(kMainSection, "DataPath", setting);
        ASSERT_TRUE(f.Logic.Startup(""));
        EXPECT_EQ(f.Logic.Proj().DataFolder, f.Home.DataHome() + "/lumora/tarvok2/data/");
        EXPECT_TRUE(FolderExists(f.Logic.Proj().DataFolder));
    }
}

TEST(MainLogic, ClosingTheProjectEmptiesTrackNamesEvenWhenStored)
{
    Fixture f;
    f.Store.SaveSetting("TrackName_01", "Lead");
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(f.Logic.Proj().Tracks[0].Name, "Lead");
    f.Logic.Proj().MarkIn = 5;
    f.Logic.Proj().Head = 9;
    ASSERT_TRUE(f.Logic.CloseProject());
    EXPECT_EQ(f.Logic.Proj().Tracks[0].Name, "");
    EXPECT_EQ(f.Logic.Proj().MarkIn, 0);
    EXPECT_EQ(f.Logic.Proj().Head, 0);
    EXPECT_TRUE(f.Logic.Proj().Saved);
    EXPECT_EQ(f.Ui.LastStatus(), "処理終了");
    EXPECT_FALSE(f.Logic.Busy);
}

TEST(MainLogic, EditsAreRefusedSilentlyWhileTheTransportOrAnotherJobRuns)
{
    bool MainLogic::*kFlags[] = { &MainLogic::Playing, &MainLogic::Recording, &MainLogic::Busy,
        &MainLogic::DrawWindowOpen };
    for (auto flag : kFlags) {
        Fixture f;
        ASSERT_TRUE(f.Start());
        f.Ui.ClearEvents();
        f.Logic.*flag = true;
        EXPECT_FALSE(f.Logic.StartProc(1, 0));
        EXPECT_FALSE(f.Logic.CloseProject());
        EXPECT_TRUE(f.Ui.Events().empty());
        EXPECT_TRUE(f.Logic.Proj().Saved);
    }
}

TEST(MainLogic, InputLevelsAreSavedAtExitAndReadAtTheNextStart)
{
    test::ScopedHome home;
    MemorySettingsBackend backend;
    {
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(home.Dir().File("d"));
        ASSERT_TRUE(logic.Startup(""));
        // What the recording monitor's sliders set.
        logic.Options().LevelLdb[2] = 4.5f;
        logic.Options().LevelRdb[7] = -12.5f;
        logic.Shutdown();
    }
    Settings store(backend);
    HeadlessUi ui;
    MainLogic logic(store, ui);
    logic.SetDataFolderOverride(home.Dir().File("d"));
    ASSERT_TRUE(logic.Startup(""));
    EXPECT_EQ(logic.Options().LevelLdb[2], 4.5f);
    EXPECT_EQ(logic.Options().LevelRdb[7], -12.5f);
    EXPECT_EQ(logic.Options().LevelLdb[0], 0.0f);
}

TEST(MainLogic, StartProcTakesNoSnapshotBetweenTwoUndoSteps)
{
    test::ScopedHome home;
    MemorySettingsBackend backend;
    Settings store(backend);
    HeadlessUi ui;
    CountingLogic logic(store, ui);
    logic.SetDataFolderOverride(home.Dir().File("d"));
    ASSERT_TRUE(logic.Startup(""));

    ASSERT_TRUE(logic.StartProc(1, 0)); // an edit: snapshot
    logic.EndProc();
    EXPECT_EQ(logic.Snapshots, 1);
    EXPECT_EQ(logic.Proj().UndoCounter, 1);
    EXPECT_FALSE(logic.Proj().Saved);

    ASSERT_TRUE(logic.StartProc(1, 1)); // first undo step: snapshot, counter back by one
    logic.EndProc();
    EXPECT_EQ(logic.Snapshots, 2);
    EXPECT_EQ(logic.Proj().UndoCounter, 1);

    ASSERT_TRUE(logic.StartProc(1, 1)); // second undo step in a row: no snapshot
    logic.EndProc();
    EXPECT_EQ(logic.Snapshots, 2);
    EXPECT_EQ(logic.Proj().LastUndoType, 1);

    ASSERT_TRUE(logic.StartProc(0, 0)); // no undo wanted
    logic.EndProc();
    EXPECT_EQ(logic.Snapshots, 2);
    EXPECT_EQ(logic.Proj().LastUndoType, 0);
}

TEST(MainLogic, CommandLineTokensAndQuotes)
{
    EXPECT_EQ(SplitCommandLine("  a  \"b c\"  d\"e f\"g "),
        (std::vector<std::string> { "a", "b c", "de fg" }));
    EXPECT_EQ(SplitCommandLine("\"\""), (std::vector<std::string> { "" }));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(MainLogic, CommandLineWindowKeysWithAndWithoutSlash)
{
    Fixture f;
    ASSERT_TRUE(f.Start("X=10 /Y=20 w=300 /h=200"));
    const WindowRequest& w = f.Logic.RequestedWindow();
    EXPECT_EQ(w.Left, 10);
    EXPECT_EQ(w.Top, 20);
    EXPECT_EQ(w.Width, 300);
    EXPECT_EQ(w.Height, 200);
}

TEST(MainLogic, ANonNumericValueEndsTheCommandLineWithoutAMessage)
{
    Fixture f;
    ASSERT_TRUE(f.Start("X=10 Y=abc W=300 /tmp/song.tvp"));
    EXPECT_EQ(f.Logic.RequestedWindow().Left, 10);
    EXPECT_FALSE(f.Logic.RequestedWindow().Width.has_value());
    EXPECT_TRUE(f.Ui.Events().empty()); // the file was not opened either
}

TEST(MainLogic, TrackCountKeyRebuildsTheTracksOnlyWhileSavedAndDifferent)
{
    Fixture f;
    ASSERT_TRUE(f.Start("T=16"));
    EXPECT_EQ(f.Logic.Proj().TrackCount(), 16);
    EXPECT_EQ(f.Logic.Proj().ViewTrackCount, 15);
    EXPECT_EQ(f.Logic.Proj().CheckInvariants(), "");

    f.Logic.HandleCommandLine("T=200");
    EXPECT_EQ(f.Logic.Proj().TrackCount(), 64);
    f.Logic.HandleCommandLine("/T=0");
    EXPECT_EQ(f.Logic.Proj().TrackCount(), 1);

    f.Logic.Proj().Saved = false;
    f.Logic.HandleCommandLine("T=4");
    EXPECT_EQ(f.Logic.Proj().TrackCount(), 1);
}

TEST(MainLogic, TheFirstFullPathIsOpened)
{
    Fixture f;
    ASSERT_TRUE(f.Start("X=1 relative.wav \"/music/my song.tvp\" /other.wav"));
    // The project does not exist: opening it is tried (and fails) once, the sound file not.
    EXPECT_EQ(f.Ui.BoxTexts(),
        std::vector<std::string> {
            "プロジェクト読込に失敗しました\n/music/my song.tvp\nファイルが存在しません" });
    ASSERT_EQ(f.Logic.RecentFiles().size(), 1u);
    EXPECT_EQ(f.Logic.RecentFiles()[0], "/music/my song.tvp");
}

TEST(MainLogic, ExitAsksAndRefusesWhileBusyOrMinimised)
{
    Fixture f;
    ASSERT_TRUE(f.Start());
    EXPECT_FALSE(f.Logic.ConfirmExit(true));
    f.Logic.Busy = true;
    EXPECT_FALSE(f.Logic.ConfirmExit(false));
    f.Logic.Busy = false;

    f.Ui.QueueAnswer("no");
    EXPECT_FALSE(f.Logic.ConfirmExit(false));
    EXPECT_EQ(f.Ui.BoxTexts().back(), "終了しますか？");
    f.Ui.QueueAnswer("yes");
    EXPECT_TRUE(f.Logic.ConfirmExit(false));

    f.Logic.Proj().Saved = false;
    f.Ui.QueueAnswer("cancel");
    EXPECT_FALSE(f.Logic.ConfirmExit(false));
    EXPECT_EQ(f.Ui.BoxTexts().back(), "プロジェクトを保存しますか？");
    f.Ui.QueueAnswer("no");
    EXPECT_TRUE(f.Logic.ConfirmExit(false));
}

TEST(MainLogic, ShutdownWritesTheExitSettings)
{
    Fixture f;
    ASSERT_TRUE(f.Start());
    f.Logic.Options().DevOutID[2] = 5;
    f.Logic.Options().VULevelTrim = -18.0f;
    f.Logic.Shutdown();
    EXPECT_EQ(f.Store.GetSetting("DevOutID_3", int32_t { 0 }), 5);
    EXPECT_EQ(f.Backend.ReadValue(kMainSection, "VULevelTrim"), "-18");
    EXPECT_EQ(f.Logic.Proj().BlockCount(), 0);
}

} // namespace tarvok

namespace tarvok {

TEST(MainLogic, CleanupIsRefusedWhileBlocksExistAndReportsTheCount)
{
    Fixture f;
    ASSERT_TRUE(f.Start());
    const std::string folder = f.Logic.Proj().DataFolder;
    test::WriteFileBytes(folder + "~t000001.wav", "x");
    test::WriteFileBytes(folder + "~t000002.wwf", "x");
    test::WriteFileBytes(folder + "~t000003.tvp", "x");
    test::WriteFileBytes(folder + "mine.wav", "x");

    Project& p = f.Logic.Proj();
    p.AddWaveFileEntry(folder + "~t000001.wav", 44, 10);
    p.AddBlock();
    p.Blocks[0].SrcEnd = 10;
    p.NormalizeBlock(0);
    EXPECT_EQ(f.Logic.CleanupCommand(), -1);
    EXPECT_EQ(f.Ui.BoxTexts().back(), "プロジェクトを開いているときは実行できません");
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_EQ(test::ReadFileBytes(folder + "~t000001.wav"), "x");

    p.DeleteBlock(0);
    EXPECT_EQ(f.Logic.CleanupCommand(), 2);
    EXPECT_EQ(f.Ui.BoxTexts().back(), "2ファイル削除しました");
    EXPECT_EQ(test::ReadFileBytes(folder + "~t000001.wav"), "");
    EXPECT_EQ(test::ReadFileBytes(folder + "mine.wav"), "x");
}

TEST(MainLogic, ShutdownTidiesTheDataFolderOnlyWithDelOnEnd)
{
    for (int delOnEnd : { 1, 0 }) {
        SCOPED_TRACE(delOnEnd);
        Fixture f;
        f.Store.SaveSetting("DelOnEnd", int32_t { delOnEnd });
        ASSERT_TRUE(f.Start());
        const std::string file = f.Logic.Proj().DataFolder + "~t000007.wav";
        test::WriteFileBytes(file, "x");
        f.Logic.Shutdown();
        EXPECT_EQ(test::ReadFileBytes(file).empty(), delOnEnd == 1);
    }
}

TEST(MainLogic, ClosingTheProjectDeletesUndoSnapshots)
{
    Fixture f;
    ASSERT_TRUE(f.Start());
    const std::string snapshot = f.Logic.Folder().UndoSnapshotName(3);
    test::WriteFileBytes(snapshot, "x");
    ASSERT_TRUE(f.Logic.CloseProject());
    EXPECT_EQ(test::ReadFileBytes(snapshot), "");
}

} // namespace tarvok

namespace tarvok {

TEST(MainLogic, AKeyWrittenWithItsSlashIsNeverTakenForTheFirstFullPath)
{
    const char* const kLines[] = {
        "/W=800 /music/a.tvp",
        "/x=1 /T=8 \"/music/a.tvp\"",
        "\"/H=3\" /music/a.tvp /other.wav",
    };
    for (const char* line : kLines) {
        SCOPED_TRACE(line);
        Fixture f;
        ASSERT_TRUE(f.Start(line));
        // The project was the file tried (and not found), as a second instance's hand-over
        // of the same line would try it.
        EXPECT_EQ(f.Ui.BoxTexts(),
            std::vector<std::string> {
                "プロジェクト読込に失敗しました\n/music/a.tvp\nファイルが存在しません" });
        ASSERT_EQ(f.Logic.RecentFiles().size(), 1u);
        EXPECT_EQ(f.Logic.RecentFiles()[0], "/music/a.tvp");
        f.Ui.ClearEvents();
        f.Logic.HandleCommandLine(line);
        EXPECT_EQ(f.Ui.BoxTexts(),
            std::vector<std::string> {
                "プロジェクト読込に失敗しました\n/music/a.tvp\nファイルが存在しません" });
    }
    EXPECT_TRUE(IsCommandLineKey("/w=800"));
    EXPECT_TRUE(IsCommandLineKey("T=4"));
    EXPECT_FALSE(IsCommandLineKey("/music/W=800.wav"));
    EXPECT_FALSE(IsCommandLineKey("/music/a.tvp"));
}

} // namespace tarvok
