// Every write, flush and rename of a save, an undo snapshot, a settings write, an import
// and a SAVEALL made to fail in turn (an error, a short write, a full disk): each user file
// is afterwards its old or its new complete version, and a failure is reported.

#include "app/mixdown/mixdown.h"
#include "app/shell/import_command.h"
#include "app/shell/main_logic.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "core/wave_info.h"
#include "platform/inifile/ini_settings_backend.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>

namespace tarvok {
namespace {

constexpr FaultKind kKinds[] = { FaultKind::Error, FaultKind::ShortWrite, FaultKind::NoSpace };
constexpr FaultPoint kPoints[] = { FaultPoint::Write, FaultPoint::Flush, FaultPoint::Rename };

/// A session with a saved project "p.tvp" of one block.
struct Session {
    test::ScopedHome Home;
    MemorySettingsBackend Backend;
    Settings Store { Backend };
    HeadlessUi Ui;
    MainLogic Logic { Store, Ui };
    std::string Data;
    std::string ProjectPath;

    Session()
    {
        Logic.SetDataFolderOverride(Home.Dir().File("data"));
        EXPECT_TRUE(Logic.Startup(""));
        Data = Logic.Proj().DataFolder;
        ProjectPath = Data + "p.tvp";
        std::string path = Logic.Folder().NewTempName(kTempWave);
        test::WriteWav(path,
            test::PcmSpec(44100, 16, 2,
                test::Stereo16(
                    3000, [](int64_t f) { return f % 300; }, [](int64_t f) { return f % 200; })));
        EXPECT_TRUE(Logic.StartProc(1, 0));
        Project& p = Logic.Proj();
        int32_t w = p.AddWaveFile(path);
        bool cancel = false;
        BuildPeaks(p, w, -1, "", 0, Logic.Folder().NewTempName(kTempPeak), Ui, cancel);
        p.AddBlock();
        p.Blocks.back().WaveNo = w;
        p.Blocks.back().StartAdr = 100;
        p.Blocks.back().SrcStart = 1;
        p.Blocks.back().SrcEnd = 3000;
        p.NormalizeBlock(0);
        Logic.EndProc();
        Ui.QueueAnswer(ProjectPath);
        EXPECT_TRUE(Logic.SaveProjectCommand());
    }

    void MoveBlock(int32_t pTo)
    {
        ASSERT_TRUE(Logic.StartProc(1, 0));
        Logic.Proj().Blocks[0].StartAdr = pTo;
        Logic.Proj().NormalizeBlock(0);
        Logic.EndProc();
    }

    /// The block start of a project file as the program reads it; -1 when it cannot.
    int32_t StartIn(const std::string& pPath)
    {
        MemorySettingsBackend backend;
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(Data);
        if (!logic.Startup("") || !logic.OpenProject(pPath, true) || logic.LostOnOpen != 0
            || logic.Proj().BlockCount() != 1)
            return -1;
        return logic.Proj().Blocks[0].StartAdr;
    }

