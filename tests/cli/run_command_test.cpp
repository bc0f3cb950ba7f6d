#include "cli/run_command.h"

#include "app/shell/main_logic.h"
#include "base/file_name.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "core/wave_info.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace tarvok {

namespace {

struct ScriptRun {
    int Code;
    std::string Out;
    std::string Err;
};

/// A project "p.tvp" with one block on track 1, in a data folder of its own.
struct Fixture {
    test::ScopedHome Home;
    std::string Data;
    std::string ProjectPath;

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
        Project& p = logic.Proj();
        EXPECT_EQ(
            test::AddBlockWithFile(logic,
                test::Stereo16(
                    5000, [](int64_t f) { return f % 100; }, [](int64_t f) { return f % 70; }),
                1, 1000),
            0);
        p.UpdateTitleLength(false);
        ProjectFileEnv env = logic.FileEnv();
        EXPECT_TRUE(WriteProject(p, ProjectPath, false, env));
    }

    ScriptRun Run(const std::string& pScript)
    {
        std::string script = Home.Dir().File("script.txt");
        test::WriteFileBytes(script, pScript);
        return RunArgs({ "p", script });
    }

    ScriptRun RunArgs(const std::vector<std::string>& pArgs)
    {
        std::ostringstream out, err;
        CliContext ctx(out, err);
        ctx.DataFolder = Data;
        ctx.Ui.SetMessageSink([&](std::string_view text) { out << text << "\n"; });
        int code = RunScriptCommand(ctx, pArgs);
        return { code, out.str(), err.str() };
    }

    /// The saved project, read back as the program would.
    Project Reread()
    {
        MemorySettingsBackend backend;
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(Data);
        EXPECT_TRUE(logic.Startup(""));
        EXPECT_TRUE(logic.OpenProject(ProjectPath, true));
        return logic.Proj();
    }
};

} // namespace

TEST(RunScript, SelectsSetsMarksAndUndoes)
{
    Fixture f;
    // The drag of MOVE_BLOCK takes its own snapshot: UNDO returns to the state just before
    // it, marks included, with the block back where it was.
    ScriptRun run = f.Run("# select and mark\r\n"
                          "SELECT_TRACKS 0,2\r\n"
                          "CURRENT_TRACK 2\r\n"
                          "\r\n"
                          "MARKIN 1\r\n"
                          "MARKOUT 2.5\r\n"
                          "OWPRJ\r\n"
                          "SELECT_TRACKS 1\r\n"
                          "MARKIN 0:00:02.000\r\n"
                          "HEAD 3\r\n"
                          "FADE_CHANNELS L\r\n"
                          "SELECT_BLOCK 0\r\n"
                          "MOVE_BLOCK 0 100\r\n"
                          "UNDO\r\n");
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_NE(run.Out.find("処理終了"), std::string::npos);
    Project p = f.Reread();
    ASSERT_EQ(p.BlockCount(), 1);
    EXPECT_EQ(p.Blocks[0].StartAdr, 1000);
    EXPECT_EQ(p.MarkIn, 88200);
    EXPECT_EQ(p.MarkOut, 110250);
    EXPECT_EQ(p.CurrentTrack, 2);
    // Undo restores no track selection: only the current track is selected afterwards.
    EXPECT_EQ(p.Tracks[0].Selected, 0);
    EXPECT_EQ(p.Tracks[1].Selected, 0);
    EXPECT_EQ(p.Tracks[2].Selected, 1);
}

TEST(RunScript, SelectTracksSelectsExactlyThose)
{
    Fixture f;
    // Reading a project always selects its current track, so make that one of them.
    ScriptRun run = f.Run("CURRENT_TRACK 3\nSELECT_TRACKS 3 1,5\n");
    EXPECT_EQ(run.Code, 0) << run.Err;
    Project p = f.Reread();
    for (int32_t t = 0; t < p.TrackCount(); ++t)
        EXPECT_EQ(p.Tracks[t].Selected, (t == 1 || t == 3 || t == 5) ? 1 : 0) << t;
}

TEST(RunScript, ClosingIsRefusedAndTheProjectIsKept)
{
    Fixture f;
    // A script cannot save an empty project over the one it runs on: the whole run is
    // refused before anything ran, even with --keep-going.
    const std::string before = ReadAllBytes(f.ProjectPath).value_or("");
    std::string script = f.Home.Dir().File("s.txt");
    test::WriteFileBytes(script, "CLOSEPRJ\nUNDO\n");
    ScriptRun run = f.RunArgs({ "p", script, "--keep-going" });
    EXPECT_EQ(run.Code, 1) << run.Err;
    EXPECT_NE(run.Err.find("line 1: CLOSEPRJ cannot run in a script"), std::string::npos)
        << run.Err;
    EXPECT_EQ(f.Reread().BlockCount(), 1);
    EXPECT_EQ(ReadAllBytes(f.ProjectPath).value_or(""), before);
}

TEST(RunScript, AnswersGoToTheirCommandOnly)
{
    Fixture f;
    // The last CLIP2PRJ has no answer of its own: its dialog is cancelled, a failed step.
    std::string script = f.Home.Dir().File("s.txt");
    test::WriteFileBytes(
        script, "CLIP2PRJ \"" + f.Data + "saved copy\"\nUNDO " + f.Data + "leftover\nCLIP2PRJ\n");
    ScriptRun run = f.RunArgs({ "p", script, "--keep-going" });
    EXPECT_EQ(run.Code, 1) << run.Err;
    EXPECT_NE(run.Err.find("line 3: CLIP2PRJ"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find("line 2:"), std::string::npos) << run.Err;
    EXPECT_TRUE(FileExists(f.Data + "saved copy.tvp"));
    EXPECT_FALSE(FileExists(f.Data + "leftover.tvp"));
}

TEST(RunScript, AnUnknownLineStopsTheRunAndLeavesTheFile)
{
    Fixture f;
    const std::string original = ReadAllBytes(f.ProjectPath).value_or("");
    struct Case {
        const char* Script;
        const char* Error;
    };
    const Case kCases[] = {
        { "MARKIN 1\nFOO\n", "line 2: unknown command: FOO" },
        { "N/A\n", "line 1: unknown command: N/A" },
        { "undo\n", "line 1: unknown command: undo" },
        { "MARKIN abc\n", "line 1: MARKIN: not a time: abc" },
        { "MARKIN\n", "line 1: MARKIN: wrong number of arguments" },
        { "SELECT_TRACKS 0,x\n", "line 1: SELECT_TRACKS: not a valid number: x" },
        { "SELECT_TRACKS -1\n", "line 1: SELECT_TRACKS: not a valid number: -1" },
        { "FADE_CHANNELS M\n", "line 1: FADE_CHANNELS: expected L, R or LR: M" },
        { "MOVE_BLOCK 0\n", "line 1: MOVE_BLOCK: wrong number of arguments" },
        { "SAVEPRJ \"open\n", "line 1: unbalanced double quote" },
        { "# fine\nMARKIN 1\nOWPRJ\nCURRENT_TRACK 99\n",
            "line 4: no such track (tracks are 0..7): 99" },
        { "MARKIN 2\nOWPRJ\nSELECT_BLOCK 3\n", "line 3: no such block (the project has 1): 3" },
        { "HEAD 99:00:00\n", "line 1: the time is beyond the longest project" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Script);
        ScriptRun run = f.Run(c.Script);
        EXPECT_EQ(run.Code, 1);
        EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
        EXPECT_EQ(ReadAllBytes(f.ProjectPath).value_or(""), original);
    }
}

TEST(RunScript, ReadsTheScriptFromStandardInput)
{
    Fixture f;
    std::istringstream in("MARKIN 0.5\n");
    std::streambuf* saved = std::cin.rdbuf(in.rdbuf());
    ScriptRun run = f.RunArgs({ "p", "-" });
    std::cin.rdbuf(saved);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(f.Reread().MarkIn, 22050);
}

TEST(RunScript, UsageAndMissingFiles)
{
    Fixture f;
    EXPECT_EQ(f.RunArgs({ "p" }).Code, 2);
    EXPECT_EQ(f.RunArgs({ "p", "a", "b" }).Code, 2);
    ScriptRun noScript = f.RunArgs({ "p", f.Home.Dir().File("none.txt") });
    EXPECT_EQ(noScript.Code, 1);
    EXPECT_NE(noScript.Err.find("cannot read the script"), std::string::npos);
    test::WriteFileBytes(f.Home.Dir().File("s.txt"), "UNDO\n");
    ScriptRun noProject = f.RunArgs({ "missing", f.Home.Dir().File("s.txt") });
    EXPECT_EQ(noProject.Code, 1);
    EXPECT_NE(noProject.Err.find("no such project"), std::string::npos);
    EXPECT_FALSE(FileExists(f.Data + "missing.tvp"));
}

} // namespace tarvok