    bool ErrorShown(size_t pBefore) const
    {
        for (size_t i = pBefore; i < Ui.Events().size(); ++i)
            if (Ui.Events()[i].Kind == HeadlessUi::EventKind::MessageBox
                && Ui.Events()[i].Icon == MsgIcon::Error)
                return true;
        return false;
    }
};

/// Runs pCase once without faults to count its write points, then once per point and kind
/// with that point failing; returns the number of failing runs.
int ForEveryWritePoint(const std::function<void(FaultPoint, int64_t, FaultKind)>& pCase,
    const std::function<void()>& pCount)
{
    ClearFaults();
    pCount();
    int64_t counts[3] = { FaultCount(FaultPoint::Write), FaultCount(FaultPoint::Flush),
        FaultCount(FaultPoint::Rename) };
    ClearFaults();
    int runs = 0;
    for (FaultPoint point : kPoints) {
        for (int64_t n = 1; n <= counts[static_cast<int>(point)]; ++n) {
            for (FaultKind kind : kKinds) {
                if (point != FaultPoint::Write && kind == FaultKind::ShortWrite)
                    continue;
                SCOPED_TRACE(std::to_string(static_cast<int>(point)) + "/" + std::to_string(n) + "/"
                    + std::to_string(static_cast<int>(kind)));
                pCase(point, n, kind);
                ClearFaults();
                ++runs;
            }
        }
    }
    EXPECT_GT(counts[0], 0);
    return runs;
}

TEST(FaultInjection, ASaveLeavesTheOldOrTheNewProjectAndReportsAFailure)
{
    int runs = ForEveryWritePoint(
        [](FaultPoint pPoint, int64_t pN, FaultKind pKind) {
            Session s;
            s.MoveBlock(500);
            const size_t before = s.Ui.Events().size();
            ArmFault(pPoint, pN, pKind);
            bool ok = s.Logic.OverwriteProjectCommand();
            bool fired = FaultFired();
            ClearFaults();
            int32_t start = s.StartIn(s.ProjectPath);
            EXPECT_TRUE(start == 100 || start == 500) << start;
            if (start != 500) {
                EXPECT_TRUE(fired);
                EXPECT_FALSE(ok);
                EXPECT_TRUE(s.ErrorShown(before));
            }
        },
        [] {
            Session s;
            s.MoveBlock(500);
            ClearFaults();
            EXPECT_TRUE(s.Logic.OverwriteProjectCommand());
        });
    std::cout << "save: " << runs << " fault runs\n";
}

TEST(FaultInjection, AnUndoSnapshotIsCompleteOrTheEditIsNotUndoneToGarbage)
{
    int runs = ForEveryWritePoint(
        [](FaultPoint pPoint, int64_t pN, FaultKind pKind) {
            Session s;
            ArmFault(pPoint, pN, pKind);
            // Takes the snapshot of the state at 100; refused when it cannot be written.
            const bool started = s.Logic.StartProc(1, 0);
            if (started) {
                s.Logic.Proj().Blocks[0].StartAdr = 700;
                s.Logic.Proj().NormalizeBlock(0);
                s.Logic.EndProc();
            }
            ClearFaults();
            // Undo gives the state before the edit, or refuses; never a damaged project.
            bool undone = s.Logic.UndoCommand(false);
            if (undone) {
                ASSERT_EQ(s.Logic.Proj().BlockCount(), 1);
                EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 100);
            } else {
                EXPECT_FALSE(started);
                EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 100);
            }
            EXPECT_EQ(s.Logic.Proj().CheckInvariants(), "");
        },
        [] {
            Session s;
            ClearFaults();
            s.MoveBlock(700);
        });
    std::cout << "undo snapshot: " << runs << " fault runs\n";
}

// An edit whose undo snapshot cannot be written is refused with its cause, and the undo
// history before it still works; an undo step whose snapshot of the present fails is
// refused as well, so the present state is never left without a way back.
TEST(FaultInjection, AnEditWhoseUndoSnapshotFailsIsRefusedWithItsCause)
{
    int refused = 0;
    int runs = ForEveryWritePoint(
        [&](FaultPoint pPoint, int64_t pN, FaultKind pKind) {
            Session s;
            s.MoveBlock(300); // snapshot 0 holds the state at 100
            const size_t before = s.Ui.Events().size();
            ArmFault(pPoint, pN, pKind);
            const bool started = s.Logic.StartProc(1, 0);
            ClearFaults();
            if (!started) {
                ++refused;
                EXPECT_FALSE(s.Logic.Busy);
                EXPECT_FALSE(s.Ui.Busy());
                EXPECT_TRUE(s.ErrorShown(before));
                const std::string text = s.Ui.BoxTexts().back();
                EXPECT_NE(text.find("元に戻すための記録"), std::string::npos) << text;
                EXPECT_NE(text.find(WriteFailureText(pKind == FaultKind::Error ? EIO : ENOSPC)),
                    std::string::npos)
                    << text;
                EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 300);
            } else {
                s.Logic.Proj().Blocks[0].StartAdr = 700;
                s.Logic.Proj().NormalizeBlock(0);
                s.Logic.EndProc();
                ASSERT_TRUE(s.Logic.UndoCommand(false));
                EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 300);
            }
            // Whatever happened, the earlier step is still there to undo, and redo comes back.
            ASSERT_TRUE(s.Logic.UndoCommand(false));
            EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 100);
            ASSERT_TRUE(s.Logic.UndoCommand(true));
            EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 300);
            EXPECT_EQ(s.Logic.Proj().CheckInvariants(), "");
        },
        [] {
            Session s;
            s.MoveBlock(300);
            ClearFaults();
            s.MoveBlock(700);
        });
    EXPECT_GT(refused, 0);
    std::cout << "refused edit: " << runs << " fault runs, " << refused << " refused\n";
}