namespace tarvok {

TEST(RunScript, AFailedStepStopsTheRunSavesNothingAndSaysWhich)
{
    Fixture f;
    const std::string before = test::ReadFileBytes(f.ProjectPath);
    // REDO has nothing to redo; OWPRJ had already written the moved block.
    ScriptRun run = f.Run("MOVE_BLOCK 0 100\nOWPRJ\nREDO\nMOVE_BLOCK 0 50\n");
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find("line 3: REDO: "), std::string::npos) << run.Err;
    EXPECT_EQ(test::ReadFileBytes(f.ProjectPath), before);
}

TEST(RunScript, KeepGoingReportsEachFailedStepAndSavesTheRest)
{
    Fixture f;
    ScriptRun run = f.RunArgs({ "p", "-", "--keep-going" });
    // Standard input is empty here: an empty script succeeds.
    EXPECT_EQ(run.Code, 0) << run.Err;
    std::string script = f.Home.Dir().File("s.txt");
    test::WriteFileBytes(script, "UNDO\nMOVE_BLOCK 0 5\nUNDO\nUNDO\n");
    run = f.RunArgs({ "p", script, "--keep-going" });
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find("line 1: UNDO"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("line 4: UNDO"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find("line 3:"), std::string::npos) << run.Err;
    EXPECT_EQ(f.Reread().Blocks[0].StartAdr, 1000);
}

TEST(RunScript, AProjectWhoseOpenDroppedBlocksIsNotSavedWithoutForce)
{
    Fixture f;
    Project p = f.Reread();
    const std::string wave = p.WaveFiles[0].FileName;
    const std::string kept = wave + ".away";
    std::filesystem::rename(wave, kept);
    const std::string before = test::ReadFileBytes(f.ProjectPath);
    ScriptRun run = f.Run("HEAD 1\n");
    EXPECT_EQ(run.Code, 3);
    EXPECT_NE(run.Err.find("--force"), std::string::npos) << run.Err;
    EXPECT_EQ(test::ReadFileBytes(f.ProjectPath), before);
    // The file comes back: nothing was lost.
    std::filesystem::rename(kept, wave);
    EXPECT_EQ(f.Reread().BlockCount(), 1);
    std::filesystem::rename(wave, kept);
    std::string script = f.Home.Dir().File("s.txt");
    test::WriteFileBytes(script, "HEAD 1\n");
    run = f.RunArgs({ "p", script, "--force" });
    EXPECT_EQ(run.Code, 0) << run.Err;
    std::filesystem::rename(kept, wave);
    EXPECT_EQ(f.Reread().BlockCount(), 0);
}

} // namespace tarvok