// Placing a recording is not refused for want of its undo snapshot (the take would be
// lost); the user is told that it cannot be undone.
TEST(FaultInjection, ARecordingIsPlacedEvenWhenItsUndoSnapshotFails)
{
    Session s;
    s.MoveBlock(300);
    const size_t before = s.Ui.Events().size();
    ArmFault(FaultPoint::Write, 1, FaultKind::NoSpace);
    const bool started = s.Logic.StartProc(1, 0, false);
    ClearFaults();
    ASSERT_TRUE(started);
    EXPECT_TRUE(s.Logic.Busy);
    EXPECT_FALSE(s.Logic.Proj().Saved);
    ASSERT_TRUE(s.ErrorShown(before));
    const std::string text = s.Ui.BoxTexts().back();
    EXPECT_NE(text.find(WriteFailureText(ENOSPC)), std::string::npos) << text;
    EXPECT_NE(text.find(kUndoLostText), std::string::npos) << text;
    s.Logic.Proj().Blocks[0].StartAdr = 900;
    s.Logic.EndProc();
    // The step before is still there to undo.
    ASSERT_TRUE(s.Logic.UndoCommand(false));
    EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 100);
}

TEST(FaultInjection, AnUndoWhoseSnapshotOfThePresentFailsIsRefused)
{
    int refused = 0;
    int runs = ForEveryWritePoint(
        [&](FaultPoint pPoint, int64_t pN, FaultKind pKind) {
            Session s;
            s.MoveBlock(300);
            const size_t before = s.Ui.Events().size();
            ArmFault(pPoint, pN, pKind);
            const bool undone = s.Logic.UndoCommand(false);
            ClearFaults();
            if (!undone) {
                ++refused;
                EXPECT_TRUE(s.ErrorShown(before));
                EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 300);
                EXPECT_FALSE(s.Logic.Busy);
                ASSERT_TRUE(s.Logic.UndoCommand(false)); // the disk has room again
            }
            EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 100);
            ASSERT_TRUE(s.Logic.UndoCommand(true));
            EXPECT_EQ(s.Logic.Proj().Blocks[0].StartAdr, 300);
        },
        [] {
            Session s;
            s.MoveBlock(300);
            ClearFaults();
            EXPECT_TRUE(s.Logic.UndoCommand(false));
        });
    EXPECT_GT(refused, 0);
    std::cout << "refused undo: " << runs << " fault runs, " << refused << " refused\n";
}

TEST(FaultInjection, ASettingsWriteKeepsTheOldOrTheNewFileAndSaysSo)
{
    test::TempDir dir;
    IniSettingsBackend backend(dir.Path());
    ASSERT_TRUE(backend.WriteValue("Main", "A", "1"));
    ASSERT_TRUE(backend.WriteValue("Main", "B", "old"));
    const std::string file = backend.FileOf("Main");
    const std::string old = test::ReadFileBytes(file);
    int runs = ForEveryWritePoint(
        [&](FaultPoint pPoint, int64_t pN, FaultKind pKind) {
            test::WriteFileBytes(file, old);
            ArmFault(pPoint, pN, pKind);
            bool ok = backend.WriteValue("Main", "B", "new");
            ClearFaults();
            std::optional<std::string> b = backend.ReadValue("Main", "B");
            EXPECT_EQ(backend.ReadValue("Main", "A"), std::optional<std::string>("1"));
            ASSERT_TRUE(b.has_value());
            EXPECT_TRUE(*b == "old" || *b == "new") << *b;
            if (*b == "old") {
                EXPECT_FALSE(ok);
            }
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
        },
        [&] {
            test::WriteFileBytes(file, old);
            EXPECT_TRUE(backend.WriteValue("Main", "B", "new"));
        });
    std::cout << "settings: " << runs << " fault runs\n";
}

TEST(FaultInjection, AnImportPlacesACompleteFileOrNothingAndSaysSo)
{
    test::TempDir sources;
    const std::string source = sources.File("in.wav");
    // 8-bit mono at another rate: the import converts it into a new working file.
    ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(22050, 8, 1, std::string(4000, '\x70'))));
    int runs = ForEveryWritePoint(
        [&](FaultPoint pPoint, int64_t pN, FaultKind pKind) {
            Session s;
            const size_t before = s.Ui.Events().size();
            s.Ui.QueueAnswer("yes");
            ArmFault(pPoint, pN, pKind);
            bool placed = s.Logic.ImportSoundFile(1, source, 0, true);
            ClearFaults();
            const Project& p = s.Logic.Proj();
            if (placed) {
                ASSERT_EQ(p.BlockCount(), 2);
                const WaveFile& w = p.WaveFiles[p.Blocks[1].WaveNo];
                WaveInfo info = ReadWaveInfo(w.FileName);
                EXPECT_EQ(info.Valid, 1);
                EXPECT_EQ(info.Frames, w.Length);
            } else {
                // The failed step gives its own cause, not a generic failure.
                EXPECT_EQ(p.BlockCount(), 1);
                ASSERT_TRUE(s.ErrorShown(before));
                // The refusal of the undo snapshot that comes first, or the import's own.
                const std::string text = s.Ui.BoxTexts().back();
                if (text.find("元に戻すための記録") == std::string::npos) {
                    EXPECT_EQ(text.rfind(kImportFailedText, 0), 0u) << text;
                    EXPECT_NE(text.find(source), std::string::npos) << text;
                }
                EXPECT_NE(text.find(WriteFailureText(pKind == FaultKind::Error ? EIO : ENOSPC)),
                    std::string::npos)
                    << text;
            }
        },
        [&] {
            Session s;
            s.Ui.QueueAnswer("yes");
            ClearFaults();
            EXPECT_TRUE(s.Logic.ImportSoundFile(1, source, 0, true));
        });
    std::cout << "import: " << runs << " fault runs\n";
}

// A 16-bit stereo file at the project's rate outside the data folder is copied in; a
// surround file is split into one file per channel. Either step failing names its cause.
TEST(FaultInjection, AnImportCopyOrSplitThatFailsNamesItsCause)
{
    test::TempDir sources;
    const std::string stereo = sources.File("stereo.wav");
    ASSERT_TRUE(test::WriteWav(stereo,
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                3000, [](int64_t f) { return f % 100; }, [](int64_t f) { return f % 70; }))));
    const std::string surround = sources.File("surround.wav");
    ASSERT_TRUE(
        test::WriteWav(surround, test::PcmSpec(44100, 16, 6, std::string(6000 * 12, '\x11'))));
    for (const std::string& source : { stereo, surround }) {
        SCOPED_TRACE(source);
        int failed = 0;
        ForEveryWritePoint(
            [&](FaultPoint pPoint, int64_t pN, FaultKind pKind) {
                // The split has many write points: one kind of fault is enough there.
                if (source == surround && pKind != FaultKind::NoSpace)
                    return;
                Session s;
                const size_t before = s.Ui.Events().size();
                const int32_t blocks = s.Logic.Proj().BlockCount();
                ArmFault(pPoint, pN, pKind);
                const bool placed = s.Logic.ImportSoundFile(1, source, 0, true);
                ClearFaults();
                if (placed)
                    return;
                ++failed;
                EXPECT_EQ(s.Logic.Proj().BlockCount(), blocks);
                ASSERT_TRUE(s.ErrorShown(before));
                const std::string text = s.Ui.BoxTexts().back();
                EXPECT_NE(text.find(WriteFailureText(pKind == FaultKind::Error ? EIO : ENOSPC)),
                    std::string::npos)
                    << text;
            },
            [&] {
                Session s;
                ClearFaults();
                EXPECT_TRUE(s.Logic.ImportSoundFile(1, source, 0, true));
            });
        EXPECT_GT(failed, 0);
    }
}