namespace tarvok {

TEST(RunScript, TheSampleEditorEditsTheSelectionAndPlacesItBack)
{
    Fixture f;
    // Frames 2205..4409 of track 1 (block frames 1205..3409) go into the editor; 100 frames
    // are cut, so the length question comes, and Yes moves the block's tail left.
    ScriptRun run = f.Run("CURRENT_TRACK 1\n"
                          "MARKIN 0.05\n"
                          "MARKOUT 0.1\n"
                          "SAMPLEEDIT\n"
                          "SE_SELECT 0 9\n"
                          "SE_SILENCE L\n"
                          "SE_PENCIL R 20 1000 23 4000\n"
                          "SE_SELECT 100 199\n"
                          "SE_COPY\n"
                          "SE_CUT\n"
                          "SE_UNDO\n"
                          "SE_REDO\n"
                          "SE_OK yes\n");
    EXPECT_EQ(run.Code, 0) << run.Err;
    Project p = f.Reread();
    ASSERT_EQ(p.BlockCount(), 3);
    std::vector<std::pair<int32_t, int32_t>> spans;
    const Block* edited = nullptr;
    for (const Block& b : p.Blocks) {
        spans.emplace_back(b.StartAdr, b.EndAdr);
        if (b.StartAdr == 2205)
            edited = &b;
    }
    std::sort(spans.begin(), spans.end());
    const std::vector<std::pair<int32_t, int32_t>> expected
        = { { 1000, 2204 }, { 2205, 4309 }, { 4310, 5899 } };
    EXPECT_EQ(spans, expected);
    EXPECT_EQ(p.MarkOut, 2205 + 2105);
    ASSERT_NE(edited, nullptr);
    const std::string file = p.WaveFiles[edited->WaveNo].FileName;
    const WaveInfo info = ReadWaveInfo(file);
    ASSERT_EQ(info.Frames, 2105);
    std::vector<int16_t> data(2 * 2105);
    ASSERT_TRUE(ReadBytes(data.data(), 4 * 2105, 0, file, info.DataOffset, 0));
    EXPECT_EQ(data[2 * 5], 0); // silenced left
    EXPECT_EQ(data[2 * 5 + 1], (1205 + 5) % 70);
    EXPECT_EQ(data[2 * 10], (1205 + 10) % 100);
    const std::vector<int16_t> stroke = { data[41], data[43], data[45], data[47] };
    EXPECT_EQ(stroke, (std::vector<int16_t> { 1000, 1750, 2500, 3250 }));
    EXPECT_EQ(data[2 * 100], (1205 + 200) % 100); // after the cut
    // No file of the editor is left in the data folder.
    for (const auto& e : std::filesystem::directory_iterator(f.Data))
        EXPECT_FALSE(IsSampleEditName(e.path().filename().string())) << e.path();
}

TEST(RunScript, SampleEditorLinesNeedAnOpenEditorAndAClose)
{
    struct Case {
        const char* Script;
        const char* Error;
    };
    const Case cases[] = {
        { "SE_CUT\n", "line 1: the sample editor is not open" },
        { "MARKIN 0.05\nMARKOUT 0.1\nCURRENT_TRACK 1\nSAMPLEEDIT\nUNDO\n",
            "line 5: the sample editor is open" },
        { "MARKIN 0.05\nMARKOUT 0.1\nCURRENT_TRACK 1\nSAMPLEEDIT\nSE_SELALL\n",
            "line 5: the sample editor was left open" },
        { "MARKIN 0.05\nMARKOUT 0.1\nCURRENT_TRACK 1\nSAMPLEEDIT\nSE_UNDO\n",
            "line 5: SE_UNDO: the command was refused" },
        { "MARKIN 0.05\nMARKOUT 0.1\nCURRENT_TRACK 1\nSAMPLEEDIT\nSE_SELECT 0 5000\n",
            "line 5: SE_SELECT: the edit file has frames 0..2204" },
        { "MARKIN 0.05\nMARKOUT 0.1\nCURRENT_TRACK 1\nSAMPLEEDIT\nSE_PENCIL L 100 0 9000 5\n",
            "line 5: SE_PENCIL: the edit file has frames 0..2204" },
        { "SE_PENCIL X 1 2 3 4\n", "line 1: SE_PENCIL: expected L or R" },
        { "SE_SILENCE 3\n", "line 1: SE_SILENCE: expected L, R or LR" },
        { "SE_FOO\n", "line 1: unknown command: SE_FOO" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Script);
        Fixture f;
        const std::string before = test::ReadFileBytes(f.ProjectPath);
        ScriptRun run = f.Run(c.Script);
        EXPECT_EQ(run.Code, 1);
        EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
        EXPECT_EQ(test::ReadFileBytes(f.ProjectPath), before);
        for (const auto& e : std::filesystem::directory_iterator(f.Data))
            EXPECT_FALSE(IsSampleEditName(e.path().filename().string())) << e.path();
    }
    // Cancel leaves the project as it was.
    Fixture f;
    ScriptRun run = f.Run("MARKIN 0.05\nMARKOUT 0.1\nCURRENT_TRACK 1\nSAMPLEEDIT\nSE_SELALL\n"
                          "SE_DELETE\nSE_CANCEL\n");
    EXPECT_EQ(run.Code, 0) << run.Err;
    Project p = f.Reread();
    ASSERT_EQ(p.BlockCount(), 1);
    EXPECT_EQ(p.Blocks[0].StartAdr, 1000);
    EXPECT_EQ(p.Blocks[0].EndAdr, 5999);
}

TEST(RunScript, AProjectOutsideTheDataFolderNamedRelativelyKeepsItsFilesThroughACleanUp)
{
    // Edit -> save -> clean-up -> open, for a project that lives outside the data folder and
    // is named by a path relative to the current folder.
    Fixture f;
    std::filesystem::create_directories(f.Home.Dir().File("out"));
    const std::string project = f.Home.Dir().File("out/x.tvp");
    ASSERT_TRUE(test::WriteFileBytes(project, test::ReadFileBytes(f.ProjectPath)));
    const std::string source = f.Home.Dir().File("in.wav");
    ASSERT_TRUE(test::WriteWav(source,
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                2000, [](int64_t i) { return i % 50; }, [](int64_t) { return 3; }))));
    const std::string script = f.Home.Dir().File("import.txt");
    ASSERT_TRUE(test::WriteFileBytes(script, "CURRENT_TRACK 2\nOPENSOUND \"" + source + "\"\n"));

    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(f.Home.Dir().Path());
    ScriptRun run = f.RunArgs({ "out/x.tvp", script });
    std::filesystem::current_path(before);
    ASSERT_EQ(run.Code, 0) << run.Err;

    HeadlessUi ui;
    ASSERT_GE(CleanDataFolder(f.Data, 0, ui), 0);

    f.ProjectPath = project;
    Project p = f.Reread();
    ASSERT_EQ(p.BlockCount(), 2);
    for (const WaveFile& w : p.WaveFiles) {
        SCOPED_TRACE(w.FileName);
        EXPECT_EQ(FolderOf(w.FileName), f.Data);
        EXPECT_TRUE(FileExists(w.FileName));
    }
    EXPECT_EQ(p.Blocks[1].TrackNo, 2);
    EXPECT_EQ(p.Blocks[1].SrcEnd, 2000);
}

// Edit -> save outside the data folder -> `mv` -> clean-up -> open: the moved project still
// finds every working file, and once saved at its new place the old entry goes quietly.
TEST(RunScript, AnOutsideProjectMovedWithMvKeepsItsFilesThroughACleanUp)
{
    Fixture f;
    std::filesystem::create_directories(f.Home.Dir().File("out"));
    std::filesystem::create_directories(f.Home.Dir().File("moved"));
    const std::string project = f.Home.Dir().File("out/x.tvp");
    ASSERT_TRUE(test::WriteFileBytes(project, test::ReadFileBytes(f.ProjectPath)));
    const std::string source = f.Home.Dir().File("in.wav");
    ASSERT_TRUE(test::WriteWav(source,
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                2000, [](int64_t i) { return i % 50; }, [](int64_t) { return 3; }))));
    const std::string script = f.Home.Dir().File("import.txt");
    ASSERT_TRUE(test::WriteFileBytes(script, "CURRENT_TRACK 2\nOPENSOUND \"" + source + "\"\n"));
    ScriptRun run = f.RunArgs({ project, script });
    ASSERT_EQ(run.Code, 0) << run.Err;
    // The data folder's own project no longer names the imported file: only x.tvp does.
    std::filesystem::remove(f.ProjectPath);

    const std::string moved = f.Home.Dir().File("moved/y.tvp");
    std::filesystem::rename(project, moved);
    HeadlessUi ui;
    ASSERT_GE(CleanDataFolder(f.Data, 0, ui), 0);
    EXPECT_EQ(ui.BoxTexts(),
        std::vector<std::string> { std::string(kOutsideMissingText) + "\n" + project });

    f.ProjectPath = moved;
    Project p = f.Reread();
    ASSERT_EQ(p.BlockCount(), 2);
    for (const WaveFile& w : p.WaveFiles) {
        SCOPED_TRACE(w.FileName);
        EXPECT_TRUE(FileExists(w.FileName));
        EXPECT_TRUE(FileExists(w.PeakFile));
    }

    // An empty script saves the project at its new place.
    const std::string nothing = f.Home.Dir().File("nothing.txt");
    ASSERT_TRUE(test::WriteFileBytes(nothing, "CURRENT_TRACK 1\n"));
    run = f.RunArgs({ moved, nothing });
    ASSERT_EQ(run.Code, 0) << run.Err;
    ui.ClearEvents();
    ASSERT_GE(CleanDataFolder(f.Data, 0, ui), 0);
    EXPECT_TRUE(ui.BoxTexts().empty());
    EXPECT_EQ(OutsideProjects(f.Data), std::vector<std::string> { moved });
    EXPECT_EQ(f.Reread().BlockCount(), 2);
}

TEST(RunScript, ARefusedLineSaysWhy)
{
    std::string manyTracks;
    for (int i = 0; i < kMaxTracks + 2; ++i)
        manyTracks += "TRACK_ADD\n";
    struct Case {
        std::string Script;
        const char* Line; ///< the line that is refused
        const char* Reason;
    };
    const std::vector<Case> cases = {
        { "UNDO\n", "line 1: UNDO: ", "元に戻せる操作がありません" },
        { "REDO\n", "line 1: REDO: ", "やり直せる操作がありません" },
        { manyTracks, "TRACK_ADD: ", "これ以上トラックを追加できません" },
        { "TRIM -40\n", "line 1: TRIM: ", "選択されていません" },
        { "PLAY\n", "line 1: PLAY: ", "サウンドデバイスがないため再生・録音はできません" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        Fixture f;
        const ScriptRun run = f.Run(c.Script);
        EXPECT_EQ(run.Code, 1);
        EXPECT_NE(run.Err.find(std::string(c.Line) + c.Reason), std::string::npos) << run.Err;
    }
}

} // namespace tarvok