TEST(FaultInjection, AMixdownLeavesTheOldTargetOrACompleteNewOneAndSaysSo)
{
    const std::string previous = "previous content";
    auto request = [](Session& pS, const std::string& pTarget) {
        MixdownRequest r = LoadMixdownRequest(pS.Store, pS.Logic.Proj());
        r.TargetFile = pTarget;
        r.WaveMode = 2; // Mono16bit: the render is converted as well
        pS.Ui.QueueAnswer("yes"); // replace the old file
        return r;
    };
    int runs = ForEveryWritePoint(
        [&](FaultPoint pPoint, int64_t pN, FaultKind pKind) {
            Session s;
            const std::string target = s.Home.Dir().File("mix.wav");
            test::WriteFileBytes(target, previous);
            MixdownRequest r = request(s, target);
            ArmFault(pPoint, pN, pKind);
            MixdownResult result = RunMixdown(s.Logic, r, nullptr);
            ClearFaults();
            const std::string bytes = test::ReadFileBytes(target);
            if (bytes == previous) {
                EXPECT_NE(result.Outcome, MixdownOutcome::Finished);
                EXPECT_FALSE(result.Message.empty());
                EXPECT_TRUE(s.ErrorShown(0));
            } else {
                const WaveInfo info = ReadWaveInfo(target);
                EXPECT_EQ(info.Valid, 1);
                EXPECT_EQ(info.Channels, 1);
                EXPECT_EQ(info.Frames, s.Logic.Proj().ProjectLength);
            }
            for (const auto& e : std::filesystem::directory_iterator(s.Home.Dir().Path()))
                EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos);
        },
        [&] {
            Session s;
            const std::string target = s.Home.Dir().File("mix.wav");
            test::WriteFileBytes(target, previous);
            MixdownRequest r = request(s, target);
            ClearFaults();
            EXPECT_EQ(RunMixdown(s.Logic, r, nullptr).Outcome, MixdownOutcome::Finished);
        });
    std::cout << "mixdown: " << runs << " fault runs\n";
}

// The new copy is written complete beside the old folder and the two swap places in one
// step, so a failure anywhere leaves the old copy or the new one.
TEST(FaultInjection, ASaveAllLeavesTheOldCopyOrACompleteNewOne)
{
    int runs = ForEveryWritePoint(
        [](FaultPoint pPoint, int64_t pN, FaultKind pKind) {
            Session s;
            const std::string out = s.Home.Dir().File("out/song");
            s.Ui.QueueAnswer(out);
            ASSERT_TRUE(s.Logic.SaveAllCommand());
            s.MoveBlock(900);
            const size_t before = s.Ui.Events().size();
            s.Ui.QueueAnswer(out);
            s.Ui.QueueAnswer("yes");
            ArmFault(pPoint, pN, pKind);
            bool ok = s.Logic.SaveAllCommand();
            ClearFaults();
            int32_t start = s.StartIn(out + "/song.tvp");
            EXPECT_TRUE(start == 100 || start == 900) << start;
            if (start != 900) {
                EXPECT_FALSE(ok);
                EXPECT_TRUE(s.ErrorShown(before));
            }
        },
        [] {
            Session s;
            const std::string out = s.Home.Dir().File("out/song");
            s.Ui.QueueAnswer(out);
            ASSERT_TRUE(s.Logic.SaveAllCommand());
            s.MoveBlock(900);
            s.Ui.QueueAnswer(out);
            s.Ui.QueueAnswer("yes");
            ClearFaults();
            EXPECT_TRUE(s.Logic.SaveAllCommand());
        });
    std::cout << "saveall: " << runs << " fault runs\n";
}

} // namespace
} // namespace tarvok
